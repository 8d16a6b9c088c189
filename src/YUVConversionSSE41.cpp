// The colour conversion with SSE4.1, 16 pixels at a time. This file is compiled with -msse4.1 and
// only ever called after the processor has been found to support it.

#include "YUVConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace yuv::detail {

namespace {

// A constant the compiler must not see through: it would turn a multiplication by a constant into
// a longer series of shifts and additions.
YUV_ALWAYS_INLINE __m128i Opaque(__m128i v)
{
    __asm__("" : "+x"(v));
    return v;
}

// Offsets of R, G and B for 8 chroma samples given as 16-bit values 0..255; the arithmetic and
// why it is exact are described with the multipliers in YUVConversionKernels.h.
struct TOffsets
{
    __m128i R, G, B;
};

YUV_ALWAYS_INLINE TOffsets ChromaOffsets(__m128i u, __m128i v)
{
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i ud = _mm_sub_epi16(u, bias);
    const __m128i vd = _mm_sub_epi16(v, bias);
    const __m128i ud4 = _mm_slli_epi16(ud, 2);
    const __m128i vd4 = _mm_slli_epi16(vd, 2);
    TOffsets o;
    o.R = _mm_mulhi_epi16(vd4, _mm_set1_epi16(RHighMul));
    o.B = _mm_mulhi_epi16(ud4, _mm_set1_epi16(BHighMul));
    const __m128i q = _mm_add_epi16(_mm_mulhi_epi16(ud4, _mm_set1_epi16(GUHighMul)),
        _mm_mulhi_epi16(vd4, _mm_set1_epi16(GVHighMul)));
    const __m128i s
        = _mm_sub_epi16(_mm_add_epi16(_mm_mullo_epi16(ud, Opaque(_mm_set1_epi16(GULowMul))),
                            _mm_mullo_epi16(vd, Opaque(_mm_set1_epi16(GVLowMul)))),
            _mm_mullo_epi16(q, Opaque(_mm_set1_epi16(GUnit))));
    const __m128i limit = _mm_sub_epi16(_mm_set1_epi16(GUnit - 1), _mm_srai_epi16(ud, 15));
    o.G = _mm_sub_epi16(q, _mm_cmpgt_epi16(s, limit));
    return o;
}

// An offset split into its positive and negative parts, as bytes (each 0..228), one per pixel:
// clamp(Y + offset) is then two saturating byte operations, Y + Add - Sub.
struct TByteOffset
{
    __m128i Add, Sub;
};

YUV_ALWAYS_INLINE __m128i Apply(__m128i y, TByteOffset o)
{
    return _mm_subs_epu8(_mm_adds_epu8(y, o.Add), o.Sub);
}

// 8 offsets, each used by two neighbouring pixels.
YUV_ALWAYS_INLINE TByteOffset DoubledBytes(__m128i offset)
{
    const __m128i parts = _mm_packus_epi16(offset, _mm_sub_epi16(_mm_setzero_si128(), offset));
    return {_mm_unpacklo_epi8(parts, parts), _mm_unpackhi_epi8(parts, parts)};
}

// Interleaves 16 R, G and B bytes into 48 bytes R, G, B, R, ... Output byte p of vector k is pixel
// (16 k + p) / 3, channel (k + p) % 3. Each channel is shuffled once so that every position holds
// the pixel it contributes at that position to whichever output vector takes it; the three output
// vectors then pick their channels by position.
YUV_ALWAYS_INLINE void StoreRGB(unsigned char *dst, __m128i r, __m128i g, __m128i b)
{
    r = _mm_shuffle_epi8(r, _mm_setr_epi8(0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15, 10, 5));
    g = _mm_shuffle_epi8(g, _mm_setr_epi8(5, 0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15, 10));
    b = _mm_shuffle_epi8(b, _mm_setr_epi8(10, 5, 0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15));
    // Positions p with p % 3 == 0, 1, 2.
    const __m128i m0 = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1);
    const __m128i m1 = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0);
    const __m128i m2 = _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0);
    const __m128i out0 = _mm_blendv_epi8(_mm_blendv_epi8(r, g, m1), b, m2);
    const __m128i out1 = _mm_blendv_epi8(_mm_blendv_epi8(r, g, m0), b, m1);
    const __m128i out2 = _mm_blendv_epi8(_mm_blendv_epi8(r, g, m2), b, m0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), out0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 16), out1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 32), out2);
}

YUV_ALWAYS_INLINE void StorePixels(const TRowSpan &s, int row, int x, const TByteOffset &r,
    const TByteOffset &g, const TByteOffset &b)
{
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.Y[row] + x));
    StoreRGB(s.Dst[row] + 3 * x, Apply(y, r), Apply(y, g), Apply(y, b));
}

// Pixels x .. x + 15 of the span's rows; x is even. Reads chroma x / 2 .. x / 2 + 7.
template<int Rows> YUV_ALWAYS_INLINE void StepHalfChroma(const TRowSpan &s, int x)
{
    const int c = x >> 1;
    const __m128i u
        = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s.U + c)));
    const __m128i v
        = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s.V + c)));
    const TOffsets o = ChromaOffsets(u, v);
    const TByteOffset r = DoubledBytes(o.R), g = DoubledBytes(o.G), b = DoubledBytes(o.B);
    for (int row = 0; row < Rows; ++row)
        StorePixels(s, row, x, r, g, b);
}

// Pixels x .. x + 15 of the span's row, each with its own chroma sample. With one offset per
// pixel, adding in 16-bit lanes and clamping by the saturating pack is cheaper than splitting each
// offset into bytes.
YUV_ALWAYS_INLINE void StepFullChroma(const TRowSpan &s, int x)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.U + x));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.V + x));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.Y[0] + x));
    const TOffsets low = ChromaOffsets(_mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(v, zero));
    const TOffsets high = ChromaOffsets(_mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(v, zero));
    const __m128i yLow = _mm_unpacklo_epi8(y, zero);
    const __m128i yHigh = _mm_unpackhi_epi8(y, zero);
    auto channel = [&](__m128i offLow, __m128i offHigh) {
        return _mm_packus_epi16(_mm_add_epi16(yLow, offLow), _mm_add_epi16(yHigh, offHigh));
    };
    StoreRGB(
        s.Dst[0] + 3 * x, channel(low.R, high.R), channel(low.G, high.G), channel(low.B, high.B));
}

// Whole steps, then one last step that ends at the end of the vector part and overlaps the one
// before it (rewriting the same values), so that no load or store leaves the row.
template<int Rows> void RowsHalfChroma(const TRowSpan &s, int even)
{
    int x = 0;
    for (; x + 16 <= even; x += 16)
        StepHalfChroma<Rows>(s, x);
    if (x < even)
        StepHalfChroma<Rows>(s, even - 16);
}

} // namespace

void ConvertRowsSSE41(const TRowSpan &Span)
{
    const int W = Span.W;
    if (!Span.HalfChroma) {
        if (W < 16) {
            ConvertColumnsScalar(Span, 0);
            return;
        }
        for (int row = 0; row < 2 && Span.Y[row]; ++row) {
            TRowSpan one = Span;
            one.Y[0] = Span.Y[row];
            one.Dst[0] = Span.Dst[row];
            int x = 0;
            for (; x + 16 <= W; x += 16)
                StepFullChroma(one, x);
            if (x < W)
                StepFullChroma(one, W - 16);
        }
        return;
    }
    // The vector part covers the even columns; an odd last column is left to the scalar code,
    // which takes its chroma from index W / 2.
    const int even = W & ~1;
    if (even < 16) {
        ConvertColumnsScalar(Span, 0);
        return;
    }
    if (Span.Y[1])
        RowsHalfChroma<2>(Span, even);
    else
        RowsHalfChroma<1>(Span, even);
    if (even < W)
        ConvertColumnsScalar(Span, even);
}

} // namespace yuv::detail

#endif
