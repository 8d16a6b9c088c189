#include "ReaderModel.h"

#include <algorithm>

namespace testsupport {

TByteSource BytesOf(const QByteArray &file)
{
    return [file](qint64 at, int count, uint8_t fill) {
        std::vector<uint8_t> out(static_cast<size_t>(std::max(count, 0)), fill);
        for (qint64 i = 0; i < count && at + i < file.size(); ++i)
            out[static_cast<size_t>(i)] = static_cast<uint8_t>(file[at + i]);
        return out;
    };
}

TModelFrame::TModelFrame(
    const TByteSource &file, const TLayout &layout, qint64 n, TPlaneSwitches planes)
    : L(layout)
    , Planes(planes)
{
    const qint64 at = std::max<qint64>(0, n) * L.FrameSize();
    Y = file(at, L.YSize(), 0);
    U = file(at + L.YSize(), L.UVSize(), 128);
    V = file(at + L.YSize() + L.UVSize(), L.UVSize(), 128);
}

TRGB TModelFrame::Pixel(int x, int row) const
{
    const size_t c = static_cast<size_t>(ReferenceChromaIndex(x, row, L.W, L.Format));
    return ReferencePixel(Y[static_cast<size_t>(row) * L.W + x], c < U.size() ? U[c] : 128,
        c < V.size() ? V[c] : 128, Planes);
}

QByteArray TModelFrame::Rgb() const
{
    QByteArray rgb(3 * L.W * L.H, Qt::Uninitialized);
    for (int row = 0; row < L.H; ++row) {
        for (int x = 0; x < L.W; ++x) {
            const TRGB p = Pixel(x, row);
            char *out = rgb.data() + 3 * (qsizetype(L.W) * (L.H - 1 - row) + x);
            out[0] = static_cast<char>(p.R);
            out[1] = static_cast<char>(p.G);
            out[2] = static_cast<char>(p.B);
        }
    }
    return rgb;
}

} // namespace testsupport
