#include "YUVConversion.h"
#include "YUVConversionKernels.h"
#include "YUVConversionPaths.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace yuv {

namespace {

constexpr int ClampBias = 256;

// Per-sample contributions, in whole units after flooring. Flooring each contribution separately
// is exact for R and B because the luma is a whole number, and flooring differs from truncation
// only for negative sums, which clamp to 0 either way. G depends on U and V together, so it has a
// table over both.
struct TConversionTables
{
    std::array<int16_t, 256> RFromV {};
    std::array<int16_t, 256> BFromU {};
    std::array<int16_t, 256 * 256> GFromUV {}; // index (U << 8) | V
    std::array<uint8_t, 1024> Clamp {}; // index value + ClampBias

    TConversionTables()
    {
        auto floorDiv = [](int64_t num, int64_t den) {
            int64_t q = num / den;
            return (num % den != 0 && num < 0) ? q - 1 : q;
        };
        for (int s = 0; s < 256; ++s) {
            const int d = s - 128;
            RFromV[s] = static_cast<int16_t>(floorDiv(14075LL * d, 10000));
            BFromU[s] = static_cast<int16_t>(floorDiv(17790LL * d, 10000));
        }
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                const int64_t g = -3455LL * (u - 128) - 7169LL * (v - 128);
                GFromUV[(u << 8) | v] = static_cast<int16_t>(floorDiv(g, 10000));
            }
        }
        // Two chroma pairs whose exact G is a whole number come out one lower in the extended
        // precision arithmetic the picture is defined by (whenever the result is positive; when it
        // is not, both clamp to 0, so the lower offset is right for every luma).
        GFromUV[((-98 + 128) << 8) | (110 + 128)] = -46;
        GFromUV[((-33 + 128) << 8) | (-65 + 128)] = 57;
        for (int i = 0; i < static_cast<int>(Clamp.size()); ++i) {
            const int value = i - ClampBias;
            Clamp[i] = static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
        }
    }
};

const TConversionTables &Tables()
{
    static const TConversionTables tables;
    return tables;
}

// Constant rows that stand in for a switched-off plane (read with a row stride of 0).
struct TConstantRows
{
    std::array<unsigned char, MaxWidth> Luma;
    std::array<unsigned char, MaxWidth> Chroma;
    TConstantRows()
    {
        Luma.fill(100);
        Chroma.fill(128);
    }
};

const TConstantRows &ConstantRows()
{
    static const TConstantRows rows;
    return rows;
}

int HorizontalChromaShift(TYUVFormat Format)
{
    return Format == YUV444 ? 0 : 1;
}
int VerticalChromaShift(TYUVFormat Format)
{
    return Format == YUV420 ? 1 : 0;
}

inline void StorePixel(unsigned char *dst, int y, int r, int g, int b, const uint8_t *clamp)
{
    dst[0] = clamp[y + r + ClampBias];
    dst[1] = clamp[y + g + ClampBias];
    dst[2] = clamp[y + b + ClampBias];
}

void ConvertRowScalar(const TConversionTables &t, const unsigned char *yRow,
    const unsigned char *uRow, const unsigned char *vRow, unsigned char *dst, int x, int W,
    bool halfChroma)
{
    const uint8_t *clamp = t.Clamp.data();
    dst += 3 * x;
    if (!halfChroma) {
        for (; x < W; ++x, dst += 3) {
            const int u = uRow[x], v = vRow[x];
            StorePixel(dst, yRow[x], t.RFromV[v], t.GFromUV[(u << 8) | v], t.BFromU[u], clamp);
        }
        return;
    }
    // Two luma samples share one chroma sample; an odd last column takes the chroma at index
    // W / 2 of the row, as the truncating index gives.
    for (; x + 1 < W; x += 2, dst += 6) {
        const int u = uRow[x >> 1], v = vRow[x >> 1];
        const int r = t.RFromV[v], g = t.GFromUV[(u << 8) | v], b = t.BFromU[u];
        StorePixel(dst, yRow[x], r, g, b, clamp);
        StorePixel(dst + 3, yRow[x + 1], r, g, b, clamp);
    }
    if (x < W) {
        const int u = uRow[x >> 1], v = vRow[x >> 1];
        StorePixel(dst, yRow[x], t.RFromV[v], t.GFromUV[(u << 8) | v], t.BFromU[u], clamp);
    }
}

// The processor's features are read once; the active path starts as the best of them.
TConversionPath DetectBestPath()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    // The AVX2 kernel hands rows narrower than its vectors to the SSE4.1 one.
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("sse4.1"))
        return TConversionPath::AVX2;
    if (__builtin_cpu_supports("sse4.1"))
        return TConversionPath::SSE41;
#endif
    return TConversionPath::Scalar;
}

std::atomic<TConversionPath> &ActivePath()
{
    static std::atomic<TConversionPath> path {BestConversionPath()};
    return path;
}

detail::TRowKernel KernelFor(TConversionPath Path)
{
    switch (Path) {
#if defined(__x86_64__) || defined(__i386__)
    case TConversionPath::AVX2:
        return detail::ConvertRowsAVX2;
    case TConversionPath::SSE41:
        return detail::ConvertRowsSSE41;
#else
    case TConversionPath::AVX2:
    case TConversionPath::SSE41:
        break;
#endif
    case TConversionPath::Scalar:
        break;
    }
    return detail::ConvertRowsScalar;
}

} // namespace

namespace detail {

void ConvertColumnsScalar(const TRowSpan &Span, int XBegin)
{
    const TConversionTables &t = Tables();
    for (int i = 0; i < 2 && Span.Y[i]; ++i)
        ConvertRowScalar(
            t, Span.Y[i], Span.U, Span.V, Span.Dst[i], XBegin, Span.W, Span.HalfChroma);
}

void ConvertRowsScalar(const TRowSpan &Span)
{
    ConvertColumnsScalar(Span, 0);
}

} // namespace detail

TConversionPath BestConversionPath()
{
    static const TConversionPath best = DetectBestPath();
    return best;
}

bool IsConversionPathSupported(TConversionPath Path)
{
    return static_cast<int>(Path) >= static_cast<int>(TConversionPath::Scalar)
        && static_cast<int>(Path) <= static_cast<int>(BestConversionPath());
}

bool SetConversionPath(TConversionPath Path)
{
    if (!IsConversionPathSupported(Path))
        return false;
    ActivePath().store(Path, std::memory_order_relaxed);
    return true;
}

TConversionPath ActiveConversionPath()
{
    return ActivePath().load(std::memory_order_relaxed);
}

const char *ConversionPathName(TConversionPath Path)
{
    switch (Path) {
    case TConversionPath::Scalar:
        return "scalar";
    case TConversionPath::SSE41:
        return "sse41";
    case TConversionPath::AVX2:
        return "avx2";
    }
    return "unknown";
}

int ChromaPlaneSize(int W, int H, TYUVFormat Format)
{
    switch (Format) {
    case YUV420:
        return (W * H) / 4;
    case YUV422:
        return (W * H) / 2;
    case YUV444:
        break;
    }
    return W * H;
}

int FrameSize(int W, int H, TYUVFormat Format)
{
    return W * H + 2 * ChromaPlaneSize(W, H, Format);
}

int ChromaReadExtent(int W, int H, TYUVFormat Format)
{
    if (W < 1 || H < 1)
        return 0;
    const int hs = HorizontalChromaShift(Format);
    const int vs = VerticalChromaShift(Format);
    return ((H - 1) >> vs) * (W >> hs) + ((W - 1) >> hs) + 1;
}

void ConvertYUVToRGB(unsigned char *pRGB, const unsigned char *pY, const unsigned char *pU,
    const unsigned char *pV, int W, int H, TYUVFormat Format, TPlaneSwitches Planes)
{
    if (!IsSupportedSize(W, H))
        return;

    const detail::TRowKernel kernel = KernelFor(ActiveConversionPath());
    const int hs = HorizontalChromaShift(Format);
    const int vs = VerticalChromaShift(Format);
    const int chromaStride = W >> hs;

    const std::ptrdiff_t lumaStride = Planes.Y ? W : 0;
    const std::ptrdiff_t uStride = Planes.U ? chromaStride : 0;
    const std::ptrdiff_t vStride = Planes.V ? chromaStride : 0;
    if (!Planes.Y)
        pY = ConstantRows().Luma.data();
    if (!Planes.U)
        pU = ConstantRows().Chroma.data();
    if (!Planes.V)
        pV = ConstantRows().Chroma.data();

    // In 4:2:0 two picture rows share a chroma row; they are converted together so that the
    // vector kernels work out the chroma contributions once for both.
    const int rowsPerCall = vs == 1 ? 2 : 1;
    const std::ptrdiff_t rgbStride = static_cast<std::ptrdiff_t>(W) * 3;
    detail::TRowSpan span {};
    span.W = W;
    span.HalfChroma = hs == 1;
    for (int row = 0; row < H; row += rowsPerCall) {
        span.Y[0] = pY + row * lumaStride;
        span.Dst[0] = pRGB + (H - 1 - row) * rgbStride;
        const bool second = rowsPerCall == 2 && row + 1 < H;
        span.Y[1] = second ? span.Y[0] + lumaStride : nullptr;
        span.Dst[1] = second ? span.Dst[0] - rgbStride : nullptr;
        span.U = pU + (row >> vs) * uStride;
        span.V = pV + (row >> vs) * vStride;
        kernel(span);
    }
}

} // namespace yuv
