// The expansion of R, G, B pixels to B, G, R, A with SSSE3's byte shuffle. This file is compiled
// with -mssse3 and only ever called after the processor has been found to support it.

#if defined(__x86_64__) || defined(__i386__)

#include "PixelOrder.h"

#include <immintrin.h>

namespace yuv::detail {

void ExpandRGBToBGRASSSE3(const unsigned char *src, unsigned char *dst, size_t count)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
    size_t i = 0;
    // Four pixels from each 16-byte load, of which 12 bytes are used: stop while the loads still
    // lie inside the source. Eight pixels a step while they can: the loop is short enough that
    // its own overhead, and where it falls in the instruction cache, would otherwise show.
    for (; i + 10 <= count; i += 8) {
        const __m128i rgb0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * i));
        const __m128i rgb1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * i),
            _mm_or_si128(_mm_shuffle_epi8(rgb0, order), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * i + 16),
            _mm_or_si128(_mm_shuffle_epi8(rgb1, order), alpha));
    }
    for (; i + 6 <= count; i += 4) {
        const __m128i rgb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * i));
        const __m128i bgra = _mm_or_si128(_mm_shuffle_epi8(rgb, order), alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * i), bgra);
    }
    ExpandRGBToBGRAScalar(src + 3 * i, dst + 4 * i, count - i);
}

} // namespace yuv::detail

#endif
