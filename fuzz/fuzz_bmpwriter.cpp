// Fuzz target for the snapshot writer. The input chooses a picture size (within the frame
// buffers, at their edges, or outside them), the pixels, and what the target name holds before
// the save (nothing, an old file, or a symbolic link to one). The picture is taken from a buffer
// of the frame buffer's full size, as the window passes the view's copy.
//
// A supported size must give a file whose header fields read back as the layout demands, that
// QImage decodes to exactly the source pixels, and that replaced an old file (through a link: its
// target); an unsupported size must be refused with nothing written and an old file untouched.
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it):
//   kind:u8, a:u16, b:u16, target:u8, then the pixel bytes (repeated when short)

#include "BmpWriter.h"
#include "FuzzInput.h"
#include "YUVConversion.h"

#include <QFile>
#include <QImage>
#include <QString>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "fuzz_bmpwriter: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

std::string Root, TargetPath, LinkedPath;

void RemoveRoot()
{
    ::unlink(TargetPath.c_str());
    ::unlink(LinkedPath.c_str());
    ::rmdir(Root.c_str());
}

void MakeRoot()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_bmpwriter.XXXXXX";
    if (!::mkdtemp(templ.data()))
        Fail("cannot make a temporary folder under %s", templ.c_str());
    Root = templ;
    TargetPath = Root + "/snapshot.bmp";
    LinkedPath = Root + "/linked.bmp";
    std::atexit(RemoveRoot);
}

std::string ReadFile(const std::string &path)
{
    std::string out;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            out.append(chunk, n);
        std::fclose(f);
    }
    return out;
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        Fail("cannot write %s", path.c_str());
}

uint32_t Field(const std::string &b, size_t at, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}

// Keeps a size inside the fuzzer's time budget: pictures of up to 64 Ki pixels, which still
// reach every edge (the full width with few rows, the full height with few columns).
void ChooseSize(TFuzzInput &in, int &W, int &H)
{
    static const int Interesting[]
        = {0, -1, 1, 1919, 1920, 1921, 1079, 1080, 1081, INT_MAX, INT_MIN, 65536};
    constexpr int InterestingCount = sizeof Interesting / sizeof Interesting[0];
    const uint8_t kind = in.U8();
    const uint16_t a = in.U16(), b = in.U16();
    if (kind % 4 == 3) {
        W = Interesting[a % InterestingCount];
        H = Interesting[b % InterestingCount];
    } else {
        W = 1 + a % 1920;
        H = 1 + b % 1080;
        if (static_cast<long long>(W) * H > 65536) {
            if (kind & 4)
                W = std::max(1, 65536 / H);
            else
                H = std::max(1, 65536 / W);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (Root.empty())
        MakeRoot();
    TFuzzInput in(data, size);
    int W = 0, H = 0;
    ChooseSize(in, W, H);
    const uint8_t target = in.U8() % 3; // 0 nothing there, 1 an old file, 2 a link to an old file
    std::string pixels = in.Bytes(3 * 1920 * 16);
    if (pixels.empty())
        pixels = "\x01\x80\xfe";

    // The view's buffer: always the largest picture's size, the picture at its start. Made once:
    // clearing 6 MB for every input would cost more than the save.
    static std::vector<unsigned char> buffer(yuv::MaxRGBSize);
    const bool supported = yuv::IsSupportedSize(W, H);
    const size_t picBytes = supported ? static_cast<size_t>(3) * W * H : 0;
    for (size_t i = 0; i < picBytes; ++i)
        buffer[i] = static_cast<unsigned char>(pixels[i % pixels.size()] + i / pixels.size());

    ::unlink(TargetPath.c_str());
    ::unlink(LinkedPath.c_str());
    const std::string old = "old snapshot";
    if (target == 1) {
        WriteFile(TargetPath, old);
    } else if (target == 2) {
        WriteFile(LinkedPath, old);
        if (::symlink("linked.bmp", TargetPath.c_str()) != 0)
            Fail("cannot link %s", TargetPath.c_str());
    }

    const TBmpResult result = WriteBmpFile(QString::fromStdString(TargetPath), buffer.data(), W, H);
    const std::string written = ReadFile(target == 2 ? LinkedPath : TargetPath);
    if (!supported) {
        if (result != TBmpResult::BadSize)
            Fail("%d x %d: %s, expected BadSize", W, H, BmpResultName(result));
        if (written != (target == 0 ? std::string() : old))
            Fail("%d x %d refused, but the file changed", W, H);
        return 0;
    }
    if (result != TBmpResult::Ok)
        Fail("%d x %d: %s", W, H, BmpResultName(result));
    if (target == 2) {
        struct stat st;
        if (::lstat(TargetPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            Fail("the link was replaced by a file");
    }

    const size_t stride = (3 * static_cast<size_t>(W) + 3) / 4 * 4;
    const size_t expectedSize = 54 + stride * H + 2;
    if (written.size() != expectedSize)
        Fail("%d x %d: %zu bytes, expected %zu", W, H, written.size(), expectedSize);
    const struct
    {
        size_t at;
        int size;
        uint32_t value;
    } fields[]
        = {{0, 2, 0x4d42}, {2, 4, static_cast<uint32_t>(expectedSize)}, {6, 4, 0}, {10, 4, 54},
            {14, 4, 40}, {18, 4, static_cast<uint32_t>(W)}, {22, 4, static_cast<uint32_t>(H)},
            {26, 2, 1}, {28, 2, 24}, {30, 4, 0}, {34, 4, static_cast<uint32_t>(stride * H + 2)},
            {38, 4, 2834}, {42, 4, 2834}, {46, 4, 0}, {50, 4, 0}};
    for (const auto &f : fields) {
        if (Field(written, f.at, f.size) != f.value)
            Fail("%d x %d: header field at %zu is %u, expected %u", W, H, f.at,
                Field(written, f.at, f.size), f.value);
    }
    for (int row = 0; row < H; ++row) {
        for (size_t i = 3 * static_cast<size_t>(W); i < stride; ++i) {
            if (written[54 + row * stride + i] != 0)
                Fail("%d x %d: fill byte %zu of row %d is not zero", W, H, i, row);
        }
    }
    if (written[expectedSize - 2] != 0 || written[expectedSize - 1] != 0)
        Fail("%d x %d: the trailer is not zero", W, H);

    const QImage image = QImage::fromData(
        reinterpret_cast<const uchar *>(written.data()), static_cast<int>(written.size()), "BMP");
    if (image.isNull() || image.width() != W || image.height() != H)
        Fail("%d x %d: QImage reads %d x %d", W, H, image.width(), image.height());
    for (int y = 0; y < H; ++y) {
        // Image row y is buffer row H - 1 - y: the buffer holds the bottom row first.
        const unsigned char *src = buffer.data() + 3 * static_cast<size_t>(W) * (H - 1 - y);
        for (int x = 0; x < W; ++x) {
            const QRgb want = qRgb(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
            if (image.pixel(x, y) != want)
                Fail("%d x %d: pixel (%d, %d) is %08x, expected %08x", W, H, x, y,
                    image.pixel(x, y), want);
        }
    }
    return 0;
}
