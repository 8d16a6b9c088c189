#include "TestFiles.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

namespace {

void FillMarked(QByteArray &frame, const TLayout &l, int n)
{
    auto plane = [&frame](int from, int size, int base) {
        for (int i = 0; i < size; ++i)
            frame[from + i] = static_cast<char>(base + i % 4);
    };
    plane(0, l.YSize(), SampleBaseY(n));
    plane(l.YSize(), l.UVSize(), SampleBaseU(n));
    plane(l.YSize() + l.UVSize(), l.UVSize(), SampleBaseV(n));
}

void FillGrey(QByteArray &frame, const TLayout &l, int n)
{
    frame.fill(char(128));
    std::fill_n(frame.data(), l.YSize(), static_cast<char>(FrameLuma(n)));
}

void FillRandom(QByteArray &frame, int n, quint32 seed)
{
    QRandomGenerator rng(seed * 1000 + static_cast<quint32>(n));
    for (char &c : frame)
        c = static_cast<char>(rng.bounded(256));
}

void FillMoving(QByteArray &frame, const TLayout &l, int n, quint32 seed)
{
    quint32 noise = 12345 + seed * 7919 + static_cast<quint32>(n) * 104729;
    auto next = [&noise]() {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return noise;
    };
    char *y = frame.data();
    for (int r = 0; r < l.H; ++r)
        for (int c = 0; c < l.W; ++c)
            *y++ = static_cast<char>(((c + 3 * n) ^ (r - 2 * n)) + (next() & 15));
    const int chromaW = std::max(l.Format == YUV444 ? l.W : l.W / 2, 1);
    char *u = frame.data() + l.YSize();
    char *v = u + l.UVSize();
    for (int i = 0; i < l.UVSize(); ++i) {
        u[i] = static_cast<char>(i % chromaW + n + (next() & 7));
        v[i] = static_cast<char>(i / chromaW * 2 - n + (next() & 7));
    }
}

} // namespace

QByteArray FrameBytes(const TLayout &layout, int n, TPattern pattern, quint32 seed)
{
    QByteArray frame(layout.FrameSize(), Qt::Uninitialized);
    switch (pattern) {
    case TPattern::Marked:
        FillMarked(frame, layout, n);
        break;
    case TPattern::Grey:
        FillGrey(frame, layout, n);
        break;
    case TPattern::Random:
        FillRandom(frame, n, seed);
        break;
    case TPattern::Moving:
        FillMoving(frame, layout, n, seed);
        break;
    }
    return frame;
}

QByteArray StreamBytes(
    const TLayout &layout, int count, TPattern pattern, int extraBytes, quint32 seed)
{
    QByteArray stream;
    stream.reserve(qsizetype(count) * layout.FrameSize() + extraBytes);
    for (int n = 0; n < count; ++n)
        stream += FrameBytes(layout, n, pattern, seed);
    return stream + FrameBytes(layout, count, pattern, seed).left(extraBytes);
}

bool WriteStream(const QString &path, const TLayout &layout, int count, TPattern pattern,
    int extraBytes, quint32 seed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (int n = 0; n < count; ++n) {
        const QByteArray frame = FrameBytes(layout, n, pattern, seed);
        if (f.write(frame) != frame.size())
            return false;
    }
    const QByteArray tail = FrameBytes(layout, count, pattern, seed).left(extraBytes);
    return f.write(tail) == tail.size() && f.flush();
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
        && f.flush();
}

bool WriteSparse(const QString &path, qint64 size, const QList<QPair<qint64, QByteArray>> &pieces)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::ftruncate(fd, size) == 0;
    for (const auto &[offset, bytes] : pieces)
        ok = ok && ::pwrite(fd, bytes.constData(), bytes.size(), offset) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QList<TSizeCase> UnsupportedSizes()
{
    return {{"zero-width", 0, 10}, {"zero-height", 10, 0}, {"negative-width", -4, 4},
        {"negative-height", 4, -1}, {"width-above-max", yuv::MaxWidth + 1, 1},
        {"height-above-max", 1, yuv::MaxHeight + 1}, {"product-overflows", INT_MAX, INT_MAX}};
}

QString TTempDir::Write(const QString &name, const QByteArray &bytes) const
{
    const QString path = Path(name);
    return WriteAll(path, bytes) ? path : QString();
}

QString TTempDir::WriteSparse(
    const QString &name, qint64 size, const QList<QPair<qint64, QByteArray>> &pieces) const
{
    const QString path = Path(name);
    return testsupport::WriteSparse(path, size, pieces) ? path : QString();
}

} // namespace testsupport
