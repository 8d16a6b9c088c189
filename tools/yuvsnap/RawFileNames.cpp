#include "RawFileNames.h"

#include "FileDescriptor.h"
#include "TYUVReader.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace {

// A name for the file that Fd refers to, valid while it is open.
QString DescriptorPath(const TFileDescriptor &File)
{
    return QStringLiteral("/proc/self/fd/%1").arg(File.Get());
}

// Name as Qt takes it, when Qt's conversion gives back the same bytes.
std::optional<QString> QtName(const QByteArray &Name)
{
    const QString decoded = QFile::decodeName(Name);
    if (QFile::encodeName(decoded) != Name)
        return std::nullopt;
    return decoded;
}

} // namespace

bool OpenStream(TYUVReader &Reader, const QByteArray &Name)
{
    if (const std::optional<QString> name = QtName(Name))
        return Reader.OpenFile(*name) == 0;
    // O_PATH opens no data, so a FIFO does not block here; the reader judges the file's type.
    const TFileDescriptor file(::open(Name.constData(), O_PATH | O_CLOEXEC));
    return file.IsValid() && Reader.OpenFile(DescriptorPath(file)) == 0;
}

QString OpenFailureReason(const QByteArray &Name)
{
    struct stat st;
    if (::stat(Name.constData(), &st) != 0)
        return QString::fromLatin1(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        return QStringLiteral("not a regular file or block device; a pipe, socket or character "
                              "device cannot be read as a stream");
    const TFileDescriptor file(::open(Name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return file.IsValid() ? QString() : QString::fromLatin1(std::strerror(errno));
}

qint64 StreamSize(const QByteArray &Name)
{
    const TFileDescriptor file(::open(Name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return file.IsValid() ? static_cast<qint64>(::lseek64(file.Get(), 0, SEEK_END)) : -1;
}

bool IsSameFile(const QByteArray &A, const QByteArray &B)
{
    struct stat a;
    struct stat b;
    return ::stat(A.constData(), &a) == 0 && ::stat(B.constData(), &b) == 0 && a.st_dev == b.st_dev
        && a.st_ino == b.st_ino;
}
