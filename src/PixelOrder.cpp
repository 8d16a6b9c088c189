#include "PixelOrder.h"

#include "YUVConversionPaths.h"

namespace yuv {

namespace detail {

void ExpandRGBToBGRAScalar(const unsigned char *src, unsigned char *dst, size_t count)
{
    for (size_t i = 0; i < count; ++i, src += 3, dst += 4) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = 255;
    }
}

} // namespace detail

void ExpandRGBToBGRA(const unsigned char *src, unsigned char *dst, size_t count)
{
#if defined(__x86_64__) || defined(__i386__)
    // Every processor with SSE4.1 has SSSE3.
    if (ActiveConversionPath() != TConversionPath::Scalar) {
        detail::ExpandRGBToBGRASSSE3(src, dst, count);
        return;
    }
#endif
    detail::ExpandRGBToBGRAScalar(src, dst, count);
}

void CompactBGRAToRGB(const unsigned char *src, unsigned char *dst, size_t count)
{
    for (size_t i = 0; i < count; ++i, src += 4, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

} // namespace yuv
