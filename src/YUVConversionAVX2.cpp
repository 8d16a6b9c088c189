// The colour conversion with AVX2, 32 pixels at a time. This file is compiled with -mavx2 and only
// ever called after the processor has been found to support it. The arithmetic is that of the
// SSE4.1 kernel in 256-bit registers; the comments there explain each step.

#include "YUVConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace yuv::detail {

namespace {

// A constant the compiler must not see through: it would turn a multiplication by a constant into
// a longer series of shifts and additions.
YUV_ALWAYS_INLINE __m256i Opaque(__m256i v)
{
    __asm__("" : "+x"(v));
    return v;
}

struct TOffsets
{
    __m256i R, G, B;
};

YUV_ALWAYS_INLINE TOffsets ChromaOffsets(__m256i u, __m256i v)
{
    const __m256i bias = _mm256_set1_epi16(128);
    const __m256i ud = _mm256_sub_epi16(u, bias);
    const __m256i vd = _mm256_sub_epi16(v, bias);
    const __m256i ud4 = _mm256_slli_epi16(ud, 2);
    const __m256i vd4 = _mm256_slli_epi16(vd, 2);
    TOffsets o;
    o.R = _mm256_mulhi_epi16(vd4, _mm256_set1_epi16(RHighMul));
    o.B = _mm256_mulhi_epi16(ud4, _mm256_set1_epi16(BHighMul));
    const __m256i q = _mm256_add_epi16(_mm256_mulhi_epi16(ud4, _mm256_set1_epi16(GUHighMul)),
        _mm256_mulhi_epi16(vd4, _mm256_set1_epi16(GVHighMul)));
    const __m256i s = _mm256_sub_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(ud, Opaque(_mm256_set1_epi16(GULowMul))),
            _mm256_mullo_epi16(vd, Opaque(_mm256_set1_epi16(GVLowMul)))),
        _mm256_mullo_epi16(q, Opaque(_mm256_set1_epi16(GUnit))));
    const __m256i limit = _mm256_sub_epi16(_mm256_set1_epi16(GUnit - 1), _mm256_srai_epi16(ud, 15));
    o.G = _mm256_sub_epi16(q, _mm256_cmpgt_epi16(s, limit));
    return o;
}

struct TByteOffset
{
    __m256i Add, Sub;
};

YUV_ALWAYS_INLINE __m256i Apply(__m256i y, TByteOffset o)
{
    return _mm256_subs_epu8(_mm256_adds_epu8(y, o.Add), o.Sub);
}

// 16 offsets (8 per 128-bit lane), each used by two neighbouring pixels: lane 0 serves pixels
// 0..15, lane 1 pixels 16..31, as a plain 32-byte load of luma has them.
YUV_ALWAYS_INLINE TByteOffset DoubledBytes(__m256i offset)
{
    const __m256i parts
        = _mm256_packus_epi16(offset, _mm256_sub_epi16(_mm256_setzero_si256(), offset));
    return {_mm256_unpacklo_epi8(parts, parts), _mm256_unpackhi_epi8(parts, parts)};
}

YUV_ALWAYS_INLINE __m256i InBothLanes(__m128i v)
{
    return _mm256_broadcastsi128_si256(v);
}

// Interleaves 32 R, G and B bytes into 96 bytes; each 128-bit lane as in the SSE4.1 kernel, then
// the lanes' 48-byte results are put in order.
YUV_ALWAYS_INLINE void StoreRGB(unsigned char *dst, __m256i r, __m256i g, __m256i b)
{
    r = _mm256_shuffle_epi8(
        r, InBothLanes(_mm_setr_epi8(0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15, 10, 5)));
    g = _mm256_shuffle_epi8(
        g, InBothLanes(_mm_setr_epi8(5, 0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15, 10)));
    b = _mm256_shuffle_epi8(
        b, InBothLanes(_mm_setr_epi8(10, 5, 0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15)));
    const __m256i m0
        = InBothLanes(_mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1));
    const __m256i m1
        = InBothLanes(_mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0));
    const __m256i m2
        = InBothLanes(_mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0));
    // Lane 0 of outK holds output bytes 16K .. 16K + 15, lane 1 bytes 48 + 16K .. 63 + 16K.
    const __m256i out0 = _mm256_blendv_epi8(_mm256_blendv_epi8(r, g, m1), b, m2);
    const __m256i out1 = _mm256_blendv_epi8(_mm256_blendv_epi8(r, g, m0), b, m1);
    const __m256i out2 = _mm256_blendv_epi8(_mm256_blendv_epi8(r, g, m2), b, m0);
    _mm256_storeu_si256(
        reinterpret_cast<__m256i *>(dst), _mm256_permute2x128_si256(out0, out1, 0x20));
    _mm256_storeu_si256(
        reinterpret_cast<__m256i *>(dst + 32), _mm256_blend_epi32(out2, out0, 0xF0));
    _mm256_storeu_si256(
        reinterpret_cast<__m256i *>(dst + 64), _mm256_permute2x128_si256(out1, out2, 0x31));
}

YUV_ALWAYS_INLINE void StorePixels(const TRowSpan &s, int row, int x, const TByteOffset &r,
    const TByteOffset &g, const TByteOffset &b)
{
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s.Y[row] + x));
    StoreRGB(s.Dst[row] + 3 * x, Apply(y, r), Apply(y, g), Apply(y, b));
}

// Pixels x .. x + 31 of the span's rows; x is even. Reads chroma x / 2 .. x / 2 + 15.
template<int Rows> YUV_ALWAYS_INLINE void StepHalfChroma(const TRowSpan &s, int x)
{
    const int c = x >> 1;
    const __m256i u
        = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s.U + c)));
    const __m256i v
        = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s.V + c)));
    const TOffsets o = ChromaOffsets(u, v);
    const TByteOffset r = DoubledBytes(o.R), g = DoubledBytes(o.G), b = DoubledBytes(o.B);
    for (int row = 0; row < Rows; ++row)
        StorePixels(s, row, x, r, g, b);
}

// Pixels x .. x + 31 of one row, each with its own chroma sample, added in 16-bit lanes. The
// lane-wise unpacks give halves that hold pixels 0..7 and 16..23 (low) and 8..15 and 24..31
// (high), the order in which the lane-wise pack puts them back in sequence.
YUV_ALWAYS_INLINE void StepFullChroma(const TRowSpan &s, int x)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s.U + x));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s.V + x));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s.Y[0] + x));
    const TOffsets low
        = ChromaOffsets(_mm256_unpacklo_epi8(u, zero), _mm256_unpacklo_epi8(v, zero));
    const TOffsets high
        = ChromaOffsets(_mm256_unpackhi_epi8(u, zero), _mm256_unpackhi_epi8(v, zero));
    const __m256i yLow = _mm256_unpacklo_epi8(y, zero);
    const __m256i yHigh = _mm256_unpackhi_epi8(y, zero);
    auto channel = [&](__m256i offLow, __m256i offHigh) {
        return _mm256_packus_epi16(
            _mm256_add_epi16(yLow, offLow), _mm256_add_epi16(yHigh, offHigh));
    };
    StoreRGB(
        s.Dst[0] + 3 * x, channel(low.R, high.R), channel(low.G, high.G), channel(low.B, high.B));
}

template<int Rows> void RowsHalfChroma(const TRowSpan &s, int even)
{
    int x = 0;
    for (; x + 32 <= even; x += 32)
        StepHalfChroma<Rows>(s, x);
    if (x < even)
        StepHalfChroma<Rows>(s, even - 32);
}

} // namespace

void ConvertRowsAVX2(const TRowSpan &Span)
{
    const int W = Span.W;
    if (!Span.HalfChroma) {
        if (W < 32) {
            ConvertRowsSSE41(Span);
            return;
        }
        for (int row = 0; row < 2 && Span.Y[row]; ++row) {
            TRowSpan one = Span;
            one.Y[0] = Span.Y[row];
            one.Dst[0] = Span.Dst[row];
            int x = 0;
            for (; x + 32 <= W; x += 32)
                StepFullChroma(one, x);
            if (x < W)
                StepFullChroma(one, W - 32);
        }
        return;
    }
    const int even = W & ~1;
    if (even < 32) {
        ConvertRowsSSE41(Span);
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
