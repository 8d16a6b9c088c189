#ifndef YUVCONVERSIONKERNELS_H
#define YUVCONVERSIONKERNELS_H

// Row kernels of the colour conversion, one per instruction set, behind the frame loop in
// YUVConversion.cpp. The vector kernels live in files of their own that are compiled for their
// instruction set; they must use nothing with external linkage from shared headers (no templates or
// inline functions of the standard library), or the linker could hand a copy built for a wider
// instruction set to code that runs on any processor. The code they share, in
// YUVConversionRowDriver.h, is therefore in an anonymous namespace: each file gets its own copy.

// The vector steps are small functions that must melt into their loops, so that the constants are
// loaded once per row rather than once per step.
#define YUV_ALWAYS_INLINE inline __attribute__((always_inline))

namespace yuv::detail {

// One kernel call converts one picture row, or the two rows of a 4:2:0 picture that share a
// chroma row. Pointers are at column 0; a switched-off plane points at a constant row.
struct TRowSpan
{
    const unsigned char *Y[2]; // luma of the rows; Y[1] is null when only one row is converted
    unsigned char *Dst[2]; // where the rows go in the RGB buffer, 3*W bytes each
    const unsigned char *U; // the chroma row the luma rows use
    const unsigned char *V;
    int W;
    bool HalfChroma; // two columns share a chroma sample (4:2:0, 4:2:2); an odd last column
                     // takes the sample at index W / 2
};

using TRowKernel = void (*)(const TRowSpan &Span);

// Columns [XBegin, W) of the span with the scalar tables; XBegin must be even when HalfChroma.
// The vector kernels finish their rows with it.
void ConvertColumnsScalar(const TRowSpan &Span, int XBegin);

void ConvertRowsScalar(const TRowSpan &Span);
void ConvertRowsSSE41(const TRowSpan &Span);
void ConvertRowsAVX2(const TRowSpan &Span);

// Exact per-chroma offsets in signed 16-bit lanes, for Ud = U - 128 and Vd = V - 128, where
// mulhi(a, c) is the high half of the 32-bit product (floor(a * c / 65536)) and mullo the low half:
//   R offset = floor(1.4075 Vd) = mulhi(4 Vd, RHighMul)
//   B offset = floor(1.779 Ud)  = mulhi(4 Ud, BHighMul)
//   G offset = floor(-0.3455 Ud - 0.7169 Vd), built from q = floor(-0.3455 Ud) + floor(-0.7169 Vd)
//     q = mulhi(4 Ud, GUHighMul) + mulhi(4 Vd, GVHighMul)
//     s = -3455 Ud - 7169 Vd - 10000 q, the two fractional parts in units of 1/10000, in
//         0..19998; it is formed exactly with wrapping 16-bit products (mullo)
//     G offset = q + 1 if s > 9999 when Ud >= 0, or s > 10000 when Ud < 0, else q.
// The sign condition is what makes the two exception pairs (-98, 110) and (-33, -65) come out one
// lower: there s is exactly 10000 and Ud < 0. Their mirror images (98, -110) and (33, 65) also
// have s = 10000, but with Ud > 0 they carry, as exact decimal arithmetic does. Each multiplier
// lies inside the range of values that give exact results for all 256 samples (the factor 4 makes
// that range wide enough for every coefficient to fit a signed 16-bit multiplier); the tests check
// the whole formula for every U, V pair.
constexpr short RHighMul = 23061; // exact for 23059..23064
constexpr short BHighMul = 29147; // exact for 29147..29148
constexpr short GUHighMul = -5662; // exact for -5663..-5660
constexpr short GVHighMul = -11746; // exact for -11747..-11745
constexpr short GULowMul = -3455;
constexpr short GVLowMul = -7169;
constexpr short GUnit = 10000;

} // namespace yuv::detail

#endif // YUVCONVERSIONKERNELS_H
