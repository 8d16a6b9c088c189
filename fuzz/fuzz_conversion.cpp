// Fuzz target for the colour conversion alone. The input chooses a picture size (small and odd
// ones most often, up to 1920 x 1080), a chroma layout, the plane switches and the samples. Every
// instruction-set path this processor runs converts the same planes, and each result must equal
// the scalar path's byte for byte; small pictures are also checked pixel by pixel against the
// independent reference. Planes and outputs lie at the very end of buffers made once for the
// largest picture, so AddressSanitizer reports any read or write past what the conversion may
// touch. Sizes the frame buffers cannot hold must leave the output untouched.
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it):
//   kind:u8, a:u16, b:u16 (see ChooseSize), format:u8 % 3, switches:u8 (bits Y, U, V off),
//   then the sample bytes, repeated over the three planes.

#include "FuzzInput.h"
#include "ReferenceConversion.h"
#include "YUVConversion.h"
#include "YUVConversionPaths.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using testsupport::ReferenceFrame;

namespace {

// Most sizes are small, with odd widths around the vector widths (16 and 32 pixels); one input
// in eight is wide and flat (up to the full width), narrow and tall (up to the full height), any
// shape of up to 16 Ki pixels, or a size the frame buffers cannot hold. The target costs in
// proportion to the area: the largest picture would take thousands of times as long as a small
// one, and adds nothing the edges do not reach.
void ChooseSize(uint8_t kind, uint16_t a, uint16_t b, int &W, int &H)
{
    static const int Refused[] = {0, -1, 1921, 1081, INT_MAX, INT_MIN, 65536};
    constexpr int RefusedCount = sizeof Refused / sizeof Refused[0];
    W = 1 + a % 1920;
    H = 1 + b % 1080;
    switch (kind % 32) {
    case 28: // wide and flat
        H = 1 + b % 4;
        break;
    case 29: // narrow and tall
        W = 1 + a % 8;
        break;
    case 30:
        if (W * H > 16384)
            H = std::max(1, 16384 / W);
        break;
    case 31: // refused: a (or b) odd picks a value the buffers cannot hold
        W = a % 2 ? Refused[(a / 2) % RefusedCount] : 1 + a / 2 % 1920;
        H = b % 2 ? Refused[(b / 2) % RefusedCount] : 1 + b / 2 % 1080;
        if (yuv::IsSupportedSize(W, H))
            H = 0;
        break;
    default: // around one to four vector widths
        W = 1 + a % 136;
        H = 1 + b % 9;
        break;
    }
}

// Fills size bytes from the input's bytes, starting at offset into them; each pass over them is
// shifted so that a short input still gives every sample value somewhere in a large plane.
void Fill(uint8_t *plane, size_t size, const std::string &bytes, size_t offset)
{
    const size_t n = bytes.size();
    size_t i = 0, from = offset % n;
    for (uint8_t shift = 0; i < size; shift += 53, from = 0) {
        for (; from < n && i < size; ++from, ++i)
            plane[i] = static_cast<uint8_t>(bytes[from] + shift);
    }
}

const char *FormatName(TYUVFormat format)
{
    return format == YUV420 ? "4:2:0" : (format == YUV422 ? "4:2:2" : "4:4:4");
}

void CheckAgainstReference(const uint8_t *rgb, const uint8_t *y, const uint8_t *u, const uint8_t *v,
    int W, int H, TYUVFormat format, TPlaneSwitches planes)
{
    const size_t size = 3 * static_cast<size_t>(W) * H;
    std::vector<uint8_t> want(size);
    ReferenceFrame(want, y, u, v, W, H, format, planes);
    const auto diff = std::mismatch(rgb, rgb + size, want.begin());
    if (diff.first != rgb + size) {
        const size_t at = static_cast<size_t>(diff.first - rgb);
        Fail("%dx%d %s: scalar byte %zu is %d, the reference says %d", W, H, FormatName(format), at,
            *diff.first, *diff.second);
    }
}

void CheckRefused(int W, int H, TYUVFormat format)
{
    uint8_t y[16], u[16], v[16], rgb[64];
    std::memset(y, 1, sizeof y);
    std::memset(u, 2, sizeof u);
    std::memset(v, 3, sizeof v);
    std::memset(rgb, 0xa5, sizeof rgb);
    for (yuv::TConversionPath path :
        {yuv::TConversionPath::Scalar, yuv::TConversionPath::SSE41, yuv::TConversionPath::AVX2}) {
        if (!yuv::SetConversionPath(path))
            continue;
        yuv::ConvertYUVToRGB(rgb, y, u, v, W, H, format, {});
        for (uint8_t byte : rgb) {
            if (byte != 0xa5)
                Fail("%d x %d is refused, but the %s path wrote", W, H,
                    yuv::ConversionPathName(path));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TFuzzInput in(data, size);
    const uint8_t kind = in.U8();
    const uint16_t a = in.U16(), b = in.U16();
    const auto format = static_cast<TYUVFormat>(in.U8() % 3);
    const uint8_t off = in.U8();
    const TPlaneSwitches planes {!(off & 1), !(off & 2), !(off & 4)};
    int W = 0, H = 0;
    ChooseSize(kind, a, b, W, H);
    if (!yuv::IsSupportedSize(W, H)) {
        CheckRefused(W, H, format);
        return 0;
    }
    std::string bytes = in.Bytes(size);
    if (bytes.empty())
        bytes = "\x80";

    static TTailBuffer yBuffer(yuv::MaxPlaneSize), uBuffer(yuv::MaxPlaneSize),
        vBuffer(yuv::MaxPlaneSize), scalarBuffer(yuv::MaxRGBSize), pathBuffer(yuv::MaxRGBSize);
    const size_t area = static_cast<size_t>(W) * H;
    const size_t chroma = static_cast<size_t>(yuv::ChromaReadExtent(W, H, format));
    uint8_t *y = yBuffer.At(area), *u = uBuffer.At(chroma), *v = vBuffer.At(chroma);
    Fill(y, area, bytes, 0);
    Fill(u, chroma, bytes, bytes.size() / 3);
    Fill(v, chroma, bytes, 2 * bytes.size() / 3);

    const size_t rgbSize = 3 * area;
    uint8_t *scalar = scalarBuffer.At(rgbSize);
    if (!yuv::SetConversionPath(yuv::TConversionPath::Scalar))
        Fail("the scalar path is not supported");
    yuv::ConvertYUVToRGB(scalar, y, u, v, W, H, format, planes);
    if (area <= 4096)
        CheckAgainstReference(scalar, y, u, v, W, H, format, planes);

    uint8_t *rgb = pathBuffer.At(rgbSize);
    for (yuv::TConversionPath path : {yuv::TConversionPath::SSE41, yuv::TConversionPath::AVX2}) {
        if (!yuv::SetConversionPath(path))
            continue;
        // Every byte starts different from the scalar result, so a byte left unwritten shows.
        for (size_t i = 0; i < rgbSize; ++i)
            rgb[i] = static_cast<uint8_t>(~scalar[i]);
        yuv::ConvertYUVToRGB(rgb, y, u, v, W, H, format, planes);
        if (std::memcmp(rgb, scalar, rgbSize) != 0) {
            const auto diff = std::mismatch(rgb, rgb + rgbSize, scalar);
            const size_t at = static_cast<size_t>(diff.first - rgb);
            const size_t pixel = at / 3;
            Fail("%dx%d %s, planes Y%d U%d V%d: %s byte %zu (column %zu, stored row %zu) is %d,"
                 " the scalar path wrote %d",
                W, H, FormatName(format), planes.Y, planes.U, planes.V,
                yuv::ConversionPathName(path), at, pixel % W, pixel / W, *diff.first, *diff.second);
        }
    }
    return 0;
}
