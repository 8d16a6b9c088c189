// Frame path benchmarks: the colour conversion alone, and the whole frame load (seek, three reads,
// conversion) from a file in the page cache, for each layout at 1920 x 1080 and 352 x 288.

#include "TYUVReader.h"
#include "YUVConversion.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

const char *FormatName(TYUVFormat f)
{
    return f == YUV420 ? "420" : (f == YUV422 ? "422" : "444");
}

void Conversion(benchmark::State &state)
{
    const int W = static_cast<int>(state.range(0));
    const int H = static_cast<int>(state.range(1));
    const auto format = static_cast<TYUVFormat>(state.range(2));
    std::mt19937 rng(1);
    std::vector<unsigned char> y(yuv::MaxPlaneSize), u(yuv::MaxPlaneSize), v(yuv::MaxPlaneSize);
    for (auto *p : {&y, &u, &v})
        for (auto &b : *p)
            b = static_cast<unsigned char>(rng());
    std::vector<unsigned char> rgb(yuv::MaxRGBSize);
    for (auto _ : state) {
        yuv::ConvertYUVToRGB(rgb.data(), y.data(), u.data(), v.data(), W, H, format, {});
        benchmark::DoNotOptimize(rgb.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(W) + "x" + std::to_string(H) + " yuv" + FormatName(format));
    state.SetItemsProcessed(state.iterations());
}

void FrameLoad(benchmark::State &state)
{
    const int W = static_cast<int>(state.range(0));
    const int H = static_cast<int>(state.range(1));
    const auto format = static_cast<TYUVFormat>(state.range(2));
    constexpr int Frames = 16;
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.yuv");
    {
        const size_t frameSize = W * H + 2 * yuv::ChromaPlaneSize(W, H, format);
        std::vector<unsigned char> frame(frameSize);
        std::mt19937 rng(2);
        for (auto &b : frame)
            b = static_cast<unsigned char>(rng());
        FILE *f = std::fopen(path.toLocal8Bit().constData(), "wb");
        for (int i = 0; i < Frames; ++i)
            std::fwrite(frame.data(), 1, frame.size(), f);
        std::fclose(f);
    }
    TYUVReader reader;
    reader.OpenFile(path);
    reader.SetFileParams(W, H, format);
    int pos = 0;
    for (auto _ : state) {
        pos = (pos + 1) % Frames;
        reader.GotoPos(pos); // seek, three reads and the conversion
        benchmark::DoNotOptimize(reader.GetRGBBuffer());
    }
    state.SetLabel(std::to_string(W) + "x" + std::to_string(H) + " yuv" + FormatName(format));
    state.SetItemsProcessed(state.iterations());
}

void Sizes(benchmark::internal::Benchmark *b)
{
    for (int f : {YUV420, YUV422, YUV444}) {
        b->Args({1920, 1080, f});
        b->Args({352, 288, f});
    }
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(Conversion)->Apply(Sizes);
BENCHMARK(FrameLoad)->Apply(Sizes);

BENCHMARK_MAIN();
