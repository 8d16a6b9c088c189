#ifndef TESTFILES_H
#define TESTFILES_H

// Raw stream files for the reader's tests, written from code into a temporary folder that is
// removed (with every file in it) when the TStreamDir goes out of scope.

#include "YUVConversion.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

// A picture geometry and chroma layout, with the plane sizes a stream of it has on disk.
struct TLayout
{
    int W = 0;
    int H = 0;
    TYUVFormat Format = YUV420;

    int YSize() const { return W * H; }
    int UVSize() const
    {
        return Format == YUV420 ? (W * H) / 4 : (Format == YUV422 ? (W * H) / 2 : W * H);
    }
    int FrameSize() const { return YSize() + 2 * UVSize(); }
};
Q_DECLARE_METATYPE(TLayout)

// Every sample of frame n carries n: each plane has its own base per frame, plus a small ramp
// along the plane so that a read that starts a few bytes off shows. Neighbouring frames differ by
// more than the ramp, and no base is the fill value of a short read (Y 0, U and V 128).
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

inline QByteArray FrameBytes(const TLayout &layout, int n)
{
    QByteArray frame;
    frame.reserve(layout.FrameSize());
    auto plane = [&frame](int size, int base) {
        for (int i = 0; i < size; ++i)
            frame.append(static_cast<char>(base + i % 4));
    };
    plane(layout.YSize(), SampleBaseY(n));
    plane(layout.UVSize(), SampleBaseU(n));
    plane(layout.UVSize(), SampleBaseV(n));
    return frame;
}

// count whole frames followed by extraBytes of a further frame.
inline QByteArray StreamBytes(const TLayout &layout, int count, int extraBytes = 0)
{
    QByteArray stream;
    for (int n = 0; n < count; ++n)
        stream += FrameBytes(layout, n);
    return stream + FrameBytes(layout, count).left(extraBytes);
}

class TStreamDir
{
public:
    QString Path(const QString &name) const { return Dir.filePath(name); }

    // Writes (or replaces) a file; returns its path, or an empty string on failure.
    QString Write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(Path(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return {};
        return f.fileName();
    }

    // A file of the given size that takes no disk space but for the marker bytes written at
    // their offsets; the rest reads as zeros.
    QString WriteSparse(
        const QString &name, qint64 size, const QList<QPair<qint64, QByteArray>> &markers) const
    {
        const QString path = Path(name);
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return {};
        bool ok = ::ftruncate(fd, size) == 0;
        for (const auto &[offset, bytes] : markers)
            ok = ok && ::pwrite(fd, bytes.constData(), bytes.size(), offset) == bytes.size();
        return (::close(fd) == 0 && ok) ? path : QString();
    }

    static bool Truncate(const QString &path, qint64 size)
    {
        return ::truncate(QFile::encodeName(path).constData(), size) == 0;
    }

private:
    QTemporaryDir Dir;
};

#endif // TESTFILES_H
