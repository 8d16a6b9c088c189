// The colour conversion with SSE4.1, 16 pixels at a time. This file is compiled with -msse4.1 and
// only ever called after the processor has been found to support it.

#if defined(__x86_64__) || defined(__i386__)

#include "YUVConversionRowDriver.h"

namespace yuv::detail {

namespace {

// The body the shared row driver runs with 128-bit registers; rows narrower than one step go to
// the scalar tables.
struct TSSE41
{
    YUV_LANE_OPERATIONS(__m128i, _mm, 128)

    static YUV_ALWAYS_INLINE V EveryLane(__m128i v) { return v; }

    static YUV_ALWAYS_INLINE V LoadHalfChroma(const unsigned char *p)
    {
        return _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)));
    }

    static YUV_ALWAYS_INLINE void StoreLanes(unsigned char *dst, V out0, V out1, V out2)
    {
        _mm_storeu_si128(reinterpret_cast<V *>(dst), out0);
        _mm_storeu_si128(reinterpret_cast<V *>(dst + 16), out1);
        _mm_storeu_si128(reinterpret_cast<V *>(dst + 32), out2);
    }

    static void Narrow(const TRowSpan &Span) { ConvertColumnsScalar(Span, 0); }
};

} // namespace

void ConvertRowsSSE41(const TRowSpan &Span)
{
    ConvertRowsWith<TSSE41>(Span);
}

} // namespace yuv::detail

#endif
