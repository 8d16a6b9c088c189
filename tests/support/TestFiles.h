#ifndef TESTFILES_H
#define TESTFILES_H

// Raw streams made in code and the files the tests, fuzz targets and benchmarks write them into:
// one picture layout with its plane sizes (taken from the product's own functions), four kinds of
// frame content, whole-file reads and writes, sparse files and a self-removing temporary folder.

#include "YUVConversion.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A picture geometry and chroma layout, with the plane sizes a stream of it has on disk.
struct TLayout
{
    int W = 0;
    int H = 0;
    TYUVFormat Format = YUV420;

    int YSize() const { return W * H; }
    int UVSize() const { return yuv::ChromaPlaneSize(W, H, Format); }
    int FrameSize() const { return yuv::FrameSize(W, H, Format); }
};

// What the samples of frame n of a stream hold.
enum class TPattern
{
    // Each plane has its own base per frame (SampleBaseY/U/V) plus a ramp of 0..3 along the
    // plane, so that a read that starts a few bytes off shows.
    Marked,
    // Uniform luma FrameLuma(n) and neutral chroma: the frame converts to a grey that names it.
    Grey,
    // Seeded random samples, different for every frame.
    Random,
    // Moving gradients with a little noise in all three planes, like camera pictures.
    Moving,
};

// Bases of the Marked pattern. Neighbouring frames differ by more than the ramp, and no base is
// the fill value of a short read (Y 0, U and V 128).
inline int SampleBaseY(int n)
{
    return 32 + 6 * (n % 32);
}
inline int SampleBaseU(int n)
{
    return 96 + n % 32;
}
inline int SampleBaseV(int n)
{
    return 160 - n % 32;
}

// Luma of frame n of the Grey pattern.
inline int FrameLuma(int n)
{
    return 16 + (n * 7) % 220;
}

// Frame n of a stream; seed varies the Random and Moving patterns.
QByteArray FrameBytes(const TLayout &layout, int n, TPattern pattern, quint32 seed = 1);

// count whole frames followed by extraBytes of a further frame.
QByteArray StreamBytes(
    const TLayout &layout, int count, TPattern pattern, int extraBytes = 0, quint32 seed = 1);

// The same stream written frame by frame, so that a large one is never held whole in memory.
bool WriteStream(const QString &path, const TLayout &layout, int count, TPattern pattern,
    int extraBytes = 0, quint32 seed = 1);

// The whole file, or an empty array when it cannot be read.
QByteArray ReadAll(const QString &path);

// Writes (or replaces) a file with exactly bytes.
bool WriteAll(const QString &path, const QByteArray &bytes);

// A file of the given size that takes no disk space but for the pieces written at their offsets;
// the rest reads as zeros.
bool WriteSparse(const QString &path, qint64 size, const QList<QPair<qint64, QByteArray>> &pieces);

// A picture size that every part of the player refuses, named for a test row.
struct TSizeCase
{
    const char *Tag;
    int W;
    int H;
};

// The sizes outside 1..MaxWidth x 1..MaxHeight that each part must refuse on its own: a side of
// zero or below, one pixel beyond either limit, and sides whose product overflows int.
QList<TSizeCase> UnsupportedSizes();

// A temporary folder that is removed, with every file in it, when the object goes out of scope.
class TTempDir
{
public:
    bool IsValid() const { return Dir.isValid(); }
    QString Path() const { return Dir.path(); }
    QString Path(const QString &name) const { return Dir.filePath(name); }

    // Write and WriteSparse return the file's path, or an empty string on failure.
    QString Write(const QString &name, const QByteArray &bytes) const;
    QString WriteSparse(
        const QString &name, qint64 size, const QList<QPair<qint64, QByteArray>> &pieces) const;

private:
    QTemporaryDir Dir;
};

} // namespace testsupport

Q_DECLARE_METATYPE(testsupport::TLayout)

#endif // TESTFILES_H
