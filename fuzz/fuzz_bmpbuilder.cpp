// Fuzz target for the snapshot file as the BMP writer lays it out in memory, without the file
// system. The input chooses a picture size (small and odd widths most often, which exercise the
// row fill, up to 1920 x 1080) and the pixels; the built file is read back by our own decoder,
// which checks every header field, the fill and the trailer, and must give back the picture.
// The picture and the file lie at the very end of buffers made once for the largest picture, so
// AddressSanitizer reports any access past them.
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it):
//   kind:u8, a:u16, b:u16 (see ChooseSize), then the pixel bytes, repeated over the picture.

#include "BmpDecoder.h"
#include "BmpWriter.h"
#include "FuzzInput.h"
#include "YUVConversion.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Most pictures are small, every width modulo 4 among them; one input in sixteen is wide and
// flat (up to the full width), narrow and tall (up to the full height), or any shape of up to
// 16 Ki pixels. The target costs in proportion to the area: the largest picture would take
// thousands of times as long as a small one, and adds nothing the edges do not reach.
void ChooseSize(uint8_t kind, uint16_t a, uint16_t b, int &W, int &H)
{
    W = 1 + a % 1920;
    H = 1 + b % 1080;
    switch (kind % 16) {
    case 13: // wide and flat
        H = 1 + b % 2;
        break;
    case 14: // narrow and tall
        W = 1 + a % 4;
        break;
    case 15:
        if (W * H > 16384)
            H = std::max(1, 16384 / W);
        break;
    default:
        W = 1 + a % 64;
        H = 1 + b % 16;
        break;
    }
}

constexpr size_t MaxStride = (3 * yuv::MaxWidth + 3) / 4 * 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TFuzzInput in(data, size);
    const uint8_t kind = in.U8();
    const uint16_t a = in.U16(), b = in.U16();
    int W = 0, H = 0;
    ChooseSize(kind, a, b, W, H);
    std::string bytes = in.Bytes(size);
    if (bytes.empty())
        bytes = "\x01\x80\xfe";

    static TTailBuffer pictureBuffer(yuv::MaxRGBSize),
        fileBuffer(54 + MaxStride * yuv::MaxHeight + 2);
    const size_t pictureSize = 3 * static_cast<size_t>(W) * H;
    uint8_t *picture = pictureBuffer.At(pictureSize);
    // Each pass over the input's bytes is shifted, so that short inputs still vary the picture.
    size_t i = 0;
    for (uint8_t shift = 0; i < pictureSize; ++shift) {
        for (size_t from = 0; from < bytes.size() && i < pictureSize; ++from, ++i)
            picture[i] = static_cast<uint8_t>(bytes[from] + shift);
    }

    const size_t stride = (3 * static_cast<size_t>(W) + 3) / 4 * 4;
    const size_t fileSize = 54 + stride * H + 2;
    uint8_t *file = fileBuffer.At(fileSize);
    BuildBmpFile(file, picture, W, H, stride);

    const std::string error = testsupport::CheckSnapshotBmp(file, fileSize, picture, W, H);
    if (!error.empty()) {
        std::fprintf(stderr, "fuzz_bmpbuilder: %d x %d: %s\n", W, H, error.c_str());
        std::abort();
    }
    return 0;
}
