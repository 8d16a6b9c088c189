#ifndef YUVCONVERSION_H
#define YUVCONVERSION_H

// Chroma layouts of a planar 8-bit stream. The values are the positions of the layouts in the
// parameters dialog's format list and are stored in the settings, so they must not change.
enum TYUVFormat
{
    YUV420 = 0, // chroma halved horizontally and vertically
    YUV422 = 1, // chroma halved horizontally
    YUV444 = 2, // full-resolution chroma
};

// Which planes take part in the conversion. A switched-off luma plane reads as the constant 100,
// a switched-off chroma plane as the neutral 128.
struct TPlaneSwitches
{
    bool Y = true;
    bool U = true;
    bool V = true;
};

namespace yuv {

constexpr int MaxWidth = 1920;
constexpr int MaxHeight = 1080;
constexpr int MaxPlaneSize = MaxWidth * MaxHeight;
constexpr int MaxRGBSize = MaxPlaneSize * 3;

// Whether a W x H picture fits the fixed frame buffers. Checked per dimension so that no product
// is formed from an unchecked value.
constexpr bool IsSupportedSize(int W, int H)
{
    return W >= 1 && H >= 1 && W <= MaxWidth && H <= MaxHeight;
}

// Bytes of one U (or V) plane of a frame as stored in the file.
int ChromaPlaneSize(int W, int H, TYUVFormat Format);

// Bytes of one whole frame in the file: the Y plane and both chroma planes.
int FrameSize(int W, int H, TYUVFormat Format);

// Bytes of a chroma plane buffer that the conversion reads. With an odd width or height the
// truncating chroma index of the last row runs a little past the stored plane, so this may exceed
// ChromaPlaneSize; the caller fills the difference with a defined value.
int ChromaReadExtent(int W, int H, TYUVFormat Format);

// Converts one planar frame into packed 24-bit RGB, rows bottom-up (the first row written is the
// bottom picture row), 3*W bytes per row without padding. Bytes past 3*W*H are not touched.
// The arithmetic reproduces R = Y + 1.4075 V', G = Y - 0.3455 U' - 0.7169 V', B = Y + 1.779 U'
// (U' = U - 128, V' = V - 128) truncated toward zero and clamped, exactly, with integer arithmetic:
// AVX2 or SSE4.1 vector code where the processor has it, integer tables otherwise (chosen once, on
// first use; see YUVConversionPaths.h). Reads at most W*H luma bytes and ChromaReadExtent bytes of
// each chroma plane. Allocates nothing. Writes nothing unless the size is supported.
void ConvertYUVToRGB(unsigned char *pRGB, const unsigned char *pY, const unsigned char *pU,
    const unsigned char *pV, int W, int H, TYUVFormat Format, TPlaneSwitches Planes);

} // namespace yuv

#endif // YUVCONVERSION_H
