#ifndef PIXELORDER_H
#define PIXELORDER_H

#include <cstddef>

// Rearrangements of packed pixels between the frame buffer's R, G, B layout and the B, G, R, A
// layout of 32-bit images (Qt's RGB32 on a little-endian machine, the fastest input of Mesa's
// glDrawPixels). No OpenGL here: plain byte moves.

namespace yuv {

// Rewrites count R, G, B pixels of src as B, G, R, 255 in dst. Runs with SSSE3 while the
// colour conversion runs on a vector path (SetConversionPath), which implies that the processor
// has it; with the scalar path it runs the plain loop too.
void ExpandRGBToBGRA(const unsigned char *src, unsigned char *dst, size_t count);

// The inverse: count B, G, R, A pixels of src back to R, G, B in dst; the alpha is dropped.
void CompactBGRAToRGB(const unsigned char *src, unsigned char *dst, size_t count);

namespace detail {
void ExpandRGBToBGRAScalar(const unsigned char *src, unsigned char *dst, size_t count);
void ExpandRGBToBGRASSSE3(const unsigned char *src, unsigned char *dst, size_t count);
} // namespace detail

} // namespace yuv

#endif // PIXELORDER_H
