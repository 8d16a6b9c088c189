#include "BmpWriter.h"

#include "SafeFileWriter.h"
#include "YUVConversion.h"

#include <QCoreApplication>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <memory>

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

TBmpResult WriteBmpFile(const QByteArray &FileName, const unsigned char *pRGB, int W, int H)
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

    switch (WriteWholeFile(FileName, buffer.get(), fileSize)) {
    case TFileWriteResult::Ok:
        return TBmpResult::Ok;
    case TFileWriteResult::OpenFailed:
        return TBmpResult::OpenFailed;
    case TFileWriteResult::WriteFailed:
        break;
    }
    return TBmpResult::WriteFailed;
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
