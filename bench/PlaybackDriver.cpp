#include "PlaybackDriver.h"

#include "AllocationCounter.h"
#include "OpenGLWidget.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <ctime>
#include <dlfcn.h>
#include <sys/resource.h>

namespace {

double Ms(BenchClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

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

// Runs the application's event loop (as QApplication::exec would) for ms milliseconds or until
// the loop is quit.
struct TLoop
{
    QEventLoop Loop;
    void Run(int ms)
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
};

} // namespace

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

// --- TProbe ----------------------------------------------------------------------------------

TProbe::TProbe(TMainWindow *w)
    : Window(w)
{
    Ticks.reserve(1 << 16);
    w->PlayTimer->installEventFilter(this);
    w->Screen->installEventFilter(this);
    connect(w->YUVReader, &TYUVReader::NewFrameNumber, this, [this](int) {
        NumberAt = BenchClock::now();
        InDraw = true;
        ViewPainted = DrawComposed = false;
    });
    // The frame's timestamp must come after the view has drawn it: this connection is made after
    // the window's own.
    connect(w->YUVReader, &TYUVReader::NewFrameReady, this,
        [this](unsigned char *, int) { FrameDone(); });
    connect(w->Screen, &QOpenGLWidget::aboutToCompose, this, [this]() {
        ComposeStart = BenchClock::now();
        if (InDraw && !DrawComposed) {
            DrawComposed = true;
            DrawComposeAt = ComposeStart;
        }
    });
    connect(w->Screen, &QOpenGLWidget::frameSwapped, this, [this]() {
        const double ms = Ms(BenchClock::now() - ComposeStart);
        if (InDraw) {
            ++ComposesInDraw;
            ComposeInDrawMs += ms;
        } else {
            ++ComposesOutside;
            ComposeOutsideMs += ms;
        }
    });
}

void TProbe::Reset()
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

bool TProbe::eventFilter(QObject *o, QEvent *e)
{
    if (o == Window->PlayTimer && e->type() == QEvent::Timer) {
        TickAt = BenchClock::now();
        ++TimerEvents;
    } else if (o == Window->Screen && e->type() == QEvent::Paint && InDraw && !ViewPainted) {
        ViewPainted = true;
        ViewPaintAt = BenchClock::now();
    }
    return false;
}

void TProbe::FrameDone()
{
    const auto now = BenchClock::now();
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

// --- TBench ----------------------------------------------------------------------------------

TBench::TBench(TMainWindow *w, QString path, int W, int H)
    : Window(w)
    , Path(std::move(path))
    , PicW(W)
    , PicH(H)
    , Probe(w)
{ }

void TBench::Open(int fps)
{
    testsupport::OpenWithParams(*Window, Path, {PicW, PicH, YUV420}, fps);
    if (!Size.isValid())
        Size = Window->size();
    Window->resize(Size);
    Settle(300);
}

void TBench::Settle(int ms)
{
    TLoop().Run(ms);
}

TRunResult TBench::Play(int fps, int seconds, bool countAllocations)
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
            alloccount::Reset();
            alloccount::SetCounting(true);
        }
    };
    bool ended = false;
    auto eof = QObject::connect(
        Window->YUVReader, &TYUVReader::EndOfFileReached, [&]() { ended = true; });

    const long faults0 = MinorFaults();
    const double processCpu0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double guiCpu0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const auto start = BenchClock::now();
    const auto deadline = start + std::chrono::seconds(seconds);
    Window->PlayButton->click();
    // Playback stops by itself at the end of the stream; for a run longer than the stream it is
    // started again from the first frame, and the gap is left out of the intervals.
    while (BenchClock::now() < deadline) {
        const int left = static_cast<int>(Ms(deadline - BenchClock::now()));
        auto quit = QObject::connect(Window->YUVReader, &TYUVReader::EndOfFileReached, &loop.Loop,
            &QEventLoop::quit, Qt::QueuedConnection);
        loop.Run(std::max(left, 1));
        QObject::disconnect(quit);
        if (ended && BenchClock::now() < deadline) {
            // The first frame shown again is not a tick: it is left out of the counts.
            ended = false;
            ++r.Restarts;
            alloccount::SetCounting(false);
            const int before = Probe.Frames;
            Window->StartButton->click();
            r.ExtraFrames += Probe.Frames - before;
            Probe.BreakIntervals();
            Window->PlayButton->click();
            alloccount::SetCounting(countAllocations && Probe.Frames >= skip);
        }
    }
    alloccount::SetCounting(false);
    const auto stop = BenchClock::now();
    r.ProcessCpuMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - processCpu0;
    r.GuiCpuMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - guiCpu0;
    r.MinorFaults = MinorFaults() - faults0;
    Window->StopButton->click();
    QObject::disconnect(eof);
    Probe.OnFrame = nullptr;
    r.Wall = Ms(stop - start);
    Summarise(r, skip, countAllocations);
    return r;
}

void TBench::Summarise(TRunResult &r, int skip, bool countAllocations) const
{
    r.Frames = Probe.Frames - r.ExtraFrames;
    r.FpsWall = r.Frames * 1000.0 / r.Wall;
    r.Paints = Window->Screen->GetPaintCount() - Probe.Paints0 - r.ExtraFrames;
    r.ComposesInDraw = Probe.ComposesInDraw;
    r.ComposesOutside = Probe.ComposesOutside;
    r.ComposeOutsideMs = Probe.ComposesOutside ? Probe.ComposeOutsideMs / Probe.ComposesOutside : 0;
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
    // Over the intervals, so that the gaps of restarts stay out: (n - 1) frames over the time
    // from the first to the last of a run without restarts.
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
        const alloccount::TCounts c = alloccount::Counts();
        r.GuiAllocsPerFrame = double(c.GuiAllocs) / r.CountedFrames;
        r.GuiBytesPerFrame = double(c.GuiBytes) / r.CountedFrames;
        r.OtherAllocsPerFrame = double(c.OtherAllocs) / r.CountedFrames;
        r.OtherBytesPerFrame = double(c.OtherBytes) / r.CountedFrames;
    }
}

std::vector<double> TBench::KeyLatency(int presses, const std::function<void()> &press, int *missed)
{
    Window->StartButton->click();
    Settle(100);
    std::vector<double> latencies;
    *missed = 0;
    for (int i = 0; i < presses; ++i) {
        const int framesBefore = Probe.Frames;
        Probe.Reset();
        Probe.Frames = framesBefore;
        const auto t0 = BenchClock::now();
        press();
        // A real key arrives through the X server: wait for it in the event loop, woken at least
        // every 50 ms so that a lost key cannot hang the run.
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

// --- TXKeys ----------------------------------------------------------------------------------

bool TXKeys::Open()
{
    Lib = dlopen("libXtst.so.6", RTLD_NOW);
    if (!Lib)
        return false;
    Fake = reinterpret_cast<FakeKey>(dlsym(Lib, "XTestFakeKeyEvent"));
    Display *dpy = XOpenDisplay(nullptr);
    Dpy = dpy;
    if (!Fake || !dpy)
        return false;
    RightKey = XKeysymToKeycode(dpy, XK_Right);
    return RightKey != 0;
}

void TXKeys::PressRight()
{
    Fake(Dpy, RightKey, True, 0);
    Fake(Dpy, RightKey, False, 0);
    XFlush(static_cast<Display *>(Dpy));
}

TXKeys::~TXKeys()
{
    if (Dpy)
        XCloseDisplay(static_cast<Display *>(Dpy));
    if (Lib)
        dlclose(Lib);
}
