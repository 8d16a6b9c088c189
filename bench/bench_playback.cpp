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
//   - the call sites of the GUI thread's allocations, charged to the innermost function of the
//     player on each stack (recording stacks is slow, so these runs are not timed);
//   - with playback stopped, the latency from a Right key press to the new frame being on
//     screen: through QTest (a synthetic key event delivered at once) and, when the X test
//     extension can be loaded, as a real key event travelling through the X server.
//
// Needs an X server with OpenGL (the view cannot run on the offscreen platform):
//
//     xvfb-run -a ./bench_playback [--seconds S] [--frames N] [--rates 25,30,60,1000]
//                                  [--size WxH] [--presses N] [--sites N]
//
// The stream (N frames, 3,110,400 bytes each at 1920 x 1080) is written to a temporary folder and
// removed at the end; when the disk has too little room, 720 x 576 is used and said so.

#include "AllocationCounter.h"
#include "BenchMachine.h"
#include "OpenGLWidget.h"
#include "PlaybackDriver.h"
#include "TestFiles.h"
#include "YUVConversion.h"
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QStorageInfo>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct TOptions
{
    int Seconds = 4;
    int Frames = 240;
    int W = 1920;
    int H = 1080;
    int Presses = 50;
    int Sites = 12;
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

// The stream, written once into dir: moving gradients with noise in all three planes, so that no
// frame repeats and no plane is flat. Falls back to 720 x 576 when the disk has too little room.
struct TStream
{
    QString Path;
    testsupport::TLayout Layout;
    int Frames = 0;
    double WriteSeconds = 0;

    qint64 Bytes() const { return static_cast<qint64>(Layout.FrameSize()) * Frames; }

    bool Write(const QString &dir, const TOptions &opt)
    {
        Layout = {opt.W, opt.H, YUV420};
        Frames = opt.Frames;
        const qint64 room = QStorageInfo(dir).bytesAvailable();
        if (room < 2 * Bytes()) {
            std::printf("only %lld MB free in %s: using 720x576 instead of %dx%d\n",
                static_cast<long long>(room >> 20), qPrintable(dir), opt.W, opt.H);
            Layout = {720, 576, YUV420};
        }
        Path = dir + "/playback.yuv";
        QElapsedTimer written;
        written.start();
        const bool ok
            = testsupport::WriteStream(Path, Layout, Frames, testsupport::TPattern::Moving);
        WriteSeconds = written.elapsed() / 1000.0;
        return ok;
    }
};

void PrintMachine(TMainWindow &window, const TStream &stream)
{
    const QScreen *screen = window.screen();
    std::printf("machine     %s, load average %s\n", bench::CpuModel().c_str(),
        bench::LoadAverage().c_str());
    std::printf("build       %s, flags \"%s\", %s\n", bench::BuildType().c_str(),
        bench::CompilerFlags().c_str(), bench::Compiler().c_str());
    std::printf("qt          %s, platform %s, GL %s, screen %.0f Hz\n", qVersion(),
        qPrintable(QGuiApplication::platformName()), bench::GlRenderer(window.Screen).c_str(),
        screen ? screen->refreshRate() : 0.0);
    std::printf("window      %dx%d, picture view %dx%d (fit mode)\n", window.width(),
        window.height(), window.Screen->width(), window.Screen->height());
    std::printf("stream      %dx%d 4:2:0, %d frames, %.0f MB, written in %.1f s\n", stream.Layout.W,
        stream.Layout.H, stream.Frames, stream.Bytes() / 1e6, stream.WriteSeconds);
    std::printf("allocation  %s\n\n",
        BENCH_COUNT_ALLOCATIONS ? "counted (malloc family replaced in this program)"
                                : "not counted in a sanitizer build");
}

void PrintRates(const std::vector<TRunResult> &results, int seconds)
{
    std::printf(
        "Playback, %d s a rate; rate = frames per second. 'timer' is 1000 / interval.\n", seconds);
    std::printf("%6s %6s %8s %8s %8s %7s %7s %7s %7s %9s\n", "fps", "timer", "frames", "rate",
        "rate/tmr", "wall", "paints", "compIn", "compOut", "restarts");
    for (const auto &r : results) {
        const double timerRate = 1000.0 / std::max(r.IntervalMs, 1);
        const double rate = r.FpsSpan > 0 ? r.FpsSpan : r.FpsWall;
        std::printf("%6d %6.1f %8d %8.2f %8.4f %7.2f %7llu %7d %7d %9d\n", r.Fps, timerRate,
            r.Frames, rate, rate / timerRate, r.FpsWall, static_cast<unsigned long long>(r.Paints),
            r.ComposesInDraw, r.ComposesOutside, r.Restarts);
    }
}

void PrintTickParts(const std::vector<TRunResult> &results)
{
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
}

void PrintCpu(const std::vector<TRunResult> &results)
{
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
}

void PrintAllocations(const std::vector<TRunResult> &results)
{
    std::printf(
        "\nHeap allocations per frame in the steady part of each run (from frame 10 on):\n");
    std::printf("%6s %8s %10s %12s %10s %12s\n", "fps", "frames", "GUI allocs", "GUI bytes",
        "other", "other bytes");
    for (const auto &r : results)
        std::printf("%6d %8d %10.2f %12.0f %10.2f %12.0f\n", r.Fps, r.CountedFrames,
            r.GuiAllocsPerFrame, r.GuiBytesPerFrame, r.OtherAllocsPerFrame, r.OtherBytesPerFrame);
}

// Separate runs at the first and the last rate, since recording stacks slows every allocation.
void PrintAllocationSites(TBench &bench, const TOptions &opt)
{
    std::vector<int> rates {opt.Rates.front()};
    if (opt.Rates.back() != opt.Rates.front())
        rates.push_back(opt.Rates.back());
    for (int fps : rates) {
        alloccount::SetRecordStacks(true);
        const TRunResult r = bench.Play(fps, std::min(opt.Seconds, 2), true);
        alloccount::SetRecordStacks(false);
        if (r.CountedFrames <= 0)
            continue;
        std::printf("  GUI-thread call sites at %d fps, %d frames (%.1f allocations a frame; "
                    "innermost caller first):\n",
            fps, r.CountedFrames, r.GuiAllocsPerFrame);
        std::printf("  by the innermost function of the player on the stack -> what it called:\n");
        alloccount::PrintOwnCodeAttribution(r.CountedFrames);
        std::printf("  most frequent call sites:\n");
        alloccount::PrintSites(r.CountedFrames, opt.Sites, 5);
    }
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

void PrintKeyLatency(TBench &bench, TMainWindow &window, int presses)
{
    std::printf("\nKey latency, Right with playback stopped: press to the new frame on screen "
                "(DrawFrame returned)\n");
    int missed = 0;
    const auto synthetic = bench.KeyLatency(
        presses, [&]() { QTest::keyClick(&window, Qt::Key_Right); }, &missed);
    PrintLatency("QTest::keyClick (in-process)", synthetic, missed);
    TXKeys keys;
    window.activateWindow();
    if (!keys.Open()) {
        std::printf("  real X key: the X test extension (libXtst.so.6) is not available\n");
    } else if (!QTest::qWaitForWindowActive(&window)) {
        std::printf("  real X key: the window did not become active\n");
    } else {
        const auto real = bench.KeyLatency(
            presses, [&]() { keys.PressRight(); }, &missed);
        PrintLatency("XTest key via the X server", real, missed);
    }
}

} // namespace

int main(int argc, char **argv)
{
    alloccount::Init();
    // Settings go to a folder of the run's own, never the user's.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    QApplication app(argc, argv);
    const TOptions opt = ParseOptions(app.arguments());

    QTemporaryDir dir;
    TStream stream;
    if (!dir.isValid() || !stream.Write(dir.path(), opt)) {
        std::fprintf(stderr, "cannot write the stream to a temporary folder\n");
        return 1;
    }

    TMainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not exposed (run under xvfb-run -a)\n");
        return 1;
    }
    TBench bench(&window, stream.Path, stream.Layout.W, stream.Layout.H);
    bench.Open(opt.Rates.front());
    PrintMachine(window, stream);

    std::vector<TRunResult> results;
    for (int fps : opt.Rates)
        results.push_back(bench.Play(fps, opt.Seconds, BENCH_COUNT_ALLOCATIONS != 0));
    PrintRates(results, opt.Seconds);
    PrintTickParts(results);
    PrintCpu(results);
    if (BENCH_COUNT_ALLOCATIONS) {
        PrintAllocations(results);
        if (opt.Sites > 0)
            PrintAllocationSites(bench, opt);
    }
    PrintKeyLatency(bench, window, opt.Presses);
    return 0;
}
