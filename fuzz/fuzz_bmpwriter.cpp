// Fuzz target for the snapshot writer. The input chooses a picture size (within the frame
// buffers, at their edges, or outside them), the pixels, and what the target name holds before
// the save (nothing, an old file, or a symbolic link to one). The picture is taken from a buffer
// of the frame buffer's full size, as the window passes the view's copy.
//
// A supported size must give a file that the test decoder (tests/support/BmpDecoder.h) reads back
// to exactly the source pixels, with every header field as the layout demands, and that replaced
// an old file (through a link: its target); an unsupported size must be refused with nothing
// written and an old file untouched. fuzz_bmpbuilder covers the file's layout far faster; this
// target is about the way to the disk.
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it):
//   kind:u8, a:u16, b:u16, target:u8, then the pixel bytes (repeated when short)

#include "BmpDecoder.h"
#include "BmpWriter.h"
#include "FuzzInput.h"
#include "YUVConversion.h"

#include <QString>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Root, TargetPath, LinkedPath;

void RemoveRoot()
{
    ::unlink(TargetPath.c_str());
    ::unlink(LinkedPath.c_str());
    ::rmdir(Root.c_str());
}

void MakeRoot()
{
    Root = MakeTemporaryFolder("fuzz_bmpwriter");
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

    const TBmpResult result
        = WriteBmpFile(QByteArray::fromStdString(TargetPath), buffer.data(), W, H);
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

    const std::string error = testsupport::CheckSnapshotBmp(
        reinterpret_cast<const uint8_t *>(written.data()), written.size(), buffer.data(), W, H);
    if (!error.empty())
        Fail("%d x %d: %s", W, H, error.c_str());
    return 0;
}
