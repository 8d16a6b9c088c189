// The colour conversion with AVX2, 32 pixels at a time. This file is compiled with -mavx2 and only
// ever called after the processor has been found to support it.

#if defined(__x86_64__) || defined(__i386__)

#include "YUVConversionRowDriver.h"

namespace yuv::detail {

namespace {

// The body the shared row driver runs with 256-bit registers, which work as two 128-bit lanes:
// lane 0 serves pixels 0..15 of a step, lane 1 pixels 16..31, as a plain 32-byte load of luma has
// them. Rows narrower than one step go to the SSE4.1 kernel.
struct TAVX2
{
    YUV_LANE_OPERATIONS(__m256i, _mm256, 256)

    static YUV_ALWAYS_INLINE V EveryLane(__m128i v) { return _mm256_broadcastsi128_si256(v); }

    // Chroma 0..7 in lane 0 and 8..15 in lane 1, the halves of the step their pixels are in.
    static YUV_ALWAYS_INLINE V LoadHalfChroma(const unsigned char *p)
    {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
    }

    // Lane 0 of outK holds output bytes 16K .. 16K + 15, lane 1 bytes 48 + 16K .. 63 + 16K.
    static YUV_ALWAYS_INLINE void StoreLanes(unsigned char *dst, V out0, V out1, V out2)
    {
        _mm256_storeu_si256(
            reinterpret_cast<V *>(dst), _mm256_permute2x128_si256(out0, out1, 0x20));
        _mm256_storeu_si256(reinterpret_cast<V *>(dst + 32), _mm256_blend_epi32(out2, out0, 0xF0));
        _mm256_storeu_si256(
            reinterpret_cast<V *>(dst + 64), _mm256_permute2x128_si256(out1, out2, 0x31));
    }

    static void Narrow(const TRowSpan &Span) { ConvertRowsSSE41(Span); }
};

} // namespace

void ConvertRowsAVX2(const TRowSpan &Span)
{
    ConvertRowsWith<TAVX2>(Span);
}

} // namespace yuv::detail

#endif
