#ifndef BMPDECODER_H
#define BMPDECODER_H

// An independent reader of the snapshot files, written from the file format rather than from the
// writer: it parses the headers as a general BMP reader would (the pixel offset, the information
// header's size, the signed height that gives the row order, the bit depth and compression), then
// checks every field the snapshot must carry and decodes the pixels, comparing each with the
// picture that was saved (R, G, B, bottom row first, as in the player's frame buffer). Fill and
// trailer bytes must be zero.

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

namespace bmpdecode {

inline uint32_t Le(const uint8_t *p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace bmpdecode

// What is wrong with file as the snapshot of the W x H picture rgb; empty when nothing is.
inline std::string CheckSnapshotBmp(
    const uint8_t *file, size_t size, const uint8_t *rgb, int W, int H)
{
    using bmpdecode::Le;
    constexpr size_t FileHeader = 14;
    if (size < FileHeader + 40)
        return "shorter than the two headers: " + std::to_string(size) + " bytes";
    if (file[0] != 'B' || file[1] != 'M')
        return "no BM signature";
    const uint32_t pixelOffset = Le(file + 10, 4);
    const uint32_t infoSize = Le(file + 14, 4);
    const auto width = static_cast<int32_t>(Le(file + 18, 4));
    const auto height = static_cast<int32_t>(Le(file + 22, 4));
    const uint32_t bitsPerPixel = Le(file + 28, 2);
    if (infoSize < 40 || pixelOffset < FileHeader + infoSize || bitsPerPixel != 24 || width < 1
        || height == 0 || height == INT32_MIN)
        return "not an uncompressed 24-bit picture: info " + std::to_string(infoSize) + ", offset "
            + std::to_string(pixelOffset) + ", " + std::to_string(bitsPerPixel) + " bits, "
            + std::to_string(width) + " x " + std::to_string(height);
    // A positive height stores the bottom row first; a snapshot must use that order.
    const bool bottomUp = height > 0;
    const uint64_t rows = bottomUp ? static_cast<uint64_t>(height)
                                   : static_cast<uint64_t>(-static_cast<int64_t>(height));
    const uint64_t stride = (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4;
    const uint64_t pixelBytes = stride * rows;
    if (pixelOffset + pixelBytes + 2 != size)
        return "the file holds " + std::to_string(size) + " bytes, the headers describe "
            + std::to_string(pixelOffset + pixelBytes) + " and a 2-byte trailer";
    // The fields every snapshot carries, read at their offsets.
    const struct
    {
        size_t at;
        int bytes;
        uint64_t want;
        const char *name;
    } fields[] = {{2, 4, size, "file size"}, {6, 4, 0, "reserved"}, {10, 4, 54, "pixel offset"},
        {14, 4, 40, "information header size"}, {26, 2, 1, "planes"}, {30, 4, 0, "compression"},
        {34, 4, pixelBytes + 2, "image size"}, {38, 4, 2834, "horizontal resolution"},
        {42, 4, 2834, "vertical resolution"}, {46, 4, 0, "palette size"},
        {50, 4, 0, "important colours"}};
    for (const auto &f : fields) {
        if (Le(file + f.at, f.bytes) != f.want)
            return std::string(f.name) + " at " + std::to_string(f.at) + " is "
                + std::to_string(Le(file + f.at, f.bytes)) + ", expected " + std::to_string(f.want);
    }
    if (!bottomUp)
        return "rows stored top-down (negative height)";
    if (file[size - 2] != 0 || file[size - 1] != 0)
        return "the trailer is not zero";

    if (width != W || rows != static_cast<uint64_t>(H))
        return "the file holds a " + std::to_string(width) + " x " + std::to_string(rows)
            + " picture, not " + std::to_string(W) + " x " + std::to_string(H);
    const size_t packed = 3 * static_cast<size_t>(width);
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t *src = file + pixelOffset + r * stride;
        const uint8_t *want = rgb + r * packed; // the file's rows, like the buffer's, bottom first
        for (size_t i = 0; i < packed; i += 3) {
            if (src[i + 2] != want[i] || src[i + 1] != want[i + 1] || src[i] != want[i + 2])
                return "pixel " + std::to_string(i / 3) + " of file row " + std::to_string(r)
                    + " differs from the picture";
        }
        for (size_t i = packed; i < stride; ++i) {
            if (src[i] != 0)
                return "fill byte " + std::to_string(i) + " of file row " + std::to_string(r)
                    + " is not zero";
        }
    }
    return {};
}

} // namespace testsupport

#endif // BMPDECODER_H
