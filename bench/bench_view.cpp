// The picture view's per-frame path: the copy of a 1920 x 1080 frame into the view's own buffer
// plus the synchronous paint that DrawFrame does, in fit mode and at actual size, in a 1280 x 720
// view. Each paint composes the window and presents it to the X server. The copy alone runs as
// the peer to compare against. Figures are frames per second ("fps", wall-clock).
//
// Needs an X server with OpenGL (the view cannot run on the offscreen platform):
//
//     xvfb-run -a ./bench_view

#include "OpenGLWidget.h"
#include "YUVConversion.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QtWidgets/qtestsupport_widgets.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#ifndef YUVPLAYER_BUILD_TYPE
#define YUVPLAYER_BUILD_TYPE "unknown"
#endif

namespace {

constexpr int PicW = 1920;
constexpr int PicH = 1080;
constexpr int ViewW = 1280;
constexpr int ViewH = 720;

// Two different frames, so that each copy really moves new bytes.
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
    std::vector<unsigned char> frame[2];
};

Frames &TestFrames()
{
    static Frames frames;
    return frames;
}

// A shown view holding a 1920 x 1080 picture in the given mode; null when it cannot be shown.
std::unique_ptr<TOGLWidget> ShownView(int State)
{
    auto view = std::make_unique<TOGLWidget>(nullptr);
    view->SetPicParams(PicW, PicH);
    view->SetActualSize(State);
    view->resize(ViewW, ViewH);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    view->DrawFrame(TestFrames().frame[0].data());
    return view;
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
    int i = 0;
    for (auto _ : state) {
        view.SetPic(TestFrames().frame[i ^= 1].data());
        benchmark::DoNotOptimize(view.GetPic());
        benchmark::ClobberMemory();
    }
    state.SetLabel("1920x1080 copy into the view, no paint");
    SetFps(state);
}

void DrawFrame(benchmark::State &state)
{
    const int mode = static_cast<int>(state.range(0));
    auto view = ShownView(mode);
    if (!view) {
        state.SkipWithError("the view was not exposed");
        return;
    }
    const quint64 paintsBefore = view->GetPaintCount();
    int i = 0;
    for (auto _ : state)
        view->DrawFrame(TestFrames().frame[i ^= 1].data());
    // Each call must have painted once; a shortfall would make the rate meaningless.
    if (view->GetPaintCount() - paintsBefore != static_cast<quint64>(state.iterations()))
        state.SkipWithError("DrawFrame did not paint every frame");
    state.SetLabel(mode == Qt::Checked ? "1920x1080 actual size in 1280x720 (crop + draw)"
                                       : "1920x1080 fit in 1280x720 (zoom 0.667)");
    SetFps(state);
}

} // namespace

BENCHMARK(CopyOnly)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(DrawFrame)
    ->Arg(Qt::Unchecked)
    ->Arg(Qt::Checked)
    ->ArgName("actual")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    benchmark::AddCustomContext("build_type", YUVPLAYER_BUILD_TYPE);
    benchmark::AddCustomContext("qt_version", qVersion());
    {
        // The renderer decides most of the figure: name it beside the results.
        auto view = ShownView(Qt::Unchecked);
        if (view) {
            view->makeCurrent();
            const auto *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
            benchmark::AddCustomContext("gl_renderer", renderer ? renderer : "unknown");
            view->doneCurrent();
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
