// Fuzz target for the frame source. The input chooses a picture geometry and chroma layout, the
// stream file's bytes and length, and a series of operations on a TYUVReader: navigation, plane
// switches, new parameters (sizes the buffers cannot hold among them, and a position change from
// inside NewPictureParams as the window's slider makes), opening and closing, and changes to the
// file on disk while it is open (truncation, appends, overwrites, replacement by another file, a
// sparse extension past 4 GiB).
//
// A model of the reader runs beside it and predicts every signal, every position and every frame:
// the frame in the RGB buffer must equal the independent reference conversion of the bytes the
// model says were read. Nothing in the RGB buffer past the picture may change, NewFrameReady must
// carry the reader's own buffer, and the reader holds exactly one descriptor while a file is open.
// Any difference aborts with a message, which libFuzzer reports as a crash.
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it): geometry, file, operations.
//   geometry  kind:u8, then two u8 (see ConsumeGeometry), format:u8 % 4 (3 is no layout)
//   file      length of the bytes:u16 % 4097, the bytes, padded length:u32 (sparse zeros)
//   each op   code:u8 % 17 and its arguments (see RunOperation)

#include "FuzzInput.h"
#include "ReferenceConversion.h"
#include "TYUVReader.h"

#include <QObject>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "fuzz_yuvreader: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

// The sandbox folder, made once per process and removed at exit.
std::string Root;
std::string StreamPath, MissingPath, FolderPath, SparePath;

void RemoveRoot()
{
    ::unlink(StreamPath.c_str());
    ::unlink(SparePath.c_str());
    ::rmdir(FolderPath.c_str());
    ::rmdir(Root.c_str());
}

void MakeRoot()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_yuvreader.XXXXXX";
    if (!::mkdtemp(templ.data()))
        Fail("cannot make a temporary folder under %s", templ.c_str());
    Root = templ;
    StreamPath = Root + "/stream.yuv";
    MissingPath = Root + "/missing.yuv";
    FolderPath = Root + "/folder";
    SparePath = Root + "/replacement.yuv";
    if (::mkdir(FolderPath.c_str(), 0700) != 0)
        Fail("cannot make %s", FolderPath.c_str());
    std::atexit(RemoveRoot);
}

// Descriptors among the low numbers, where a leaked stream would show.
int OpenDescriptors()
{
    int count = 0;
    for (int fd = 0; fd < 64; ++fd)
        count += ::fcntl(fd, F_GETFD) != -1;
    return count;
}

// A file as the model knows it: its length and the bytes written into it, later writes over
// earlier ones; bytes inside the length that no write covers read as zero (a sparse hole).
struct TInode
{
    long long Size = 0;
    std::vector<std::pair<long long, std::string>> Writes;

    void Write(long long at, const std::string &bytes)
    {
        if (bytes.empty())
            return;
        Writes.emplace_back(at, bytes);
        Size = std::max(Size, at + static_cast<long long>(bytes.size()));
    }
    void Truncate(long long size)
    {
        Size = size;
        for (auto &[at, bytes] : Writes) {
            if (at >= size)
                bytes.clear();
            else if (at + static_cast<long long>(bytes.size()) > size)
                bytes.resize(static_cast<size_t>(size - at));
        }
    }
    // count bytes from offset at as a read sees them; fill where the file has ended.
    std::vector<uint8_t> Read(long long at, int count, uint8_t fill) const
    {
        const long long inFile = std::clamp<long long>(Size - at, 0, count);
        std::vector<uint8_t> out(static_cast<size_t>(count), fill);
        std::fill(out.begin(), out.begin() + inFile, 0);
        for (const auto &[wAt, bytes] : Writes) {
            const long long from = std::max(at, wAt);
            const long long to = std::min<long long>(
                {at + count, wAt + static_cast<long long>(bytes.size()), Size});
            if (from < to)
                std::memcpy(out.data() + (from - at), bytes.data() + (from - wAt),
                    static_cast<size_t>(to - from));
        }
        return out;
    }
};

// Writes the inode's content to path as a new file (sparse where the model has holes).
void WriteFile(const std::string &path, const TInode &inode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        Fail("cannot create %s", path.c_str());
    bool ok = ::ftruncate(fd, inode.Size) == 0;
    for (const auto &[at, bytes] : inode.Writes)
        ok = ok
            && ::pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
    if (::close(fd) != 0 || !ok)
        Fail("cannot write %s", path.c_str());
}

struct TGeometry
{
    int W = 0;
    int H = 0;
    TYUVFormat Format = YUV420;
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
    case 7: // edge and invalid values
        g.W = Interesting[a % InterestingCount];
        g.H = Interesting[b % InterestingCount];
        break;
    default: // small pictures, odd and even
        g.W = 1 + a % 32;
        g.H = 1 + b % 32;
        break;
    }
    if (kind == 255) { // the largest picture, rarely
        g.W = 1920;
        g.H = 1080;
    }
    // The enumeration's range is 0..3; 3 is no layout and must be read as 4:2:0.
    g.Format = static_cast<TYUVFormat>(in.U8() % 4);
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
    int YSize = 0, UVSize = 0, FrameSize = 0;
    bool Y = true, U = true, V = true;
};

// The reader reads a value that is no layout as 4:2:0.
TYUVFormat NormalFormat(TYUVFormat f)
{
    return f == YUV422 || f == YUV444 ? f : YUV420;
}

int ChromaSize(int W, int H, TYUVFormat format)
{
    return format == YUV420 ? (W * H) / 4 : (format == YUV422 ? (W * H) / 2 : W * H);
}

// Checks the frame the reader shows at the model's position: the planes read in file order from
// the open file, a missing luma byte read as 0 and a missing chroma byte as 128, converted pixel by
// pixel with the independent reference; the chroma of the last pixels may lie past the stored
// plane (odd sizes), and reads as 128 there too. Large pictures are checked on a few rows (the
// edges and the middle), which keeps the target fast.
void CheckFrame(const TModel &m, const uint8_t *rgb, const char *name)
{
    if (m.W < 1 || m.H < 1)
        return; // opened but not yet described: nothing is converted
    const int sx = m.Format == YUV444 ? 0 : 1, sy = m.Format == YUV420 ? 1 : 0;
    const long long at = static_cast<long long>(std::max(0, m.Pos)) * m.FrameSize;
    const std::vector<uint8_t> y = m.Open->Read(at, m.YSize, 0);
    const std::vector<uint8_t> u = m.Open->Read(at + m.YSize, m.UVSize, 128);
    const std::vector<uint8_t> v = m.Open->Read(at + m.YSize + m.UVSize, m.UVSize, 128);
    std::vector<int> rows;
    if (m.W * m.H <= 65536) {
        for (int row = 0; row < m.H; ++row)
            rows.push_back(row);
    } else {
        rows = {0, 1, m.H / 2, m.H - 2, m.H - 1};
    }
    for (int row : rows) {
        for (int x = 0; x < m.W; ++x) {
            // The chroma sample of a pixel, from the layout's definition.
            const size_t c = static_cast<size_t>(row >> sy) * (m.W >> sx) + (x >> sx);
            const TRGB want = ReferencePixel(y[static_cast<size_t>(row) * m.W + x],
                c < u.size() ? u[c] : 128, c < v.size() ? v[c] : 128, {m.Y, m.U, m.V});
            // Rows are stored bottom-up.
            const uint8_t *got = rgb + 3 * (static_cast<size_t>(m.W) * (m.H - 1 - row) + x);
            if (got[0] != want.R || got[1] != want.G || got[2] != want.B)
                Fail("%s: frame %d (%dx%d, layout %d), pixel (%d, %d) from the top is (%d, %d, %d),"
                     " expected (%d, %d, %d)",
                    name, m.Pos, m.W, m.H, m.Format, x, row, got[0], got[1], got[2], want.R, want.G,
                    want.B);
        }
    }
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
    TRun()
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
        Descriptors = OpenDescriptors();
    }

    void Start(TFuzzInput &in)
    {
        const TGeometry g = ConsumeGeometry(in);
        auto inode = std::make_shared<TInode>();
        inode->Write(0, in.Bytes(in.U16() % 4097));
        const long long frame = yuv::IsSupportedSize(g.W, g.H)
            ? g.W * g.H + 2 * ChromaSize(g.W, g.H, NormalFormat(g.Format))
            : 64;
        const long long padded = in.U32() % (8 * std::min(frame, 1LL << 20) + 1);
        if (padded > inode->Size)
            inode->Truncate(padded);
        WriteFile(StreamPath, *inode);
        M.AtPath = inode;
        Open(0);
        SetFileParams(g, false, 0);
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
            Op(
                "Next", [&] { ModelNext(); }, [&] { Reader.Next(); });
            break;
        case 2:
            Op(
                "Previous", [&] { ModelPrevious(); }, [&] { Reader.Previous(); });
            break;
        case 3:
            Op(
                "Start", [&] { ModelStart(); }, [&] { Reader.Start(); });
            break;
        case 4:
            Op(
                "End", [&] { ModelEnd(); }, [&] { Reader.End(); });
            break;
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
            SetFileParams(g, r & 1, in.S8());
            break;
        }
        case 9:
            Open(in.U8() % 3);
            break;
        case 10:
            Op(
                "CloseFile",
                [&] {
                    M.Open = nullptr;
                    M.Pos = 0;
                },
                [&] { Reader.CloseFile(); });
            break;
        case 11: {
            const long long size = in.U32() % (M.AtPath->Size + std::max(M.FrameSize, 1) + 1);
            if (::truncate(StreamPath.c_str(), size) != 0)
                Fail("cannot truncate %s", StreamPath.c_str());
            M.AtPath->Truncate(size);
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
            WriteFile(SparePath, *inode);
            if (::rename(SparePath.c_str(), StreamPath.c_str()) != 0)
                Fail("cannot rename over %s", StreamPath.c_str());
            M.AtPath = inode;
            break;
        }
        case 15: {
            const long long size = (1LL << 32) + in.U16();
            if (::truncate(StreamPath.c_str(), size) != 0)
                Fail("cannot extend %s", StreamPath.c_str());
            M.AtPath->Truncate(size);
            break;
        }
        default:
            // New parameters equal to the current ones recount the frames (the Settings button).
            SetFileParams({M.W, M.H, M.Format}, false, 0);
            break;
        }
    }

    TYUVReader Reader;
    TModel M;

private:
    // Runs one operation on the model, which says what the reader must emit, then on the reader,
    // and checks everything observable.
    void Op(
        const char *name, const std::function<void()> &model, const std::function<void()> &reader)
    {
        PlaceSentinels();
        Log.clear();
        Expected.clear();
        Loaded = false;
        model();
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
        const int fds = OpenDescriptors();
        if (fds != Descriptors + (M.Open ? 1 : 0))
            Fail("%s: %d descriptors open, expected %d", name, fds, Descriptors + (M.Open ? 1 : 0));
        CheckSentinels(name);
        if (Loaded)
            CheckFrame(M, Reader.GetRGBBuffer(), name);
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
        const int fd = ::open(StreamPath.c_str(), O_WRONLY);
        if (fd < 0
            || ::pwrite(fd, bytes.data(), bytes.size(), at) != static_cast<ssize_t>(bytes.size())
            || ::close(fd) != 0)
            Fail("cannot write %zu bytes at %lld into %s", bytes.size(), at, StreamPath.c_str());
        M.AtPath->Write(at, bytes);
    }

    void Open(int which)
    {
        const std::string &path = which == 0 ? StreamPath : (which == 1 ? MissingPath : FolderPath);
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
        M.YSize = M.W * M.H;
        M.UVSize = ChromaSize(M.W, M.H, M.Format);
        M.FrameSize = M.YSize + 2 * M.UVSize;
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

    QObject Context;
    std::vector<std::string> Log, Expected;
    std::optional<int> Reentry;
    bool Loaded = false;
    int Descriptors = 0;
    size_t GuardFrom = 0;
    static constexpr size_t GuardSize = 512;
    static constexpr size_t MaxRGB = yuv::MaxRGBSize;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (Root.empty())
        MakeRoot();
    TFuzzInput in(data, size);
    {
        TRun run;
        run.Start(in);
        for (int n = 0; n < 100 && !in.Empty(); ++n)
            run.RunOperation(in);
    }
    return 0;
}
