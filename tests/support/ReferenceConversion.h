#ifndef REFERENCECONVERSION_H
#define REFERENCECONVERSION_H

// An independent per-pixel model of the colour conversion: exact decimal arithmetic in units of
// 1/10000, truncated toward zero and clamped, with the two chroma pairs whose G comes out one
// lower in extended precision. Written from the definition, not from the tables under test.

#include "YUVConversion.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

struct TRGB
{
    int R, G, B;
};

inline int ClampByte(long long v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
}

inline TRGB ReferencePixel(int Y, int U, int V, TPlaneSwitches planes = {})
{
    const long long yv = planes.Y ? Y : 100;
    const long long ud = planes.U ? U - 128 : 0;
    const long long vd = planes.V ? V - 128 : 0;
    // C++ integer division truncates toward zero, as the conversion must.
    const long long r = (yv * 10000 + 14075 * vd) / 10000;
    long long g = (yv * 10000 - 3455 * ud - 7169 * vd) / 10000;
    const long long b = (yv * 10000 + 17790 * ud) / 10000;
    const bool exceptionPair = (ud == -98 && vd == 110) || (ud == -33 && vd == -65);
    if (exceptionPair && g > 0)
        --g;
    return {ClampByte(r), ClampByte(g), ClampByte(b)};
}

// The chroma sample of pixel (x, row), row counted from the top, straight from the layout's
// definition: 4:2:0 halves both directions, 4:2:2 the width only.
inline int ReferenceChromaIndex(int x, int row, int W, TYUVFormat format)
{
    switch (format) {
    case YUV420:
        return (row / 2) * (W / 2) + x / 2;
    case YUV422:
        return row * (W / 2) + x / 2;
    case YUV444:
        break;
    }
    return row * W + x;
}

// Whole-frame reference, rows stored bottom-up. Only the first 3*W*H bytes of out are written.
inline void ReferenceFrame(std::vector<uint8_t> &out, const uint8_t *y, const uint8_t *u,
    const uint8_t *v, int W, int H, TYUVFormat format, TPlaneSwitches planes = {})
{
    for (int row = 0; row < H; ++row) {
        for (int x = 0; x < W; ++x) {
            const int c = ReferenceChromaIndex(x, row, W, format);
            const TRGB p = ReferencePixel(y[row * W + x], u[c], v[c], planes);
            const std::size_t at = 3 * (static_cast<std::size_t>(W) * (H - 1 - row) + x);
            out[at] = static_cast<uint8_t>(p.R);
            out[at + 1] = static_cast<uint8_t>(p.G);
            out[at + 2] = static_cast<uint8_t>(p.B);
        }
    }
}

} // namespace testsupport

#endif // REFERENCECONVERSION_H
