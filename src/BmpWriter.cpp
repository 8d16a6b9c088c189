#include "BmpWriter.h"

#include "YUVConversion.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t FileHeaderSize = 14;
constexpr size_t InfoHeaderSize = 40;
constexpr size_t HeaderSize = FileHeaderSize + InfoHeaderSize;
// Two zero bytes follow the pixel rows; both size fields count them.
constexpr size_t TrailerSize = 2;
constexpr quint32 PixelsPerMetre = 2834; // 72 dots per inch

struct TFreeDeleter
{
    void operator()(unsigned char *p) const { std::free(p); }
};
using TFileBuffer = std::unique_ptr<unsigned char[], TFreeDeleter>;

void Put16(unsigned char *p, quint16 v)
{
    qToLittleEndian(v, p);
}
void Put32(unsigned char *p, quint32 v)
{
    qToLittleEndian(v, p);
}

} // namespace

void BuildBmpFile(unsigned char *dst, const unsigned char *pRGB, int W, int H, size_t stride)
{
    const size_t pixelBytes = stride * static_cast<size_t>(H);
    const size_t packedRow = 3 * static_cast<size_t>(W);

    std::memset(dst, 0, HeaderSize);
    dst[0] = 'B';
    dst[1] = 'M';
    Put32(dst + 2, static_cast<quint32>(HeaderSize + pixelBytes + TrailerSize));
    Put32(dst + 10, HeaderSize);
    Put32(dst + 14, InfoHeaderSize);
    Put32(dst + 18, static_cast<quint32>(W));
    Put32(dst + 22, static_cast<quint32>(H)); // positive: rows bottom-up, as in the buffer
    Put16(dst + 26, 1);
    Put16(dst + 28, 24);
    Put32(dst + 34, static_cast<quint32>(pixelBytes + TrailerSize));
    Put32(dst + 38, PixelsPerMetre);
    Put32(dst + 42, PixelsPerMetre);

    // The buffer already holds the bottom row first, which is the file's order; only R and B
    // change places.
    unsigned char *row = dst + HeaderSize;
    const unsigned char *src = pRGB;
    for (int y = 0; y < H; ++y) {
        for (size_t i = 0; i < packedRow; i += 3) {
            row[i] = src[i + 2];
            row[i + 1] = src[i + 1];
            row[i + 2] = src[i];
        }
        std::memset(row + packedRow, 0, stride - packedRow);
        row += stride;
        src += packedRow;
    }
    std::memset(row, 0, TrailerSize);
}

namespace {

// Pushes the data out of the kernel's cache so that errors the file system reports late (a
// full disk on a network share, an I/O error) surface now, before the old file is replaced.
bool SyncToDisk(int fd)
{
    if (fd < 0)
        return false;
    if (::fsync(fd) == 0)
        return true;
    // File systems that cannot sync have nothing to report.
    return errno == EINVAL || errno == ENOTSUP || errno == ENOSYS;
}

// Hands the replacement the owner and group of the file it replaces, as far as we may: only
// root can give a file away, but a member of the file's group can still keep the group.
void KeepOwner(int fd, const struct stat &old)
{
    struct stat now;
    if (fd < 0 || ::fstat(fd, &now) != 0)
        return;
    if (now.st_uid != old.st_uid && ::fchown(fd, old.st_uid, old.st_gid) == 0)
        return;
    if (now.st_gid != old.st_gid) {
        // Best effort: outside the file's group the replacement keeps our own.
        [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
}

// A new or regular file: written to a temporary file beside it and renamed over it when
// complete, so a failed save leaves an existing file as it was. QSaveFile follows a symbolic
// link to its target and copies the old file's permission bits.
TBmpResult SaveRegular(
    const QString &FileName, const unsigned char *data, qint64 size, const struct stat *existing)
{
    QSaveFile file(FileName);
    // A folder that refuses new files but holds a writable file: overwrite in place, which is
    // what a user who may write the file expects, at the cost of atomicity.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return TBmpResult::OpenFailed;
    if (existing)
        KeepOwner(file.handle(), *existing);

    // QSaveFile::commit() in Qt 6.4 does not notice a failed flush of its write buffer, so
    // every step is checked here and the temporary file discarded on the first failure.
    const bool written = file.write(reinterpret_cast<const char *>(data), size) == size
        && file.flush() && file.error() == QFileDevice::NoError && SyncToDisk(file.handle());
    if (!written) {
        file.cancelWriting();
        file.commit(); // removes the temporary file; the old file stays
        return TBmpResult::WriteFailed;
    }
    return file.commit() ? TBmpResult::Ok : TBmpResult::WriteFailed;
}

// A character device (a terminal, /dev/null): there is nothing to replace, so write into it.
TBmpResult SaveToDevice(const QString &FileName, const unsigned char *data, qint64 size)
{
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return TBmpResult::OpenFailed;
    // close() clears an earlier write error when the close itself succeeds, so judge the
    // write before closing and the close on its own.
    bool written = file.write(reinterpret_cast<const char *>(data), size) == size;
    file.close();
    written = written && file.error() == QFileDevice::NoError;
    return written ? TBmpResult::Ok : TBmpResult::WriteFailed;
}

} // namespace

TBmpResult WriteBmpFile(const QString &FileName, const unsigned char *pRGB, int W, int H)
{
    if (!pRGB || !yuv::IsSupportedSize(W, H))
        return TBmpResult::BadSize;

    const size_t stride = (3 * static_cast<size_t>(W) + 3) & ~static_cast<size_t>(3);
    const size_t fileSize = HeaderSize + stride * static_cast<size_t>(H) + TrailerSize;

    // Everything is built before the file is touched: a failed allocation leaves no trace on
    // disk, and the file goes out in a single write.
    TFileBuffer buffer(static_cast<unsigned char *>(std::malloc(fileSize)));
    if (!buffer)
        return TBmpResult::NoMemory;
    BuildBmpFile(buffer.get(), pRGB, W, H, stride);

    if (FileName.isEmpty())
        return TBmpResult::OpenFailed;
    const QByteArray encoded = QFile::encodeName(FileName);
    struct stat st;
    // stat() follows symbolic links: what counts is the kind of their target. A name that does
    // not exist (or cannot be examined) is left to QSaveFile, which reports its own failure.
    if (::stat(encoded.constData(), &st) != 0)
        return SaveRegular(FileName, buffer.get(), static_cast<qint64>(fileSize), nullptr);
    if (S_ISREG(st.st_mode))
        return SaveRegular(FileName, buffer.get(), static_cast<qint64>(fileSize), &st);
    if (S_ISCHR(st.st_mode))
        return SaveToDevice(FileName, buffer.get(), static_cast<qint64>(fileSize));
    // Never rename over a folder, FIFO, socket or block device. A FIFO would also block the GUI
    // until a reader appears, and a block device is a disk, not a place for a snapshot.
    return TBmpResult::OpenFailed;
}

QString BmpResultMessage(TBmpResult Result, const QString &FileName)
{
    switch (Result) {
    case TBmpResult::Ok:
        return QString();
    case TBmpResult::OpenFailed:
        return QCoreApplication::translate("MainWindow", "Unable to open file for saving: ")
            + FileName;
    case TBmpResult::NoMemory:
        return QCoreApplication::translate("MainWindow", "Insufficient memory for this operation.");
    case TBmpResult::WriteFailed:
        return QCoreApplication::translate("MainWindow", "Error writing file: ") + FileName;
    case TBmpResult::BadSize:
        return QCoreApplication::translate("MainWindow",
            "Unsupported picture size: the width must be 1 to "
            "%1 and the height 1 to %2.")
            .arg(yuv::MaxWidth)
            .arg(yuv::MaxHeight);
    }
    return QString();
}

const char *BmpResultName(TBmpResult Result)
{
    switch (Result) {
    case TBmpResult::Ok:
        return "Ok";
    case TBmpResult::OpenFailed:
        return "OpenFailed";
    case TBmpResult::NoMemory:
        return "NoMemory";
    case TBmpResult::WriteFailed:
        return "WriteFailed";
    case TBmpResult::BadSize:
        return "BadSize";
    }
    return "?";
}
