#include "RawFileNames.h"

#include "TYUVReader.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes its descriptor when it goes out of scope.
class TDescriptor
{
public:
    explicit TDescriptor(int Fd)
        : Fd(Fd)
    { }
    ~TDescriptor()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TDescriptor(const TDescriptor &) = delete;
    TDescriptor &operator=(const TDescriptor &) = delete;

    bool IsValid() const { return Fd >= 0; }
    int Get() const { return Fd; }
    // A name for the file (or folder) the descriptor refers to, valid while it is open.
    QString Path() const { return QStringLiteral("/proc/self/fd/%1").arg(Fd); }

private:
    const int Fd;
};

// Name as Qt takes it, when Qt's conversion gives back the same bytes.
std::optional<QString> QtName(const QByteArray &Name)
{
    const QString decoded = QFile::decodeName(Name);
    if (QFile::encodeName(decoded) != Name)
        return std::nullopt;
    return decoded;
}

// The folder part and the last component of a path.
QByteArray FolderOf(const QByteArray &Path)
{
    const qsizetype slash = Path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : Path.left(slash);
}
QByteArray LastComponentOf(const QByteArray &Path)
{
    return Path.mid(Path.lastIndexOf('/') + 1);
}

// Symbolic links resolved in bytes, so that what is left is a real folder and name; a name that
// does not exist yet stays as it is.
QByteArray ResolvedPath(const QByteArray &Name)
{
    char *resolved = ::realpath(Name.constData(), nullptr);
    if (!resolved)
        return Name;
    const QByteArray path(resolved);
    std::free(resolved);
    return path;
}

// Writes under a temporary name that Qt can hold, in the same folder, then renames the file to
// Base, as the writer does for a regular file: an existing file is replaced only by a complete
// one, and keeps its permission bits.
TBmpResult WriteByRename(
    const TDescriptor &Folder, const QByteArray &Base, const unsigned char *pRGB, int W, int H)
{
    const QByteArray temp = QByteArrayLiteral(".tamrel-yuv-snap-") + QByteArray::number(::getpid())
        + QByteArrayLiteral(".bmp");
    const TBmpResult result
        = WriteBmpFile(Folder.Path() + u'/' + QString::fromLatin1(temp), pRGB, W, H);
    if (result != TBmpResult::Ok)
        return result;
    struct stat old;
    if (::fstatat(Folder.Get(), Base.constData(), &old, 0) == 0)
        ::fchmodat(Folder.Get(), temp.constData(), old.st_mode & 07777, 0);
    if (::renameat(Folder.Get(), temp.constData(), Folder.Get(), Base.constData()) != 0) {
        ::unlinkat(Folder.Get(), temp.constData(), 0);
        return TBmpResult::WriteFailed;
    }
    return TBmpResult::Ok;
}

// Whether the last component of Path is longer than its folder allows. Such a name can never be
// created, which is an open failure; left to the writer, the shortened temporary name it writes
// first would be created, and only the final rename would fail, as if writing had failed.
bool IsNameTooLong(const QByteArray &Path)
{
    const long folderMax = ::pathconf(FolderOf(Path).constData(), _PC_NAME_MAX);
    return LastComponentOf(Path).size() > (folderMax > 0 ? folderMax : NAME_MAX);
}

} // namespace

bool OpenStream(TYUVReader &Reader, const QByteArray &Name)
{
    if (const std::optional<QString> name = QtName(Name))
        return Reader.OpenFile(*name) == 0;
    // O_PATH opens no data, so a FIFO does not block here; the reader judges the file's type.
    const TDescriptor file(::open(Name.constData(), O_PATH | O_CLOEXEC));
    return file.IsValid() && Reader.OpenFile(file.Path()) == 0;
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
    const TDescriptor file(::open(Name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return file.IsValid() ? QString() : QString::fromLatin1(std::strerror(errno));
}

qint64 StreamSize(const QByteArray &Name)
{
    const TDescriptor file(::open(Name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return file.IsValid() ? static_cast<qint64>(::lseek64(file.Get(), 0, SEEK_END)) : -1;
}

bool IsSameFile(const QByteArray &A, const QByteArray &B)
{
    struct stat a;
    struct stat b;
    return ::stat(A.constData(), &a) == 0 && ::stat(B.constData(), &b) == 0 && a.st_dev == b.st_dev
        && a.st_ino == b.st_ino;
}

TBmpResult WriteSnapshot(const QByteArray &Name, const unsigned char *pRGB, int W, int H)
{
    if (IsNameTooLong(Name))
        return TBmpResult::OpenFailed;
    if (const std::optional<QString> name = QtName(Name))
        return WriteBmpFile(*name, pRGB, W, H);

    const QByteArray path = ResolvedPath(Name);
    const QByteArray base = LastComponentOf(path);
    const TDescriptor folder(::open(FolderOf(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid() || base.isEmpty())
        return TBmpResult::OpenFailed;
    struct stat st;
    if (::fstatat(folder.Get(), base.constData(), &st, 0) == 0 && !S_ISREG(st.st_mode)) {
        // Not replaced but written into (a device) or refused (a folder, FIFO or socket): the
        // writer decides, given the file itself.
        const TDescriptor file(::openat(folder.Get(), base.constData(), O_PATH | O_CLOEXEC));
        return file.IsValid() ? WriteBmpFile(file.Path(), pRGB, W, H) : TBmpResult::OpenFailed;
    }
    if (const std::optional<QString> baseName = QtName(base))
        return WriteBmpFile(folder.Path() + u'/' + *baseName, pRGB, W, H);
    return WriteByRename(folder, base, pRGB, W, H);
}
