// The picture view's per-frame path: the copy of a 1920 x 1080 frame into the view's own buffer
// plus the synchronous paint that DrawFrame does, in fit mode and at actual size, in a 1280 x 720
// view and in a 693 x 502 one (the picture area of the main window at its first size). Each paint
// composes the window and presents it to the X server. The copy alone runs as the peer to compare
// against. Figures are frames per second ("fps", wall-clock). Every frame drawn differs from the
// ones before it, as in playback (see Frames).
//
// DrawFrameParts splits the same path, through a view that times its own paintGL: "paint_ms" is
// paintGL (the clear, glDrawPixels with the pixel zoom, glFlush) followed by glFinish, so that
// the driver's work for it is inside the figure; "compose_ms" is the window's composition and
// present (Qt's aboutToCompose to frameSwapped); "rest_ms" is everything else in DrawFrame: the
// copy into the view's buffer and Qt's update machinery. The glFinish makes the parts add up but
// takes away the overlap of the draw with the composition, so the total can exceed DrawFrame's.
//
// Needs an X server with OpenGL (the view cannot run on the offscreen platform):
//
//     xvfb-run -a ./bench_view

#include "BenchMachine.h"
#include "OpenGLWidget.h"
#include "YUVConversion.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QtWidgets/qtestsupport_widgets.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int PicW = 1920;
constexpr int PicH = 1080;

using Clock = std::chrono::steady_clock;

// Two different frames, so that each copy really moves new bytes. Next() also stamps a running
// number into the frame's first pixels: every frame drawn is then new to the GL driver too, as
// in playback. Mesa's glDrawPixels keeps copies of recent images and skips the conversion into a
// texture when the same pixels come again, which two alternating frames would always hit.
struct Frames
{
    Frames()
    {
        std::mt19937 rng(3);
        for (auto &f : frame) {
            f.resize(yuv::MaxRGBSize);
            for (auto &b : f)
                b = static_cast<unsigned char>(rng());
        }
    }
    unsigned char *Next()
    {
        unsigned char *f = frame[++count & 1].data();
        std::memcpy(f, &count, sizeof count);
        return f;
    }

    std::vector<unsigned char> frame[2];
    unsigned int count = 0;
};

Frames &TestFrames()
{
    static Frames frames;
    return frames;
}

// A view that times its own paints, each followed by glFinish, and the window's compositions.
class TTimedView : public TOGLWidget
{
public:
    explicit TTimedView(QWidget *parent)
        : TOGLWidget(parent)
    {
        connect(
            this, &QOpenGLWidget::aboutToCompose, this, [this]() { ComposeStart = Clock::now(); });
        connect(this, &QOpenGLWidget::frameSwapped, this,
            [this]() { ComposeTime += Clock::now() - ComposeStart; });
    }
    Clock::duration PaintTime {};
    Clock::duration ComposeTime {};

protected:
    void paintGL() override
    {
        const auto start = Clock::now();
        TOGLWidget::paintGL();
        glFinish();
        PaintTime += Clock::now() - start;
    }

private:
    Clock::time_point ComposeStart;
};

// A shown view of the given size holding a 1920 x 1080 picture in the given mode; null when it
// cannot be shown.
template<typename TView = TOGLWidget>
std::unique_ptr<TView> ShownView(int State, int viewW, int viewH)
{
    auto view = std::make_unique<TView>(nullptr);
    view->SetPicParams(PicW, PicH);
    view->SetActualSize(State);
    view->resize(viewW, viewH);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    view->DrawFrame(TestFrames().Next());
    return view;
}

std::string ViewLabel(int mode, int viewW, int viewH)
{
    const double zoom = std::min(double(viewW) / PicW, double(viewH) / PicH);
    return "1920x1080 "
        + (mode == Qt::Checked ? "actual size"
                               : "fit (zoom " + std::to_string(zoom).substr(0, 5) + ")")
        + " in " + std::to_string(viewW) + "x" + std::to_string(viewH);
}

void SetFps(benchmark::State &state)
{
    state.counters["fps"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void CopyOnly(benchmark::State &state)
{
    TOGLWidget view(nullptr);
    view.SetPicParams(PicW, PicH);
    for (auto _ : state) {
        view.SetPic(TestFrames().Next());
        benchmark::ClobberMemory();
    }
    // The view is in fit mode, where the copy is the expansion into the 4-byte buffer.
    state.SetLabel("1920x1080 copy into the view (fit mode), no paint");
    SetFps(state);
}

void DrawFrame(benchmark::State &state)
{
    const int mode = static_cast<int>(state.range(0));
    const int viewW = static_cast<int>(state.range(1));
    const int viewH = static_cast<int>(state.range(2));
    auto view = ShownView(mode, viewW, viewH);
    if (!view) {
        state.SkipWithError("the view was not exposed");
        return;
    }
    const quint64 paintsBefore = view->GetPaintCount();
    for (auto _ : state)
        view->DrawFrame(TestFrames().Next());
    // Each call must have painted once; a shortfall would make the rate meaningless.
    if (view->GetPaintCount() - paintsBefore != static_cast<quint64>(state.iterations()))
        state.SkipWithError("DrawFrame did not paint every frame");
    state.SetLabel(ViewLabel(mode, viewW, viewH));
    SetFps(state);
}

void DrawFrameParts(benchmark::State &state)
{
    const int mode = static_cast<int>(state.range(0));
    const int viewW = static_cast<int>(state.range(1));
    const int viewH = static_cast<int>(state.range(2));
    auto view = ShownView<TTimedView>(mode, viewW, viewH);
    if (!view) {
        state.SkipWithError("the view was not exposed");
        return;
    }
    view->PaintTime = {};
    view->ComposeTime = {};
    Clock::duration total {};
    for (auto _ : state) {
        const auto start = Clock::now();
        view->DrawFrame(TestFrames().Next());
        total += Clock::now() - start;
    }
    const double n
        = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    auto ms = [n](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count() / n;
    };
    state.counters["paint_ms"] = ms(view->PaintTime);
    state.counters["compose_ms"] = ms(view->ComposeTime);
    state.counters["rest_ms"] = ms(total - view->PaintTime - view->ComposeTime);
    state.counters["total_ms"] = ms(total);
    state.SetLabel(ViewLabel(mode, viewW, viewH));
}

} // namespace

// The view sizes: a large one, and the main window's picture area at the window's first size.
void ViewArgs(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"actual", "w", "h"});
    for (const int mode : {int(Qt::Unchecked), int(Qt::Checked)})
        for (const auto &size : {std::pair {1280, 720}, std::pair {693, 502}})
            b->Args({mode, size.first, size.second});
}

BENCHMARK(CopyOnly)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(DrawFrame)->Apply(ViewArgs)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(DrawFrameParts)
    ->Apply(ViewArgs)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    benchmark::AddCustomContext("build_type", bench::BuildType());
    benchmark::AddCustomContext("qt_version", qVersion());
    {
        // The renderer decides most of the figure: name it beside the results.
        auto view = ShownView(Qt::Unchecked, 1280, 720);
        if (view)
            benchmark::AddCustomContext("gl_renderer", bench::GlRenderer(view.get()));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
