#ifndef PLAYBACKDRIVER_H
#define PLAYBACKDRIVER_H

// Drives the real main window as the user does, for the playback benchmark: opens a stream with
// the parameters dialog answered in code, plays it at a frame rate for a while in the
// application's own event loop, and presses Right with playback stopped. A probe takes
// timestamps along the road of each frame.

#include <QEventLoop>
#include <QObject>
#include <QSize>
#include <QString>

#include <chrono>
#include <functional>
#include <vector>

class TMainWindow;

using BenchClock = std::chrono::steady_clock;

double Median(std::vector<double> v);
double Percentile(std::vector<double> v, double p);

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

    explicit TProbe(TMainWindow *w);

    void Reset();
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
    BenchClock::time_point FirstFrame;
    BenchClock::time_point LastFrame;
    BenchClock::time_point LastFrameDone;
    std::function<void()> OnFrame;

protected:
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    void FrameDone();

    TMainWindow *Window;
    BenchClock::time_point TickAt;
    BenchClock::time_point NumberAt;
    BenchClock::time_point ComposeStart;
    BenchClock::time_point ViewPaintAt;
    BenchClock::time_point DrawComposeAt;
    bool InDraw = false;
    bool ViewPainted = false;
    bool DrawComposed = false;
    bool HaveLast = false;
};

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
    TBench(TMainWindow *w, QString path, int W, int H);

    // Opens the stream at the given rate. Each open grows the window by a pixel each way; it is
    // put back to its first size so that every run draws and composes the same area.
    void Open(int fps);
    // Opens the stream at fps and plays it for the given time, starting it again from the first
    // frame whenever it ends.
    TRunResult Play(int fps, int seconds, bool countAllocations);
    // Right key presses with playback stopped; returns the latency of each in milliseconds, from
    // the press to the return of the view's DrawFrame for the new frame. press() sends the key.
    std::vector<double> KeyLatency(int presses, const std::function<void()> &press, int *missed);
    void Settle(int ms);

private:
    void Summarise(TRunResult &r, int skip, bool countAllocations) const;

    TMainWindow *Window;
    QString Path;
    int PicW;
    int PicH;
    QSize Size;
    TProbe Probe;
};

// Real key events through the X server's test extension, loaded at run time so that the build
// needs none of its headers.
class TXKeys
{
public:
    TXKeys() = default;
    TXKeys(const TXKeys &) = delete;
    TXKeys &operator=(const TXKeys &) = delete;
    ~TXKeys();
    bool Open();
    void PressRight();

private:
    using FakeKey = int (*)(void *, unsigned int, int, unsigned long);
    void *Dpy = nullptr;
    void *Lib = nullptr;
    FakeKey Fake = nullptr;
    unsigned int RightKey = 0;
};

#endif // PLAYBACKDRIVER_H
