// Playback through the real main window, as the user drives it: a generated 1920 x 1080 4:2:0
// stream is opened with the parameters dialog answered in code, then played at several frame
// rates, each for a few seconds of the application's own event loop. For each rate it reports
//   - the achieved frame rate (from the first to the last frame of the run, and frames over the
//     whole wall time of the run) and its ratio to the timer's rate 1000 / interval;
//   - whether every tick painted (paintGL runs and window compositions against frames shown);
//   - where a tick's time goes: reading and converting the frame (with the slider and the
//     counter), the view's copy and paint, and the composition and present of the window;
//   - the CPU time per frame of the process and of the GUI thread, and the page faults;
//   - the heap allocations per frame on the GUI thread and on other threads during the steady
//     part of the run.
// Then, in runs of their own:
//   - DrawFrame against the route it replaced (repaint(), and the posted update request only
//     when Qt deferred the paint), interleaved, at 25 and 60 frames per second;
//   - the call sites of the GUI thread's allocations, charged to the innermost function of the
//     player on each stack (recording stacks is slow, so these runs are not timed);
//   - with playback stopped, the latency from a Right key press to the new frame being on
//     screen: through QTest (a synthetic key event delivered at once) and, when the X test
//     extension can be loaded, as a real key event travelling through the X server.
//
// Needs an X server with OpenGL (the view cannot run on the offscreen platform):
//
//     xvfb-run -a ./bench_playback [--seconds S] [--frames N] [--rates 25,30,60,1000]
//                                  [--size WxH] [--presses N] [--sites N] [--compare ROUNDS]
//
// The stream (N frames, 3,110,400 bytes each at 1920 x 1080) is written to a temporary folder and
// removed at the end; when the disk has too little room, 720 x 576 is used and said so.

#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "YUVConversion.h"
#include "mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QOpenGLContext>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fstream>
#include <functional>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <vector>

#ifndef BENCH_BUILD_TYPE
#define BENCH_BUILD_TYPE "unknown"
#endif
#ifndef BENCH_CXX_FLAGS
#define BENCH_CXX_FLAGS "unknown"
#endif

// The allocation counter replaces the C allocator's entry points; a sanitizer brings its own, so
// the count is left out of such builds.
#if defined(__SANITIZE_ADDRESS__)
#define BENCH_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BENCH_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef BENCH_COUNT_ALLOCATIONS
#define BENCH_COUNT_ALLOCATIONS 1
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// --- Allocation counting --------------------------------------------------------------------

// While counting is on, every allocation is counted, split by thread; those on the GUI thread
// also have their call stack recorded, grouped by identical stacks.
constexpr int StackDepth = 48;
constexpr int MaxSites = 512;

struct TAllocSite
{
    void *Frames[StackDepth];
    int Depth;
    unsigned long long Count;
    unsigned long long Bytes;
};

std::atomic<bool> Counting {false};
// Recording stacks costs microseconds an allocation: it is left out of the timed runs.
bool RecordStacks = false;
std::atomic<unsigned long long> GuiAllocs {0};
std::atomic<unsigned long long> GuiBytes {0};
std::atomic<unsigned long long> OtherAllocs {0};
std::atomic<unsigned long long> OtherBytes {0};
pthread_t GuiThread;
thread_local bool InHook = false;
TAllocSite Sites[MaxSites];
int SiteCount = 0;
unsigned long long UnrecordedSites = 0;

} // namespace

// Kept out of line and exported under their own names, so that the call-site report can skip
// them by name.
extern "C" __attribute__((noinline)) void BenchPlaybackRecordStack(size_t bytes)
{
    void *frames[StackDepth];
    const int depth = backtrace(frames, StackDepth);
    for (int i = 0; i < SiteCount; ++i) {
        TAllocSite &s = Sites[i];
        if (s.Depth == depth && std::memcmp(s.Frames, frames, sizeof(void *) * depth) == 0) {
            ++s.Count;
            s.Bytes += bytes;
            return;
        }
    }
    if (SiteCount == MaxSites) {
        ++UnrecordedSites;
        return;
    }
    TAllocSite &s = Sites[SiteCount++];
    std::memcpy(s.Frames, frames, sizeof(void *) * depth);
    s.Depth = depth;
    s.Count = 1;
    s.Bytes = bytes;
}

extern "C" __attribute__((noinline)) void BenchPlaybackCountAllocation(size_t bytes)
{
    if (!Counting.load(std::memory_order_relaxed) || InHook)
        return;
    InHook = true;
    if (pthread_equal(pthread_self(), GuiThread)) {
        GuiAllocs.fetch_add(1, std::memory_order_relaxed);
        GuiBytes.fetch_add(bytes, std::memory_order_relaxed);
        if (RecordStacks)
            BenchPlaybackRecordStack(bytes);
    } else {
        OtherAllocs.fetch_add(1, std::memory_order_relaxed);
        OtherBytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    InHook = false;
}

namespace {

void ResetAllocationCounts()
{
    GuiAllocs = 0;
    GuiBytes = 0;
    OtherAllocs = 0;
    OtherBytes = 0;
    SiteCount = 0;
    UnrecordedSites = 0;
}

std::string Demangled(const char *name)
{
    int status = 0;
    char *d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string out = status == 0 && d ? d : name;
    std::free(d);
    // Long template and argument lists say little here.
    const size_t paren = out.find('(');
    if (paren != std::string::npos)
        out.erase(paren);
    return out;
}

// A frame of an allocation stack as "function (library)", or the address when it has no name.
std::string DescribeFrame(void *address)
{
    Dl_info info {};
    if (!dladdr(address, &info))
        return "?";
    const char *lib = info.dli_fname ? std::strrchr(info.dli_fname, '/') : nullptr;
    std::string where = lib ? lib + 1 : (info.dli_fname ? info.dli_fname : "?");
    if (!info.dli_sname) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "+0x%lx",
            static_cast<unsigned long>(
                static_cast<char *>(address) - static_cast<char *>(info.dli_fbase)));
        return where + buf;
    }
    return Demangled(info.dli_sname) + " (" + where + ")";
}

// The frames that name the caller: past the counting hook, the allocator and operator new.
bool IsAllocatorFrame(const std::string &f)
{
    static const char *const names[] = {"BenchPlayback", "malloc", "calloc", "realloc", "memalign",
        "operator new", "aligned_alloc"};
    return std::any_of(std::begin(names), std::end(names),
        [&](const char *n) { return f.find(n) != std::string::npos; });
}

void PrintAllocationSite(const TAllocSite &s, int frames, int framesShown)
{
    std::printf(
        "    %6.2f/frame %9.0f B/frame:", double(s.Count) / frames, double(s.Bytes) / frames);
    int printed = 0;
    for (int f = 1; f < s.Depth && printed < framesShown; ++f) {
        const std::string d = DescribeFrame(s.Frames[f]);
        if (printed == 0 && IsAllocatorFrame(d))
            continue;
        std::printf("%s %s", printed ? " <" : "", d.c_str());
        ++printed;
    }
    std::printf("\n");
}

// The most frequent call sites, then every site of large blocks (64 KiB and more).
void PrintAllocationSites(int frames, int maxSites, int framesShown)
{
    std::vector<const TAllocSite *> order;
    for (int i = 0; i < SiteCount; ++i)
        order.push_back(&Sites[i]);
    std::sort(order.begin(), order.end(),
        [](const TAllocSite *a, const TAllocSite *b) { return a->Count > b->Count; });
    const int shown = std::min<int>(maxSites, static_cast<int>(order.size()));
    for (int i = 0; i < shown; ++i)
        PrintAllocationSite(*order[i], frames, framesShown);
    if (static_cast<int>(order.size()) > shown)
        std::printf("    ... %d more call sites\n", static_cast<int>(order.size()) - shown);
    std::sort(order.begin(), order.end(),
        [](const TAllocSite *a, const TAllocSite *b) { return a->Bytes > b->Bytes; });
    std::printf("    large blocks:\n");
    for (const TAllocSite *s : order)
        if (s->Bytes >= 65536 * s->Count)
            PrintAllocationSite(*s, frames, framesShown);
    if (UnrecordedSites)
        std::printf("    (%llu allocations past the site table)\n", UnrecordedSites);
}

// The player's own code in a stack: its classes and the conversion, linked into this program, as
// opposed to Qt, the GL driver and this benchmark.
bool IsOwnFrame(const std::string &f)
{
    static const char *const own[] = {"TOGLWidget::", "TYUVReader::", "TMainWindow::",
        "TActiveLabel::", "TParamDialog::", "TGotoDialog::", "yuv::"};
    return f.find("(bench_playback)") != std::string::npos
        && std::any_of(
            std::begin(own), std::end(own), [&](const char *n) { return f.rfind(n, 0) == 0; });
}

// Every allocation charged to the innermost function of the player's own code on its stack,
// with the function that it called (Qt, the driver, the C library...) to say where the
// allocation really happens. Allocations with no own code on the stack are counted apart.
void PrintOwnCodeAttribution(int frames)
{
    struct TEntry
    {
        std::string Own, Callee;
        unsigned long long Count = 0, Bytes = 0;
    };
    std::vector<TEntry> entries;
    unsigned long long without = 0, withoutBytes = 0;
    for (int i = 0; i < SiteCount; ++i) {
        const TAllocSite &s = Sites[i];
        std::string callee = "?", own;
        for (int f = 1; f < s.Depth; ++f) {
            const std::string d = DescribeFrame(s.Frames[f]);
            if (IsOwnFrame(d)) {
                own = d.substr(0, d.find(" ("));
                break;
            }
            if (!IsAllocatorFrame(d))
                callee = d;
        }
        if (own.empty()) {
            without += s.Count;
            withoutBytes += s.Bytes;
            continue;
        }
        auto it = std::find_if(entries.begin(), entries.end(),
            [&](const TEntry &e) { return e.Own == own && e.Callee == callee; });
        if (it == entries.end()) {
            entries.push_back({own, callee});
            it = entries.end() - 1;
        }
        it->Count += s.Count;
        it->Bytes += s.Bytes;
    }
    std::sort(entries.begin(), entries.end(),
        [](const TEntry &a, const TEntry &b) { return a.Count > b.Count; });
    for (const TEntry &e : entries)
        std::printf("    %6.2f/frame %9.0f B/frame: %s -> %s\n", double(e.Count) / frames,
            double(e.Bytes) / frames, e.Own.c_str(), e.Callee.c_str());
    std::printf("    %6.2f/frame %9.0f B/frame: no code of the player on the stack (event loop, "
                "X connection)\n",
        double(without) / frames, double(withoutBytes) / frames);
}

// --- The stream ------------------------------------------------------------------------------

// Frames of real picture data: moving gradients with per-pixel noise in all three planes, so
// that no frame repeats and no plane is flat.
bool WriteStream(const QString &path, int W, int H, int frames)
{
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    const int chromaW = W / 2;
    const int chroma = yuv::ChromaPlaneSize(W, H, YUV420);
    std::vector<unsigned char> frame(static_cast<size_t>(W) * H + 2 * chroma);
    unsigned int noise = 12345;
    auto next = [&noise]() {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return noise;
    };
    bool ok = true;
    for (int n = 0; n < frames && ok; ++n) {
        unsigned char *y = frame.data();
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c)
                *y++ = static_cast<unsigned char>(((c + 3 * n) ^ (r - 2 * n)) + (next() & 15));
        unsigned char *u = frame.data() + static_cast<size_t>(W) * H;
        unsigned char *v = u + chroma;
        for (int i = 0; i < chroma; ++i) {
            const int c = i % std::max(chromaW, 1);
            const int r = i / std::max(chromaW, 1);
            u[i] = static_cast<unsigned char>(c + n + (next() & 7));
            v[i] = static_cast<unsigned char>(r * 2 - n + (next() & 7));
        }
        ok = std::fwrite(frame.data(), 1, frame.size(), f) == frame.size();
    }
    return std::fclose(f) == 0 && ok;
}

// --- Driving the window ----------------------------------------------------------------------

// Answers the parameters dialog that OpenFileFromCommandLine runs modally.
void AnswerParamsDialog(int W, int H, int fps)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, W, H, fps]() {
        auto *d = qobject_cast<TParamDialog *>(QApplication::activeModalWidget());
        if (!d)
            return;
        timer->stop();
        timer->deleteLater();
        d->WidthComboBox->setEditText(QString::number(W));
        d->HeightComboBox->setEditText(QString::number(H));
        d->comboBox->setCurrentIndex(YUV420);
        d->FPSSpinBox->setValue(fps);
        d->accept();
    });
    timer->start();
}

// Runs the application's event loop (as QApplication::exec would) for ms milliseconds or until
// stop() is called.
struct TLoop
{
    QEventLoop Loop;
    void Run(int ms)
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
    void Stop() { Loop.quit(); }
};

// Timestamps along the road of each frame, taken from receivers connected after the window's
// own: the playback timer's event (before its timeout() reaches the reader), the frame number
// (after the slider and the counter took it), the view's paint event, the start and end of each
// composition of the window, and the frame (after the view's DrawFrame returned).
class TProbe : public QObject
{
public:
    struct TTick
    {
        double Load; // timer event to NewFrameNumber handled: read, convert, slider, counter
        double Draw; // NewFrameNumber handled to DrawFrame returned: copy, paint, composition
        double ToPaint; // to the view's paint event: the copy and Qt's update machinery
        double Paint; // the view's paintGL and the other dirty widgets, up to the composition
        double Compose; // composition and present inside DrawFrame
        double Interval; // since the previous frame's DrawFrame returned
    };

    explicit TProbe(TMainWindow *w)
        : Window(w)
    {
        Ticks.reserve(1 << 16);
        w->PlayTimer->installEventFilter(this);
        w->Screen->installEventFilter(this);
        connect(w->YUVReader, &TYUVReader::NewFrameNumber, this, [this](int) {
            NumberAt = Clock::now();
            InDraw = true;
            ViewPainted = DrawComposed = false;
        });
        ConnectFrame();
        connect(w->Screen, &QOpenGLWidget::aboutToCompose, this, [this]() {
            ComposeStart = Clock::now();
            if (InDraw && !DrawComposed) {
                DrawComposed = true;
                DrawComposeAt = ComposeStart;
            }
        });
        connect(w->Screen, &QOpenGLWidget::frameSwapped, this, [this]() {
            const double ms = Ms(Clock::now() - ComposeStart);
            if (InDraw) {
                ++ComposesInDraw;
                ComposeInDrawMs += ms;
            } else {
                ++ComposesOutside;
                ComposeOutsideMs += ms;
            }
        });
    }

    void Reset()
    {
        Ticks.clear();
        Frames = 0;
        TimerEvents = 0;
        ComposesInDraw = ComposesOutside = 0;
        ComposeInDrawMs = ComposeOutsideMs = 0;
        ComposeInDrawAtStart = 0;
        HaveLast = false;
        Paints0 = Window->Screen->GetPaintCount();
    }
    // The frame's timestamp must come after the view has drawn it: the connection is made last
    // among the receivers of NewFrameReady, and made again after any receiver is added.
    void ConnectFrame()
    {
        FrameConnection = connect(Window->YUVReader, &TYUVReader::NewFrameReady, this,
            [this](unsigned char *, int) { FrameDone(); });
    }
    void DisconnectFrame() { disconnect(FrameConnection); }

    // Breaks the chain of intervals, for a restart of playback.
    void BreakIntervals() { HaveLast = false; }

    std::vector<TTick> Ticks;
    int Frames = 0;
    int TimerEvents = 0;
    int ComposesInDraw = 0;
    int ComposesOutside = 0;
    double ComposeInDrawMs = 0;
    double ComposeOutsideMs = 0;
    double ComposeInDrawAtStart = 0;
    quint64 Paints0 = 0;
    Clock::time_point FirstFrame;
    Clock::time_point LastFrame;
    Clock::time_point LastFrameDone;
    std::function<void()> OnFrame;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == Window->PlayTimer && e->type() == QEvent::Timer) {
            TickAt = Clock::now();
            ++TimerEvents;
        } else if (o == Window->Screen && e->type() == QEvent::Paint && InDraw && !ViewPainted) {
            ViewPainted = true;
            ViewPaintAt = Clock::now();
        }
        return false;
    }

private:
    void FrameDone()
    {
        const auto now = Clock::now();
        InDraw = false;
        if (Frames == 0)
            FirstFrame = now;
        LastFrame = now;
        ++Frames;
        TTick t {};
        t.Load = Ms(NumberAt - TickAt);
        t.Draw = Ms(now - NumberAt);
        t.ToPaint = ViewPainted ? Ms(ViewPaintAt - NumberAt) : 0;
        t.Paint = ViewPainted && DrawComposed ? Ms(DrawComposeAt - ViewPaintAt) : 0;
        t.Compose = ComposeInDrawMs - ComposeInDrawAtStart;
        ComposeInDrawAtStart = ComposeInDrawMs;
        t.Interval = HaveLast ? Ms(now - LastFrameDone) : -1;
        HaveLast = true;
        LastFrameDone = now;
        if (Ticks.size() < Ticks.capacity())
            Ticks.push_back(t);
        if (OnFrame)
            OnFrame();
    }

    TMainWindow *Window;
    QMetaObject::Connection FrameConnection;
    Clock::time_point TickAt;
    Clock::time_point NumberAt;
    Clock::time_point ComposeStart;
    Clock::time_point ViewPaintAt;
    Clock::time_point DrawComposeAt;
    bool InDraw = false;
    bool ViewPainted = false;
    bool DrawComposed = false;
    bool HaveLast = false;
};

double CpuMs(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long MinorFaults()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

struct TRunResult
{
    int Fps = 0;
    int IntervalMs = 0;
    int Frames = 0;
    int Restarts = 0;
    int ExtraFrames = 0; // frames shown by restarts, not by ticks
    double Wall = 0;
    double FpsSpan = 0; // from the intervals between frames
    double FpsWall = 0; // frames over the run's wall time
    quint64 Paints = 0;
    int ComposesInDraw = 0;
    int ComposesOutside = 0;
    double ComposeOutsideMs = 0;
    double LoadMs = 0, DrawMs = 0, ToPaintMs = 0, PaintMs = 0, ComposeMs = 0, BusyMs = 0;
    double IntervalMedian = 0, IntervalP99 = 0, IntervalMax = 0;
    int LateTicks = 0;
    int CountedFrames = 0;
    double GuiAllocsPerFrame = 0, GuiBytesPerFrame = 0;
    double OtherAllocsPerFrame = 0, OtherBytesPerFrame = 0;
    double ProcessCpuMs = 0; // CPU time of the whole process over the run, every thread
    double GuiCpuMs = 0; // CPU time of the GUI thread over the run
    long MinorFaults = 0; // page faults over the run: fresh memory touched
};

class TBench
{
public:
    TBench(TMainWindow *w, QString path, int W, int H)
        : Window(w)
        , Path(std::move(path))
        , PicW(W)
        , PicH(H)
        , Probe(w)
    { }

    // Opens the stream at the given rate. Each open grows the window by a pixel each way; it is
    // put back to its first size so that every run draws and composes the same area.
    void Open(int fps)
    {
        AnswerParamsDialog(PicW, PicH, fps);
        Window->OpenFileFromCommandLine(Path);
        if (!Size.isValid())
            Size = Window->size();
        Window->resize(Size);
        Settle(300);
    }

    // The route by which the view gets each frame: its own DrawFrame, or, to compare against,
    // the route that DrawFrame used to take: the same copy, then repaint(), and only when Qt
    // deferred that paint the delivery of the window's posted update request.
    void UseRepaintRoute(bool on)
    {
        TYUVReader *reader = Window->YUVReader;
        TOGLWidget *view = Window->Screen;
        QObject::disconnect(reader, SIGNAL(NewFrameReady(unsigned char *, int)), view,
            SLOT(DrawFrame(unsigned char *)));
        QObject::disconnect(RouteConnection);
        Probe.DisconnectFrame();
        if (on) {
            RouteConnection
                = QObject::connect(reader, &TYUVReader::NewFrameReady, view, [view](uchar *p, int) {
                      view->SetPic(p);
                      const quint64 before = view->GetPaintCount();
                      view->repaint();
                      if (view->GetPaintCount() == before)
                          QCoreApplication::sendPostedEvents(view->window(), QEvent::UpdateRequest);
                  });
        } else {
            QObject::connect(reader, SIGNAL(NewFrameReady(unsigned char *, int)), view,
                SLOT(DrawFrame(unsigned char *)));
        }
        Probe.ConnectFrame();
    }

    void Settle(int ms) { TLoop().Run(ms); }

    TRunResult Play(int fps, int seconds, bool countAllocations)
    {
        Open(fps);
        TRunResult r;
        r.Fps = fps;
        r.IntervalMs = Window->PlayTimer->interval();

        TLoop loop;
        const int skip = 10; // frames before the allocation count starts: warm-up
        Probe.Reset();
        Probe.OnFrame = [&]() {
            if (countAllocations && Probe.Frames == skip) {
                ResetAllocationCounts();
                Counting = true;
            }
        };
        bool ended = false;
        auto eof = QObject::connect(
            Window->YUVReader, &TYUVReader::EndOfFileReached, [&]() { ended = true; });

        const long faults0 = MinorFaults();
        const double processCpu0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        const double guiCpu0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        const auto start = Clock::now();
        const auto deadline = start + std::chrono::seconds(seconds);
        Window->PlayButton->click();
        // Playback stops by itself at the end of the stream; for a run longer than the stream it
        // is started again from the first frame, and the gap is left out of the intervals.
        while (Clock::now() < deadline) {
            const int left = static_cast<int>(Ms(deadline - Clock::now()));
            QMetaObject::Connection quit;
            quit = QObject::connect(Window->YUVReader, &TYUVReader::EndOfFileReached, &loop.Loop,
                &QEventLoop::quit, Qt::QueuedConnection);
            loop.Run(std::max(left, 1));
            QObject::disconnect(quit);
            if (ended && Clock::now() < deadline) {
                // The first frame shown again is not a tick: it is left out of the counts.
                ended = false;
                ++r.Restarts;
                Counting = false;
                const int before = Probe.Frames;
                Window->StartButton->click();
                r.ExtraFrames += Probe.Frames - before;
                Probe.BreakIntervals();
                Window->PlayButton->click();
                Counting = countAllocations && Probe.Frames >= skip;
            }
        }
        Counting = false;
        const auto stop = Clock::now();
        r.ProcessCpuMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - processCpu0;
        r.GuiCpuMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - guiCpu0;
        r.MinorFaults = MinorFaults() - faults0;
        Window->StopButton->click();
        QObject::disconnect(eof);
        Probe.OnFrame = nullptr;

        r.Frames = Probe.Frames - r.ExtraFrames;
        r.Wall = Ms(stop - start);
        r.FpsWall = r.Frames * 1000.0 / r.Wall;
        r.Paints = Window->Screen->GetPaintCount() - Probe.Paints0 - r.ExtraFrames;
        r.ComposesInDraw = Probe.ComposesInDraw;
        r.ComposesOutside = Probe.ComposesOutside;
        r.ComposeOutsideMs
            = Probe.ComposesOutside ? Probe.ComposeOutsideMs / Probe.ComposesOutside : 0;
        std::vector<double> load, draw, toPaint, paint, compose, interval;
        for (const auto &t : Probe.Ticks) {
            load.push_back(t.Load);
            draw.push_back(t.Draw);
            toPaint.push_back(t.ToPaint);
            paint.push_back(t.Paint);
            compose.push_back(t.Compose);
            if (t.Interval >= 0)
                interval.push_back(t.Interval);
        }
        r.LoadMs = Median(load);
        r.DrawMs = Median(draw);
        r.ToPaintMs = Median(toPaint);
        r.PaintMs = Median(paint);
        r.ComposeMs = Median(compose);
        r.BusyMs = r.LoadMs + r.DrawMs;
        // Over the intervals, so that the gaps of restarts stay out: (n - 1) frames over the
        // time from the first to the last of a run without restarts.
        double sum = 0;
        for (double i : interval)
            sum += i;
        r.FpsSpan = interval.empty() ? 0 : interval.size() * 1000.0 / sum;
        r.IntervalMedian = Median(interval);
        r.IntervalP99 = Percentile(interval, 0.99);
        r.IntervalMax = interval.empty() ? 0 : *std::max_element(interval.begin(), interval.end());
        for (double i : interval)
            if (i > 1.5 * std::max(r.IntervalMs, 1))
                ++r.LateTicks;
        r.CountedFrames = countAllocations ? std::max(0, Probe.Frames - skip - r.ExtraFrames) : 0;
        if (r.CountedFrames > 0) {
            r.GuiAllocsPerFrame = double(GuiAllocs) / r.CountedFrames;
            r.GuiBytesPerFrame = double(GuiBytes) / r.CountedFrames;
            r.OtherAllocsPerFrame = double(OtherAllocs) / r.CountedFrames;
            r.OtherBytesPerFrame = double(OtherBytes) / r.CountedFrames;
        }
        return r;
    }

    // Right key presses with playback stopped; returns the latency of each in milliseconds, from
    // the press to the return of the view's DrawFrame for the new frame. press() sends the key.
    std::vector<double> KeyLatency(int presses, const std::function<void()> &press, int *missed)
    {
        Window->StartButton->click();
        Settle(100);
        std::vector<double> latencies;
        *missed = 0;
        for (int i = 0; i < presses; ++i) {
            const int framesBefore = Probe.Frames;
            Probe.Reset();
            Probe.Frames = framesBefore;
            const auto t0 = Clock::now();
            press();
            // A real key arrives through the X server: wait for it in the event loop, woken at
            // least every 50 ms so that a lost key cannot hang the run.
            QElapsedTimer waited;
            waited.start();
            QTimer wake;
            wake.start(50);
            while (Probe.Frames == framesBefore && waited.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            wake.stop();
            if (Probe.Frames == framesBefore || Window->Screen->GetPaintCount() == Probe.Paints0) {
                ++*missed;
                continue;
            }
            latencies.push_back(Ms(Probe.LastFrame - t0));
            Settle(40);
        }
        return latencies;
    }

    TMainWindow *Window;
    QString Path;
    int PicW;
    int PicH;
    QSize Size;
    QMetaObject::Connection RouteConnection;
    TProbe Probe;
};

// "model name (N processors)" from /proc/cpuinfo, as lscpu shows it.
std::string CpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line, model = "unknown";
    int count = 0;
    while (std::getline(in, line)) {
        if (line.rfind("processor", 0) == 0)
            ++count;
        else if (line.rfind("model name", 0) == 0 && model == "unknown")
            model = line.substr(line.find(':') + 2);
    }
    return model + " (" + std::to_string(count) + " processors)";
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// The X test extension, loaded at run time so that the build needs none of its headers.
struct TXTest
{
    using FakeKey = int (*)(Display *, unsigned int, int, unsigned long);
    Display *Dpy = nullptr;
    void *Lib = nullptr;
    FakeKey Fake = nullptr;
    unsigned int RightKey = 0;

    bool Open()
    {
        Lib = dlopen("libXtst.so.6", RTLD_NOW);
        if (!Lib)
            return false;
        Fake = reinterpret_cast<FakeKey>(dlsym(Lib, "XTestFakeKeyEvent"));
        Dpy = XOpenDisplay(nullptr);
        if (!Fake || !Dpy)
            return false;
        RightKey = XKeysymToKeycode(Dpy, XK_Right);
        return RightKey != 0;
    }
    void PressRight()
    {
        Fake(Dpy, RightKey, True, 0);
        Fake(Dpy, RightKey, False, 0);
        XFlush(Dpy);
    }
    ~TXTest()
    {
        if (Dpy)
            XCloseDisplay(Dpy);
        if (Lib)
            dlclose(Lib);
    }
};

struct TOptions
{
    int Seconds = 4;
    int Frames = 240;
    int W = 1920;
    int H = 1080;
    int Presses = 50;
    int Sites = 12;
    int CompareRounds = 3;
    std::vector<int> Rates {25, 30, 60, 1000};
};

TOptions ParseOptions(const QStringList &args)
{
    TOptions o;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &key = args[i];
        const QString &value = args[i + 1];
        if (key == "--seconds")
            o.Seconds = std::max(1, value.toInt());
        else if (key == "--frames")
            o.Frames = std::max(2, value.toInt());
        else if (key == "--presses")
            o.Presses = std::max(1, value.toInt());
        else if (key == "--sites")
            o.Sites = std::max(0, value.toInt());
        else if (key == "--compare")
            o.CompareRounds = std::max(0, value.toInt());
        else if (key == "--size") {
            const QStringList wh = value.split('x');
            if (wh.size() == 2 && yuv::IsSupportedSize(wh[0].toInt(), wh[1].toInt())
                && wh[0].toInt() % 2 == 0 && wh[1].toInt() % 2 == 0) {
                o.W = wh[0].toInt();
                o.H = wh[1].toInt();
            }
        } else if (key == "--rates") {
            o.Rates.clear();
            for (const QString &r : value.split(','))
                if (r.toInt() >= 1 && r.toInt() <= 1000)
                    o.Rates.push_back(r.toInt());
            if (o.Rates.empty())
                o.Rates.push_back(25);
        }
    }
    return o;
}

void PrintLatency(const char *route, const std::vector<double> &l, int missed)
{
    if (l.empty()) {
        std::printf("  %-28s no key reached the window (%d missed)\n", route, missed);
        return;
    }
    std::printf("  %-28s %3zu presses  median %6.2f ms  p90 %6.2f ms  worst %6.2f ms  best %6.2f "
                "ms  missed %d\n",
        route, l.size(), Median(l), Percentile(l, 0.9), *std::max_element(l.begin(), l.end()),
        *std::min_element(l.begin(), l.end()), missed);
}

} // namespace

#if BENCH_COUNT_ALLOCATIONS
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);

void *malloc(size_t n)
{
    BenchPlaybackCountAllocation(n);
    return __libc_malloc(n);
}
void *calloc(size_t count, size_t size)
{
    BenchPlaybackCountAllocation(count * size);
    return __libc_calloc(count, size);
}
void *realloc(void *p, size_t n)
{
    BenchPlaybackCountAllocation(n);
    return __libc_realloc(p, n);
}
void *memalign(size_t alignment, size_t n)
{
    BenchPlaybackCountAllocation(n);
    return __libc_memalign(alignment, n);
}
void *aligned_alloc(size_t alignment, size_t n)
{
    BenchPlaybackCountAllocation(n);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void **out, size_t alignment, size_t n)
{
    BenchPlaybackCountAllocation(n);
    void *p = __libc_memalign(alignment, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

int main(int argc, char **argv)
{
    GuiThread = pthread_self();
    // The first backtrace loads the unwinder, which allocates: do it before any count.
    {
        void *frames[4];
        backtrace(frames, 4);
    }
    // Settings go to a folder of the run's own, never the user's.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    QApplication app(argc, argv);
    const TOptions opt = ParseOptions(app.arguments());

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    int W = opt.W;
    int H = opt.H;
    auto streamBytes = [&]() {
        return static_cast<qint64>(W * H + 2 * yuv::ChromaPlaneSize(W, H, YUV420)) * opt.Frames;
    };
    const qint64 room = QStorageInfo(dir.path()).bytesAvailable();
    if (room < 2 * streamBytes()) {
        std::printf("only %lld MB free in %s: using 720x576 instead of %dx%d\n",
            static_cast<long long>(room >> 20), qPrintable(dir.path()), W, H);
        W = 720;
        H = 576;
    }
    const QString path = dir.filePath("playback.yuv");
    QElapsedTimer written;
    written.start();
    if (!WriteStream(path, W, H, opt.Frames)) {
        std::fprintf(stderr, "cannot write the stream to %s\n", qPrintable(path));
        return 1;
    }
    const double writeSeconds = written.elapsed() / 1000.0;

    TMainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not exposed (run under xvfb-run -a)\n");
        return 1;
    }
    TBench bench(&window, path, W, H);
    bench.Open(opt.Rates.front());

    std::string renderer = "unknown";
    window.Screen->makeCurrent();
    if (const auto *r = reinterpret_cast<const char *>(glGetString(GL_RENDERER)))
        renderer = r;
    window.Screen->doneCurrent();
    const QScreen *screen = window.screen();

    std::printf("machine     %s, load average %s\n", CpuModel().c_str(), LoadAverage().c_str());
    std::printf(
        "build       %s, flags \"%s\", %s\n", BENCH_BUILD_TYPE, BENCH_CXX_FLAGS, __VERSION__);
    std::printf("qt          %s, platform %s, GL %s, screen %.0f Hz\n", qVersion(),
        qPrintable(QGuiApplication::platformName()), renderer.c_str(),
        screen ? screen->refreshRate() : 0.0);
    std::printf("window      %dx%d, picture view %dx%d (fit mode)\n", window.width(),
        window.height(), window.Screen->width(), window.Screen->height());
    std::printf("stream      %dx%d 4:2:0, %d frames, %.0f MB, written in %.1f s\n", W, H,
        opt.Frames, streamBytes() / 1e6, writeSeconds);
    std::printf("allocation  %s\n",
        BENCH_COUNT_ALLOCATIONS ? "counted (malloc family replaced in this program)"
                                : "not counted in a sanitizer build");
    std::printf("\n");

    std::vector<TRunResult> results;
    for (int fps : opt.Rates)
        results.push_back(bench.Play(fps, opt.Seconds, BENCH_COUNT_ALLOCATIONS != 0));

    std::printf("Playback, %d s a rate; rate = frames per second. 'timer' is 1000 / interval.\n",
        opt.Seconds);
    std::printf("%6s %6s %8s %8s %8s %7s %7s %7s %7s %9s\n", "fps", "timer", "frames", "rate",
        "rate/tmr", "wall", "paints", "compIn", "compOut", "restarts");
    for (const auto &r : results) {
        const double timerRate = 1000.0 / std::max(r.IntervalMs, 1);
        const double rate = r.FpsSpan > 0 ? r.FpsSpan : r.FpsWall;
        std::printf("%6d %6.1f %8d %8.2f %8.4f %7.2f %7llu %7d %7d %9d\n", r.Fps, timerRate,
            r.Frames, rate, rate / timerRate, r.FpsWall, static_cast<unsigned long long>(r.Paints),
            r.ComposesInDraw, r.ComposesOutside, r.Restarts);
    }
    std::printf("\nTick parts (medians, ms): load = timer event to the frame number handled "
                "(seek, read,\nconvert, slider, counter); draw = DrawFrame, split into: to paint = "
                "the copy and Qt's\nupdate machinery up to the view's paint event; paint = the "
                "view's paintGL and the slider's\nand counter's paints; compose = the window's "
                "composition and present. interval = between\nframes; late = intervals over 1.5 "
                "timer intervals; outside = mean of compositions outside DrawFrame.\n");
    std::printf("%6s %6s %6s %8s %6s %8s %6s %9s %9s %9s %5s %8s\n", "fps", "load", "draw",
        "to paint", "paint", "compose", "busy", "intv med", "intv p99", "intv max", "late",
        "outside");
    for (const auto &r : results)
        std::printf("%6d %6.2f %6.2f %8.2f %6.2f %8.2f %6.2f %9.2f %9.2f %9.2f %5d %8.2f\n", r.Fps,
            r.LoadMs, r.DrawMs, r.ToPaintMs, r.PaintMs, r.ComposeMs, r.BusyMs, r.IntervalMedian,
            r.IntervalP99, r.IntervalMax, r.LateTicks, r.ComposeOutsideMs);

    std::printf("\nCPU time per frame (ms) over each run: the whole process (the GUI thread "
                "and the\nGL driver's rasterizer threads; the X server is not counted) and the "
                "GUI thread alone;\nload = process CPU time over wall time (%d processors); faults "
                "= minor\npage faults, i.e. fresh pages the process touched (4 KiB each).\n",
        QThread::idealThreadCount());
    std::printf("%6s %9s %9s %9s %7s %8s\n", "fps", "process", "GUI", "others", "load", "faults");
    for (const auto &r : results) {
        const int n = std::max(r.Frames, 1);
        std::printf("%6d %9.2f %9.2f %9.2f %7.2f %8.0f\n", r.Fps, r.ProcessCpuMs / n,
            r.GuiCpuMs / n, (r.ProcessCpuMs - r.GuiCpuMs) / n, r.ProcessCpuMs / r.Wall,
            double(r.MinorFaults) / n);
    }

    if (opt.CompareRounds > 0) {
        // The same runs through both routes, interleaved, so that a change in the machine's load
        // falls on both alike.
        struct TSum
        {
            double Frames = 0, Wall = 0, Span = 0, Cpu = 0, Gui = 0, Busy = 0, Allocs = 0;
            double In = 0, Out = 0, Paints = 0;
            int Runs = 0;
        };
        const int compareRates[] = {25, 60};
        TSum sums[2][2];
        for (int round = 0; round < opt.CompareRounds; ++round)
            for (int k = 0; k < 2; ++k)
                for (int route = 0; route < 2; ++route) {
                    bench.UseRepaintRoute(route == 1);
                    const TRunResult r = bench.Play(compareRates[k], 2, true);
                    TSum &t = sums[k][route];
                    t.Frames += r.Frames;
                    t.Wall += r.Wall;
                    t.Span += r.FpsSpan;
                    t.Cpu += r.ProcessCpuMs;
                    t.Gui += r.GuiCpuMs;
                    t.Busy += r.BusyMs;
                    t.Allocs += r.GuiAllocsPerFrame;
                    t.In += r.ComposesInDraw;
                    t.Out += r.ComposesOutside;
                    t.Paints += r.Paints;
                    ++t.Runs;
                }
        bench.UseRepaintRoute(false);
        std::printf(
            "\nDrawFrame's route against the former one (repaint(), then the posted update "
            "request\nonly when Qt deferred the paint): %d interleaved rounds of 2 s at each "
            "rate.\ncompositions and CPU time are per frame; busy = median load + draw.\n",
            opt.CompareRounds);
        std::printf("%6s %-10s %8s %8s %7s %8s %8s %8s %8s %8s\n", "fps", "route", "rate", "paints",
            "comps", "outside", "CPU ms", "GUI ms", "busy ms", "allocs");
        for (int k = 0; k < 2; ++k)
            for (int route = 0; route < 2; ++route) {
                const TSum &t = sums[k][route];
                const double n = std::max(t.Frames, 1.0);
                std::printf("%6d %-10s %8.2f %8.3f %7.3f %8.3f %8.2f %8.2f %8.2f %8.1f\n",
                    compareRates[k], route ? "repaint" : "DrawFrame", t.Span / t.Runs, t.Paints / n,
                    (t.In + t.Out) / n, t.Out / n, t.Cpu / n, t.Gui / n, t.Busy / t.Runs,
                    t.Allocs / t.Runs);
            }
        for (int k = 0; k < 2; ++k) {
            const TSum &a = sums[k][0];
            const TSum &b = sums[k][1];
            std::printf("%6d CPU time per frame, DrawFrame / repaint route: %.3f\n",
                compareRates[k],
                (a.Cpu / std::max(a.Frames, 1.0)) / (b.Cpu / std::max(b.Frames, 1.0)));
        }
    }

    if (BENCH_COUNT_ALLOCATIONS) {
        std::printf("\nHeap allocations per frame in the steady part of each run (from frame 10 "
                    "on):\n");
        std::printf("%6s %8s %10s %12s %10s %12s\n", "fps", "frames", "GUI allocs", "GUI bytes",
            "other", "other bytes");
        for (const auto &r : results)
            std::printf("%6d %8d %10.2f %12.0f %10.2f %12.0f\n", r.Fps, r.CountedFrames,
                r.GuiAllocsPerFrame, r.GuiBytesPerFrame, r.OtherAllocsPerFrame,
                r.OtherBytesPerFrame);
        // Separate runs for the call sites, since recording stacks slows every allocation.
        std::vector<int> siteRates;
        if (opt.Sites > 0) {
            siteRates.push_back(opt.Rates.front());
            if (opt.Rates.back() != opt.Rates.front())
                siteRates.push_back(opt.Rates.back());
        }
        for (int fps : siteRates) {
            RecordStacks = true;
            const TRunResult r = bench.Play(fps, std::min(opt.Seconds, 2), true);
            RecordStacks = false;
            if (r.CountedFrames <= 0)
                continue;
            std::printf("  GUI-thread call sites at %d fps, %d frames (%.1f allocations a frame; "
                        "innermost caller first):\n",
                fps, r.CountedFrames, r.GuiAllocsPerFrame);
            std::printf("  by the innermost function of the player on the stack -> what it "
                        "called:\n");
            PrintOwnCodeAttribution(r.CountedFrames);
            std::printf("  most frequent call sites:\n");
            PrintAllocationSites(r.CountedFrames, opt.Sites, 5);
        }
    }

    std::printf("\nKey latency, Right with playback stopped: press to the new frame on screen "
                "(DrawFrame returned)\n");
    int missed = 0;
    const auto synthetic = bench.KeyLatency(
        opt.Presses, [&]() { QTest::keyClick(&window, Qt::Key_Right); }, &missed);
    PrintLatency("QTest::keyClick (in-process)", synthetic, missed);
    TXTest xtest;
    window.activateWindow();
    if (!xtest.Open()) {
        std::printf("  real X key: the X test extension (libXtst.so.6) is not available\n");
    } else if (!QTest::qWaitForWindowActive(&window)) {
        std::printf("  real X key: the window did not become active\n");
    } else {
        const auto real = bench.KeyLatency(
            opt.Presses, [&]() { xtest.PressRight(); }, &missed);
        PrintLatency("XTest key via the X server", real, missed);
    }
    return 0;
}
