// Fuzz target for the frame source. The input chooses a picture geometry and chroma layout, the
// stream file's bytes and length, and a series of operations on a TYUVReader: navigation, plane
// switches, new parameters (sizes the buffers cannot hold among them, and a position change from
// inside NewPictureParams as the window's slider makes), opening and closing, and changes to the
// file while it is open (truncation, appends, overwrites, replacement by another file, a sparse
// extension past 4 GiB).
//
// A model of the reader runs beside it and predicts every signal, every position and every frame:
// the frame in the RGB buffer must equal the reference conversion (tests/support) of the bytes the
// model says were read. Nothing in the RGB buffer past the picture may change, NewFrameReady must
// carry the reader's own buffer, and the reader holds exactly one descriptor while a file is open.
// Any difference aborts with a message, which libFuzzer reports as a crash.
//
// Speed: one reader serves every input (its frame buffers are 12 MB) and the stream is a memory
// file named /proc/self/fd/N that lives as long as the process; another file takes the name by
// dup2. Each input starts the same way whatever came before: the file closed, every plane on,
// then opened and described by the input's geometry. When that geometry is refused, the reader is
// first described as 1 x 1; but when the refused geometry's format byte is exactly 3, a second
// reader takes the input, one that is never given a geometry it accepts, so that the state
// before the first description is fuzzed too. An input runs at most 40 operations, and stops
// early once a million pixels were converted (large pictures).
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it): geometry, file, operations.
//   geometry  kind:u8, then two u8 (see ConsumeGeometry), format:u8 % 4 (3 is no layout)
//   file      length of the bytes:u16 % 4097, the bytes, padded length:u32 (sparse zeros)
//   each op   code:u8 % 17 and its arguments (see RunOperation)

#include "FuzzInput.h"
#include "ReaderFuzzFiles.h"
#include "ReaderModel.h"
#include "TYUVReader.h"
#include "YUVConversion.h"

#include <QObject>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace readerfuzz;
using testsupport::TRGB;

struct TGeometry
{
    int W = 0;
    int H = 0;
    TYUVFormat Format = YUV420;
    uint8_t FormatByte = 0; // as the input gave it
};

TGeometry ConsumeGeometry(TFuzzInput &in)
{
    static const int Interesting[]
        = {0, -1, 1, 2, 3, 4, 1919, 1920, 1921, 1079, 1080, 1081, 65536, INT_MAX, INT_MIN, 2073600};
    constexpr int InterestingCount = sizeof Interesting / sizeof Interesting[0];
    const uint8_t kind = in.U8();
    const uint8_t a = in.U8(), b = in.U8();
    TGeometry g;
    switch (kind % 8) {
    case 5: // at the width limit, a few rows
        g.W = 1920 - a % 32;
        g.H = 1 + b % 4;
        break;
    case 6: // at the height limit, a few columns
        g.W = 1 + a % 4;
        g.H = 1080 - b % 32;
        break;
    case 7: // edge and invalid values; a large picture keeps a few rows, for speed
        g.W = Interesting[a % InterestingCount];
        g.H = Interesting[b % InterestingCount];
        if (yuv::IsSupportedSize(g.W, g.H) && g.W * g.H > 65536)
            g.H = 1 + b % 4;
        break;
    default: // small pictures, odd and even
        g.W = 1 + a % 32;
        g.H = 1 + b % 32;
        break;
    }
    if (kind == 255 && a == 255 && b == 255) { // the largest picture, rarely: it is slow
        g.W = 1920;
        g.H = 1080;
    }
    // The enumeration's range is 0..3; 3 is no layout and must be read as 4:2:0.
    g.FormatByte = in.U8();
    g.Format = static_cast<TYUVFormat>(g.FormatByte % 4);
    return g;
}

// The reader as it must behave, and the files as they are.
struct TModel
{
    std::shared_ptr<TInode> AtPath; // what the stream's name holds now
    std::shared_ptr<TInode> Open; // what the reader has open; null when closed
    int W = 0, H = 0;
    TYUVFormat Format = YUV444;
    int Count = -1, Pos = -1;
    int FrameSize = 0;
    bool Y = true, U = true, V = true;
};

// The reader reads a value that is no layout as 4:2:0.
TYUVFormat NormalFormat(TYUVFormat f)
{
    return f == YUV422 || f == YUV444 ? f : YUV420;
}

// The frame the reader must show at the model's position: the planes read in file order from the
// open file, a missing luma byte read as 0 and a missing chroma byte as 128, converted pixel by
// pixel with the independent reference.
testsupport::TModelFrame ModelFrame(const TModel &m)
{
    const std::shared_ptr<TInode> file = m.Open;
    return testsupport::TModelFrame(
        [file](qint64 at, int count, uint8_t fill) { return file->Read(at, count, fill); },
        {m.W, m.H, m.Format}, m.Pos, {m.Y, m.U, m.V});
}

[[noreturn]] void FailPixel(
    const TModel &m, const uint8_t *rgb, size_t at, const TRGB &want, const char *name)
{
    const size_t pixel = at / 3;
    const uint8_t *got = rgb + 3 * pixel;
    Fail("%s: frame %d (%dx%d, layout %d), pixel (%zu, %zu) from the top is (%d, %d, %d), expected"
         " (%d, %d, %d)",
        name, m.Pos, m.W, m.H, m.Format, pixel % m.W, m.H - 1 - pixel / m.W, got[0], got[1], got[2],
        want.R, want.G, want.B);
}

std::string Number(int n)
{
    return "NewFrameNumber(" + std::to_string(n) + ")";
}
std::string Ready(int n)
{
    return "NewFrameReady(" + std::to_string(n) + ")";
}

class TRun
{
public:
    // A reader that must stay undescribed is given no geometry it accepts.
    explicit TRun(bool neverDescribed)
        : NeverDescribed(neverDescribed)
    {
        QObject::connect(&Reader, &TYUVReader::NewFrameReady, &Context, [this](uchar *p, int n) {
            if (p != Reader.GetRGBBuffer())
                Fail("NewFrameReady carries %p, not the reader's buffer %p", static_cast<void *>(p),
                    static_cast<void *>(Reader.GetRGBBuffer()));
            if (n != Reader.GetFramePos())
                Fail("NewFrameReady(%d) while the position is %d", n, Reader.GetFramePos());
            Log.push_back(Ready(n));
        });
        QObject::connect(&Reader, &TYUVReader::NewFrameNumber, &Context, [this](int n) {
            if (n != Reader.GetFramePos())
                Fail("NewFrameNumber(%d) while the position is %d", n, Reader.GetFramePos());
            Log.push_back(Number(n));
        });
        QObject::connect(
            &Reader, &TYUVReader::NewPictureParams, &Context, [this](int w, int h, int last) {
                Log.push_back(Params(w, h, last));
                // As the window's slider does when its range changes.
                if (Reentry)
                    Reader.GotoPos(*Reentry);
            });
        QObject::connect(&Reader, &TYUVReader::EndOfFileReached, &Context,
            [this] { Log.push_back("EndOfFileReached"); });
        QObject::connect(&Reader, &TYUVReader::ErrorOccured, &Context,
            [this](const QString &s) { Log.push_back("ErrorOccured(" + s.toStdString() + ")"); });
        QObject::connect(&Reader, &TYUVReader::ShowWarning, &Context, [this](const QString &s) {
            // A refused size is logged by what it names: the size, and that it is the limits'.
            const QString prefix = QStringLiteral("Unsupported picture size ");
            if (s.startsWith(prefix) && s.contains(QLatin1String("1920"))
                && s.contains(QLatin1String("1080"))) {
                const QString size = s.mid(prefix.size()).section(QLatin1Char(':'), 0, 0);
                Log.push_back("ShowWarning(unsupported " + size.toStdString() + ")");
                return;
            }
            Log.push_back("ShowWarning(" + s.toStdString() + ")");
        });
    }

    // Closes the file in the reader and in the model.
    void Close(const char *name)
    {
        Op(
            name,
            [&] {
                M.Open = nullptr;
                M.Pos = 0;
            },
            [&] { Reader.CloseFile(); });
    }

    // Whether the reader was ever given a geometry.
    bool Described() const { return M.W != 0; }

    // Puts the reader where every input begins (closed, all planes on), gives the stream the
    // input's content, opens it and describes it with the input's geometry. A refused geometry
    // leaves the one before it in place, so that one is set first: 1 x 1 in 4:4:4, or, when the
    // reader was never described, none.
    void Start(const TGeometry &g, TFuzzInput &in)
    {
        Converted = 0;
        Close("CloseFile (reset)");
        for (auto slot :
            {&TYUVReader::SetYEnable, &TYUVReader::SetUEnable, &TYUVReader::SetVEnable})
            Op(
                "SetPlaneEnable", [&] { M.Y = M.U = M.V = true; }, [&] { (Reader.*slot)(2); });
        auto inode = std::make_shared<TInode>();
        inode->Write(0, in.Bytes(in.U16() % 4097));
        const long long frame = yuv::IsSupportedSize(g.W, g.H)
            ? yuv::FrameSize(g.W, g.H, NormalFormat(g.Format))
            : 64;
        const long long padded = in.U32() % (8 * std::min(frame, 1LL << 20) + 1);
        if (padded > inode->Size)
            inode->Truncate(padded);
        WriteContent(StreamFd, *inode);
        inode->Number = InodeNumber(StreamFd);
        M.AtPath = inode;
        Open(0);
        if (!yuv::IsSupportedSize(g.W, g.H) && Described())
            SetFileParams({1, 1, YUV444, 2}, false, 0);
        SetFileParams(g, false, 0);
    }

    // Frame loads convert every pixel; large pictures end an input early to keep the target fast.
    bool WithinBudget() const { return Converted < PixelBudget; }

    // Closes the file, which checks that the reader let go of its descriptor, and frees what the
    // input allocated: libFuzzer takes more allocations than frees in one input for a leak and
    // runs the input again to look for it.
    void Finish()
    {
        Close("CloseFile");
        M.AtPath = nullptr;
        Frames.clear();
        std::vector<std::string>().swap(Log);
        std::vector<std::string>().swap(Expected);
    }

    void RunOperation(TFuzzInput &in)
    {
        const int code = in.U8() % 17;
        switch (code) {
        case 0: {
            int p = 0;
            switch (in.U8() % 4) {
            case 0:
                p = in.S8();
                break;
            case 1:
                p = static_cast<int>(std::min<long long>(
                    static_cast<long long>(M.Count) - 2 + in.U8() % 4, INT_MAX));
                break;
            case 2:
                p = in.S32();
                break;
            default:
                p = static_cast<int>(std::clamp<long long>(
                    static_cast<long long>(M.Pos) + in.S8(), INT_MIN, INT_MAX));
                break;
            }
            Op(
                "GotoPos", [&] { ModelGotoPos(p); }, [&] { Reader.GotoPos(p); });
            break;
        }
        case 1:
        case 2:
        case 3:
        case 4: {
            // The four steps, each a slot of the reader and its counterpart in the model.
            static const struct
            {
                const char *Name;
                void (TRun::*Model)();
                void (TYUVReader::*Slot)();
            } Steps[] = {
                {"Next", &TRun::ModelNext, &TYUVReader::Next},
                {"Previous", &TRun::ModelPrevious, &TYUVReader::Previous},
                {"Start", &TRun::ModelStart, &TYUVReader::Start},
                {"End", &TRun::ModelEnd, &TYUVReader::End},
            };
            const auto &step = Steps[code - 1];
            Op(
                step.Name, [&] { (this->*step.Model)(); }, [&] { (Reader.*step.Slot)(); });
            break;
        }
        case 5:
        case 6:
        case 7: {
            const int state = in.U8() % 4; // 0 unchecked, 1 partially checked, 2 checked, 3 other
            bool &flag = code == 5 ? M.Y : (code == 6 ? M.U : M.V);
            const auto slot = code == 5
                ? &TYUVReader::SetYEnable
                : (code == 6 ? &TYUVReader::SetUEnable : &TYUVReader::SetVEnable);
            Op(
                "SetPlaneEnable",
                [&] {
                    flag = state == 2;
                    if (M.Open) {
                        Loaded = true;
                        Expected.push_back(Ready(M.Pos));
                    }
                },
                [&] { (Reader.*slot)(state); });
            break;
        }
        case 8: {
            const TGeometry g = ConsumeGeometry(in);
            const uint8_t r = in.U8();
            const int8_t reentry = in.S8();
            if (!NeverDescribed || !yuv::IsSupportedSize(g.W, g.H))
                SetFileParams(g, r & 1, reentry);
            break;
        }
        case 9:
            Open(in.U8() % 3);
            break;
        case 10:
            Close("CloseFile");
            break;
        case 11: {
            const long long size = in.U32() % (M.AtPath->Size + std::max(M.FrameSize, 1) + 1);
            if (::ftruncate(StreamFd, size) != 0)
                Fail("cannot truncate the stream");
            M.AtPath->Truncate(size);
            Frames.clear();
            break;
        }
        case 12:
            WriteAt(M.AtPath->Size, in.Bytes(in.U8()));
            break;
        case 13: {
            const uint8_t how = in.U8();
            const long long room = M.AtPath->Size + 1;
            const long long back = in.U16() % room;
            const long long at = how & 1 ? std::max(0LL, M.AtPath->Size - 1 - back) : back;
            WriteAt(at, in.Bytes(in.U8()));
            break;
        }
        case 14: {
            // Another file takes the name; the reader keeps reading the one it opened.
            auto inode = std::make_shared<TInode>();
            inode->Write(0, in.Bytes(in.U16() % 4097));
            const int fd = NewMemoryFile();
            WriteContent(fd, *inode);
            inode->Number = InodeNumber(fd);
            if (::dup2(fd, StreamFd) != StreamFd || ::close(fd) != 0)
                Fail("cannot give the stream's name to another file");
            M.AtPath = inode;
            break;
        }
        case 15: {
            const long long size = (1LL << 32) + in.U16();
            if (::ftruncate(StreamFd, size) != 0)
                Fail("cannot extend the stream");
            M.AtPath->Truncate(size);
            Frames.clear();
            break;
        }
        default:
            // New parameters equal to the current ones recount the frames (the Settings button).
            SetFileParams({M.W, M.H, M.Format, static_cast<uint8_t>(M.Format)}, false, 0);
            break;
        }
    }

private:
    TYUVReader Reader;
    TModel M;

    // Runs one operation on the model, which says what the reader must emit, then on the reader,
    // and checks everything observable.
    void Op(
        const char *name, const std::function<void()> &model, const std::function<void()> &reader)
    {
        PlaceSentinels();
        Log.clear();
        Expected.clear();
        Loaded = false;
        const TModel before = M;
        model();
        if (M.W != before.W || M.H != before.H || M.Format != before.Format
            || M.Open != before.Open)
            Frames.clear();
        reader();
        Check(name);
    }

    void Check(const char *name)
    {
        // FUZZ_TRACE=1 prints every operation and what it emitted, for reading a seed's story.
        static const bool trace = std::getenv("FUZZ_TRACE") != nullptr;
        if (trace) {
            std::string got;
            for (const auto &s : Log)
                got += " " + s;
            std::fprintf(stderr, "%-14s pos %d of %d, %dx%d layout %d, open %d, size %lld:%s\n",
                name, Reader.GetFramePos(), Reader.GetFramesCount(), M.W, M.H, M.Format,
                Reader.isFileOpen(), M.Open ? M.Open->Size : -1LL, got.c_str());
        }
        if (Log != Expected) {
            std::string got, want;
            for (const auto &s : Log)
                got += s + "; ";
            for (const auto &s : Expected)
                want += s + "; ";
            Fail("%s: signals\n  got      %s\n  expected %s", name, got.c_str(), want.c_str());
        }
        if (Reader.GetFramePos() != M.Pos || Reader.GetFramesCount() != M.Count)
            Fail("%s: position %d of %d, expected %d of %d", name, Reader.GetFramePos(),
                Reader.GetFramesCount(), M.Pos, M.Count);
        if (Reader.isFileOpen() != (M.Open != nullptr))
            Fail("%s: isFileOpen() is %d", name, Reader.isFileOpen());
        // The position stays within the frames, or at the values the cases without one give.
        const int c = M.Count;
        if (c >= 1 ? (M.Pos < 0 || M.Pos >= c) : (M.Pos < c - 1 || M.Pos > 0))
            Fail("%s: position %d outside the range for %d frames", name, M.Pos, c);
        // Scanning the descriptors costs a system call for each: only after opening and closing.
        if (std::strcmp(name, "OpenFile") == 0 || std::strcmp(name, "CloseFile") == 0) {
            const std::vector<ino_t> fds = ReaderDescriptors();
            if (fds.size() != (M.Open ? 1U : 0U) || (M.Open && fds[0] != M.Open->Number))
                Fail("%s: the reader holds %zu descriptors, expected %d", name, fds.size(),
                    M.Open ? 1 : 0);
        }
        CheckSentinels(name);
        if (Loaded)
            CheckFrame(name);
    }

    // Small pictures are compared whole, their expected frames kept until the file or the
    // geometry changes; large ones on a few rows (the edges and the middle).
    void CheckFrame(const char *name)
    {
        if (M.W < 1 || M.H < 1)
            return; // opened but not yet described: nothing is converted
        Converted += static_cast<long long>(M.W) * M.H;
        const uint8_t *rgb = Reader.GetRGBBuffer();
        if (M.W * M.H <= 65536) {
            const long long key = 8LL * M.Pos + 4 * M.Y + 2 * M.U + M.V;
            auto cached = Frames.find(key);
            if (cached == Frames.end())
                cached = Frames.emplace(key, ModelFrame(M).Rgb()).first;
            const QByteArray &want = cached->second;
            if (std::memcmp(rgb, want.constData(), static_cast<size_t>(want.size())) == 0)
                return;
            size_t at = 0;
            while (rgb[at] == static_cast<uint8_t>(want[static_cast<qsizetype>(at)]))
                ++at;
            at -= at % 3;
            const auto *p = reinterpret_cast<const uint8_t *>(want.constData()) + at;
            FailPixel(M, rgb, at, {p[0], p[1], p[2]}, name);
        }
        const testsupport::TModelFrame frame = ModelFrame(M);
        for (int row : {0, 1, M.H / 2, M.H - 2, M.H - 1}) {
            for (int x = 0; x < M.W; ++x) {
                const TRGB want = frame.Pixel(x, row);
                // Rows are stored bottom-up.
                const size_t at = 3 * (static_cast<size_t>(M.W) * (M.H - 1 - row) + x);
                if (rgb[at] != want.R || rgb[at + 1] != want.G || rgb[at + 2] != want.B)
                    FailPixel(M, rgb, at, want, name);
            }
        }
    }

    // Marks the RGB buffer just past the picture and at its very end; no operation may change
    // what lies past the picture it converts.
    void PlaceSentinels()
    {
        uint8_t *rgb = Reader.GetRGBBuffer();
        GuardFrom = static_cast<size_t>(3) * M.W * M.H;
        for (size_t i = GuardFrom; i < std::min(GuardFrom + GuardSize, MaxRGB); ++i)
            rgb[i] = Sentinel(i);
        for (size_t i = std::max(GuardFrom, MaxRGB - GuardSize); i < MaxRGB; ++i)
            rgb[i] = Sentinel(i);
    }
    void CheckSentinels(const char *name)
    {
        const uint8_t *rgb = Reader.GetRGBBuffer();
        const size_t from = std::max(GuardFrom, static_cast<size_t>(3) * M.W * M.H);
        auto check = [&](size_t begin, size_t end) {
            for (size_t i = std::max(begin, from); i < end; ++i) {
                if (rgb[i] != Sentinel(i))
                    Fail("%s: RGB byte %zu past the %dx%d picture changed", name, i, M.W, M.H);
            }
        };
        check(GuardFrom, std::min(GuardFrom + GuardSize, MaxRGB));
        check(MaxRGB - GuardSize, MaxRGB);
    }
    static uint8_t Sentinel(size_t i) { return static_cast<uint8_t>(0xa5 ^ (i * 7)); }

    void WriteAt(long long at, const std::string &bytes)
    {
        if (::pwrite(StreamFd, bytes.data(), bytes.size(), at)
            != static_cast<ssize_t>(bytes.size()))
            Fail("cannot write %zu bytes at %lld into the stream", bytes.size(), at);
        M.AtPath->Write(at, bytes);
        Frames.clear();
    }

    void Open(int which)
    {
        const std::string &path = which == 0 ? StreamPath : (which == 1 ? MissingPath : Root);
        int result = 0;
        Op(
            "OpenFile",
            [&] {
                M.Open = which == 0 ? M.AtPath : nullptr;
                M.Pos = 0;
            },
            [&] { result = Reader.OpenFile(QString::fromStdString(path)); });
        if (result != (which == 0 ? 0 : -1))
            Fail("OpenFile(%s) returned %d", path.c_str(), result);
    }

    void SetFileParams(const TGeometry &g, bool reenter, int reentryPos)
    {
        Op(
            "SetFileParams", [&] { ModelSetFileParams(g, reenter, reentryPos); },
            [&] {
                if (reenter)
                    Reentry = reentryPos;
                Reader.SetFileParams(g.W, g.H, g.Format);
                Reentry.reset();
            });
    }

    // --- the model of the reader's operations ---------------------------------------------------

    void ModelLoadAndAnnounce()
    {
        if (!M.Open)
            return;
        Loaded = true;
        Expected.push_back(Number(M.Pos));
        Expected.push_back(Ready(M.Pos));
    }

    void ModelGotoPos(int p)
    {
        if (p < 0 || p >= M.Count || p == M.Pos)
            return;
        M.Pos = p;
        ModelLoadAndAnnounce();
    }
    void ModelNext()
    {
        if (M.Pos >= M.Count - 1) {
            M.Pos = M.Count - 1;
            Expected.push_back("EndOfFileReached");
            return;
        }
        ++M.Pos;
        ModelLoadAndAnnounce();
    }
    void ModelPrevious()
    {
        if (M.Pos - 1 < 0) {
            M.Pos = 0;
            return;
        }
        --M.Pos;
        ModelLoadAndAnnounce();
    }
    void ModelStart()
    {
        M.Pos = 0;
        ModelLoadAndAnnounce();
    }
    void ModelEnd()
    {
        M.Pos = M.Count - 1;
        if (!M.Open)
            return;
        Loaded = true;
        Expected.push_back("EndOfFileReached");
        Expected.push_back(Number(M.Pos));
        Expected.push_back(Ready(M.Pos));
    }

    void ModelSetFileParams(const TGeometry &g, bool reenter, int reentryPos)
    {
        if (!yuv::IsSupportedSize(g.W, g.H)) {
            // Refused whole: one warning that names the size, nothing else changes.
            Expected.push_back(UnsupportedWarning(g.W, g.H));
            return;
        }
        M.W = g.W;
        M.H = g.H;
        M.Format = NormalFormat(g.Format);
        M.FrameSize = yuv::FrameSize(M.W, M.H, M.Format);
        const long long size = M.Open ? M.Open->Size : 0;
        M.Count = static_cast<int>(std::min<long long>(size / M.FrameSize, INT_MAX));
        if (M.Count == 0)
            Expected.push_back("ShowWarning(File too small. Frame count is 0.)");
        Expected.push_back(Params(M.W, M.H, M.Count - 1));
        if (reenter)
            ModelGotoPos(reentryPos);
        ModelStart();
    }

    static std::string Params(int w, int h, int last)
    {
        return "NewPictureParams(" + std::to_string(w) + "," + std::to_string(h) + ","
            + std::to_string(last) + ")";
    }
    // The warning for a refused size: the text must name both numbers and the limits.
    std::string UnsupportedWarning(int w, int h) const
    {
        return "ShowWarning(unsupported " + std::to_string(w) + " x " + std::to_string(h) + ")";
    }

    const bool NeverDescribed;
    QObject Context;
    std::vector<std::string> Log, Expected;
    // Expected frames by position and plane switches, for the current file and geometry.
    std::map<long long, QByteArray> Frames;
    long long Converted = 0; // pixels converted in this input
    static constexpr long long PixelBudget = 1'000'000;
    std::optional<int> Reentry;
    bool Loaded = false;
    size_t GuardFrom = 0;
    static constexpr size_t GuardSize = 512;
    static constexpr size_t MaxRGB = yuv::MaxRGBSize;
};

} // namespace

// Longer series cost more than they find: libFuzzer's mutations join short ones.
constexpr int MaxOperations = 40;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One reader for inputs that start described, another, never described, for those whose
    // first geometry is refused and whose format byte is exactly 3.
    static std::unique_ptr<TRun> described, undescribed;
    if (StreamFd < 0)
        MakeStream();
    TFuzzInput in(data, size);
    const TGeometry g = ConsumeGeometry(in);
    std::unique_ptr<TRun> &run
        = !yuv::IsSupportedSize(g.W, g.H) && g.FormatByte == 3 ? undescribed : described;
    if (!run)
        run = std::make_unique<TRun>(&run == &undescribed);
    run->Start(g, in);
    for (int n = 0; n < MaxOperations && !in.Empty() && run->WithinBudget(); ++n)
        run->RunOperation(in);
    run->Finish();
    return 0;
}
