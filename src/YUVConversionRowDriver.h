#ifndef YUVCONVERSIONROWDRIVER_H
#define YUVCONVERSIONROWDRIVER_H

// The vector kernels written once for any register width: the chroma arithmetic, the steps and
// the RGB interleave and the row driver (whole steps across the row, one last step that overlaps
// the one before it, the odd last column of a halved-chroma row, rows too narrow for a single
// step). Each instruction-set file includes this header and instantiates ConvertRowsWith with its
// own body, which supplies the register operations, the chroma load and the final stores.
// Everything here is in an anonymous namespace, so every instantiation has internal linkage and
// stays in the file that was compiled for its instruction set.
//
// A body Isa provides:
//   YUV_LANE_OPERATIONS(...)     the register type V, Pixels and the lane operations
//   static V EveryLane(__m128i v);
//                                v in each 128-bit lane of a register
//   static V LoadHalfChroma(const unsigned char *p);
//                                Pixels / 2 chroma bytes in 16-bit lanes, in the order in which
//                                DoubledBytes gives each of them to its two pixels
//   static void StoreLanes(unsigned char *dst, V out0, V out1, V out2);
//                                the 48 bytes StoreRGB made in each lane, in pixel order
//   static void Narrow(const TRowSpan &);
//                                converts a span whose vector part is narrower than one step

#include "YUVConversionKernels.h"

#include <immintrin.h>

// The operations whose intrinsics differ between the register widths only in their prefix (_mm,
// _mm256) and register size (128, 256), with Pixels, the bytes of a register: the pixels of one
// step. Expanded inside a body, so that they are compiled for its instruction set.
// clang-format off
#define YUV_LANE_OPERATIONS(Register, Prefix, Bits)                                               \
    using V = Register;                                                                           \
    static constexpr int Pixels = Bits / 8;                                                       \
    static YUV_ALWAYS_INLINE V Zero() { return Prefix##_setzero_si##Bits(); }                     \
    static YUV_ALWAYS_INLINE V Set16(short a) { return Prefix##_set1_epi16(a); }                  \
    static YUV_ALWAYS_INLINE V Add16(V a, V b) { return Prefix##_add_epi16(a, b); }               \
    static YUV_ALWAYS_INLINE V Sub16(V a, V b) { return Prefix##_sub_epi16(a, b); }               \
    static YUV_ALWAYS_INLINE V Times4(V a) { return Prefix##_slli_epi16(a, 2); }                  \
    static YUV_ALWAYS_INLINE V SignMask16(V a) { return Prefix##_srai_epi16(a, 15); }             \
    static YUV_ALWAYS_INLINE V MulHigh16(V a, V b) { return Prefix##_mulhi_epi16(a, b); }         \
    static YUV_ALWAYS_INLINE V MulLow16(V a, V b) { return Prefix##_mullo_epi16(a, b); }          \
    static YUV_ALWAYS_INLINE V Greater16(V a, V b) { return Prefix##_cmpgt_epi16(a, b); }         \
    static YUV_ALWAYS_INLINE V AddSat8(V a, V b) { return Prefix##_adds_epu8(a, b); }             \
    static YUV_ALWAYS_INLINE V SubSat8(V a, V b) { return Prefix##_subs_epu8(a, b); }             \
    static YUV_ALWAYS_INLINE V PackSat8(V a, V b) { return Prefix##_packus_epi16(a, b); }         \
    static YUV_ALWAYS_INLINE V InterleaveLow8(V a, V b) { return Prefix##_unpacklo_epi8(a, b); }  \
    static YUV_ALWAYS_INLINE V InterleaveHigh8(V a, V b) { return Prefix##_unpackhi_epi8(a, b); } \
    static YUV_ALWAYS_INLINE V Shuffle8(V a, V b) { return Prefix##_shuffle_epi8(a, b); }         \
    static YUV_ALWAYS_INLINE V Blend8(V a, V b, V m) { return Prefix##_blendv_epi8(a, b, m); }    \
    static YUV_ALWAYS_INLINE V Load(const unsigned char *p)                                       \
    {                                                                                             \
        return Prefix##_loadu_si##Bits(reinterpret_cast<const V *>(p));                           \
    }
// clang-format on

namespace yuv::detail {

namespace {

// A constant the compiler must not see through: it would turn a multiplication by a constant into
// a longer series of shifts and additions.
template<class Isa> YUV_ALWAYS_INLINE typename Isa::V Opaque(typename Isa::V v)
{
    __asm__("" : "+x"(v));
    return v;
}

// Offsets of R, G and B for chroma samples given as 16-bit values 0..255; the arithmetic and why
// it is exact are described with the multipliers in YUVConversionKernels.h.
template<class Isa> struct TOffsets
{
    typename Isa::V R, G, B;
};

template<class Isa>
YUV_ALWAYS_INLINE TOffsets<Isa> ChromaOffsets(typename Isa::V u, typename Isa::V v)
{
    using V = typename Isa::V;
    const V bias = Isa::Set16(128);
    const V ud = Isa::Sub16(u, bias);
    const V vd = Isa::Sub16(v, bias);
    const V ud4 = Isa::Times4(ud);
    const V vd4 = Isa::Times4(vd);
    TOffsets<Isa> o;
    o.R = Isa::MulHigh16(vd4, Isa::Set16(RHighMul));
    o.B = Isa::MulHigh16(ud4, Isa::Set16(BHighMul));
    const V q = Isa::Add16(
        Isa::MulHigh16(ud4, Isa::Set16(GUHighMul)), Isa::MulHigh16(vd4, Isa::Set16(GVHighMul)));
    const V s = Isa::Sub16(Isa::Add16(Isa::MulLow16(ud, Opaque<Isa>(Isa::Set16(GULowMul))),
                               Isa::MulLow16(vd, Opaque<Isa>(Isa::Set16(GVLowMul)))),
        Isa::MulLow16(q, Opaque<Isa>(Isa::Set16(GUnit))));
    const V limit = Isa::Sub16(Isa::Set16(GUnit - 1), Isa::SignMask16(ud));
    o.G = Isa::Sub16(q, Isa::Greater16(s, limit));
    return o;
}

// An offset split into its positive and negative parts, as bytes (each 0..228), one per pixel:
// clamp(Y + offset) is then two saturating byte operations, Y + Add - Sub.
template<class Isa> struct TByteOffset
{
    typename Isa::V Add, Sub;
};

template<class Isa>
YUV_ALWAYS_INLINE typename Isa::V Apply(typename Isa::V y, const TByteOffset<Isa> &o)
{
    return Isa::SubSat8(Isa::AddSat8(y, o.Add), o.Sub);
}

// Pixels / 2 offsets, each used by two neighbouring pixels. The pack and the interleaves work
// within 128-bit lanes, so each lane doubles the offsets loaded into it.
template<class Isa> YUV_ALWAYS_INLINE TByteOffset<Isa> DoubledBytes(typename Isa::V offset)
{
    const typename Isa::V parts = Isa::PackSat8(offset, Isa::Sub16(Isa::Zero(), offset));
    return {Isa::InterleaveLow8(parts, parts), Isa::InterleaveHigh8(parts, parts)};
}

// Interleaves Pixels R, G and B bytes into 3 * Pixels bytes R, G, B, R, ..., 48 bytes from each
// 128-bit lane. In a lane, output byte p of vector k is the lane's pixel (16 k + p) / 3, channel
// (k + p) % 3. Each channel is shuffled once so that every position holds the pixel it
// contributes at that position to whichever output vector takes it; the three output vectors
// then pick their channels by position.
template<class Isa>
YUV_ALWAYS_INLINE void StoreRGB(
    unsigned char *dst, typename Isa::V r, typename Isa::V g, typename Isa::V b)
{
    using V = typename Isa::V;
    r = Isa::Shuffle8(
        r, Isa::EveryLane(_mm_setr_epi8(0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15, 10, 5)));
    g = Isa::Shuffle8(
        g, Isa::EveryLane(_mm_setr_epi8(5, 0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15, 10)));
    b = Isa::Shuffle8(
        b, Isa::EveryLane(_mm_setr_epi8(10, 5, 0, 11, 6, 1, 12, 7, 2, 13, 8, 3, 14, 9, 4, 15)));
    // Positions p with p % 3 == 0, 1, 2.
    const V m0
        = Isa::EveryLane(_mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1));
    const V m1 = Isa::EveryLane(_mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0));
    const V m2 = Isa::EveryLane(_mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0));
    const V out0 = Isa::Blend8(Isa::Blend8(r, g, m1), b, m2);
    const V out1 = Isa::Blend8(Isa::Blend8(r, g, m0), b, m1);
    const V out2 = Isa::Blend8(Isa::Blend8(r, g, m2), b, m0);
    Isa::StoreLanes(dst, out0, out1, out2);
}

// Pixels x .. x + Pixels - 1 of the span's first Rows rows, two columns to a chroma sample; x is
// even. Reads chroma x / 2 .. x / 2 + Pixels / 2 - 1.
template<class Isa, int Rows> YUV_ALWAYS_INLINE void StepHalfChroma(const TRowSpan &s, int x)
{
    using V = typename Isa::V;
    const int c = x >> 1;
    const TOffsets<Isa> o
        = ChromaOffsets<Isa>(Isa::LoadHalfChroma(s.U + c), Isa::LoadHalfChroma(s.V + c));
    const TByteOffset<Isa> r = DoubledBytes<Isa>(o.R), g = DoubledBytes<Isa>(o.G),
                           b = DoubledBytes<Isa>(o.B);
    for (int row = 0; row < Rows; ++row) {
        const V y = Isa::Load(s.Y[row] + x);
        StoreRGB<Isa>(s.Dst[row] + 3 * x, Apply<Isa>(y, r), Apply<Isa>(y, g), Apply<Isa>(y, b));
    }
}

// Pixels x .. x + Pixels - 1 of row 0 of the span, each with its own chroma sample. With one
// offset per pixel, adding in 16-bit lanes and clamping by the saturating pack is cheaper than
// splitting each offset into bytes. The interleaves and the pack work within 128-bit lanes, so
// the pack puts every pixel back where the interleaves took it from.
template<class Isa> YUV_ALWAYS_INLINE void StepFullChroma(const TRowSpan &s, int x)
{
    using V = typename Isa::V;
    const V zero = Isa::Zero();
    const V u = Isa::Load(s.U + x);
    const V v = Isa::Load(s.V + x);
    const V y = Isa::Load(s.Y[0] + x);
    const TOffsets<Isa> low
        = ChromaOffsets<Isa>(Isa::InterleaveLow8(u, zero), Isa::InterleaveLow8(v, zero));
    const TOffsets<Isa> high
        = ChromaOffsets<Isa>(Isa::InterleaveHigh8(u, zero), Isa::InterleaveHigh8(v, zero));
    const V yLow = Isa::InterleaveLow8(y, zero);
    const V yHigh = Isa::InterleaveHigh8(y, zero);
    auto channel = [&](V offLow, V offHigh) {
        return Isa::PackSat8(Isa::Add16(yLow, offLow), Isa::Add16(yHigh, offHigh));
    };
    StoreRGB<Isa>(
        s.Dst[0] + 3 * x, channel(low.R, high.R), channel(low.G, high.G), channel(low.B, high.B));
}

// Whole steps, then one last step that ends at End and overlaps the one before it (rewriting the
// same values), so that no load or store leaves the row. End >= Isa::Pixels.
template<class Isa, int Rows> void RowsHalfChroma(const TRowSpan &s, int end)
{
    int x = 0;
    for (; x + Isa::Pixels <= end; x += Isa::Pixels)
        StepHalfChroma<Isa, Rows>(s, x);
    if (x < end)
        StepHalfChroma<Isa, Rows>(s, end - Isa::Pixels);
}

template<class Isa> void RowFullChroma(const TRowSpan &s)
{
    int x = 0;
    for (; x + Isa::Pixels <= s.W; x += Isa::Pixels)
        StepFullChroma<Isa>(s, x);
    if (x < s.W)
        StepFullChroma<Isa>(s, s.W - Isa::Pixels);
}

template<class Isa> void ConvertRowsWith(const TRowSpan &Span)
{
    if (!Span.HalfChroma) {
        if (Span.W < Isa::Pixels) {
            Isa::Narrow(Span);
            return;
        }
        for (int row = 0; row < 2 && Span.Y[row]; ++row) {
            TRowSpan one = Span;
            one.Y[0] = Span.Y[row];
            one.Dst[0] = Span.Dst[row];
            RowFullChroma<Isa>(one);
        }
        return;
    }
    // The vector part covers the even columns; an odd last column is left to the scalar code,
    // which takes its chroma from index W / 2.
    const int even = Span.W & ~1;
    if (even < Isa::Pixels) {
        Isa::Narrow(Span);
        return;
    }
    if (Span.Y[1])
        RowsHalfChroma<Isa, 2>(Span, even);
    else
        RowsHalfChroma<Isa, 1>(Span, even);
    if (even < Span.W)
        ConvertColumnsScalar(Span, even);
}

} // namespace

} // namespace yuv::detail

#endif // YUVCONVERSIONROWDRIVER_H
