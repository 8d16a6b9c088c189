// Frame path benchmarks, all in one run and interleaved, for each layout at 1920 x 1080 and
// 352 x 288:
//   - our colour conversion on every path this processor runs (scalar tables, SSE4.1, AVX2);
//   - the same job by two peers, when they were found at build time: libyuv (I420ToRAW,
//     I422ToRAW, I444ToRAW; RAW is R, G, B in memory) and swscale (yuv420p, yuv422p, yuv444p to
//     rgb24), both writing bottom-up rows like ours (negative height, negative stride);
//   - the whole frame load of the reader (seek, three reads, conversion) from a file in the page
//     cache, and the reads alone.
// Every figure is the median over interleaved repetitions, single thread, wall-clock time; the
// summary at the end gives milliseconds per frame, frames per second and each figure's ratio to
// libyuv. The peers only serve as yardsticks here: the player never links them.
//
// Defaults (each can be overridden on the command line): --benchmark_repetitions=7
// --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2

#include "BenchMachine.h"
#include "TYUVReader.h"
#include "YUVConversion.h"
#include "YUVConversionPaths.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#ifdef BENCH_HAVE_LIBYUV
#include <libyuv.h>
#endif
#ifdef BENCH_HAVE_SWSCALE
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#endif

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct TSize
{
    int W, H;
};

constexpr TSize Sizes[] = {{1920, 1080}, {352, 288}};
constexpr TYUVFormat Formats[] = {YUV420, YUV422, YUV444};
constexpr yuv::TConversionPath Paths[]
    = {yuv::TConversionPath::Scalar, yuv::TConversionPath::SSE41, yuv::TConversionPath::AVX2};

const char *LayoutName(TYUVFormat f)
{
    return f == YUV420 ? "yuv420" : (f == YUV422 ? "yuv422" : "yuv444");
}

int ChromaWidth(int W, TYUVFormat f)
{
    return f == YUV444 ? W : W / 2;
}

// Random planes and an RGB buffer of the largest size, shared by every benchmark.
struct TPlanes
{
    std::vector<unsigned char> Y, U, V, RGB;
    TPlanes()
        : Y(yuv::MaxPlaneSize)
        , U(yuv::MaxPlaneSize)
        , V(yuv::MaxPlaneSize)
        , RGB(yuv::MaxRGBSize)
    {
        std::mt19937 rng(1);
        for (auto *p : {&Y, &U, &V})
            for (auto &b : *p)
                b = static_cast<unsigned char>(rng());
    }
};

TPlanes &Planes()
{
    static TPlanes planes;
    return planes;
}

void Ours(benchmark::State &state, TSize s, TYUVFormat f, yuv::TConversionPath path)
{
    if (!yuv::SetConversionPath(path)) {
        state.SkipWithError("this processor cannot run the path");
        return;
    }
    TPlanes &p = Planes();
    for (auto _ : state) {
        yuv::ConvertYUVToRGB(p.RGB.data(), p.Y.data(), p.U.data(), p.V.data(), s.W, s.H, f, {});
        benchmark::ClobberMemory();
    }
    yuv::SetConversionPath(yuv::BestConversionPath());
}

#ifdef BENCH_HAVE_LIBYUV
void LibYUV(benchmark::State &state, TSize s, TYUVFormat f)
{
    TPlanes &p = Planes();
    const int cw = ChromaWidth(s.W, f);
    auto convert
        = f == YUV420 ? libyuv::I420ToRAW : (f == YUV422 ? libyuv::I422ToRAW : libyuv::I444ToRAW);
    for (auto _ : state) {
        // A negative height makes libyuv write the rows bottom-up.
        convert(p.Y.data(), s.W, p.U.data(), cw, p.V.data(), cw, p.RGB.data(), 3 * s.W, s.W, -s.H);
        benchmark::ClobberMemory();
    }
}
#endif

#ifdef BENCH_HAVE_SWSCALE
void SwScale(benchmark::State &state, TSize s, TYUVFormat f)
{
    const AVPixelFormat in = f == YUV420 ? AV_PIX_FMT_YUV420P
                                         : (f == YUV422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV444P);
    // Bicubic is what the ffmpeg command line asks for by default; at an unchanged size it only
    // matters where swscale upsamples chroma in its general path.
    SwsContext *ctx = sws_getContext(
        s.W, s.H, in, s.W, s.H, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!ctx) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    TPlanes &p = Planes();
    const int cw = ChromaWidth(s.W, f);
    const uint8_t *const src[4] = {p.Y.data(), p.U.data(), p.V.data(), nullptr};
    const int srcStride[4] = {s.W, cw, cw, 0};
    // The last row first with a negative stride: bottom-up rows.
    uint8_t *const dst[4]
        = {p.RGB.data() + static_cast<size_t>(s.H - 1) * 3 * s.W, nullptr, nullptr, nullptr};
    const int dstStride[4] = {-3 * s.W, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(ctx, src, srcStride, 0, s.H, dst, dstStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
}
#endif

// A stream of a few frames on disk, written once per geometry and read back from the page cache.
constexpr int StreamFrames = 8;

struct TStream
{
    QString Path;
    int FrameSize = 0;
    int YSize = 0;
    int UVSize = 0;
};

QTemporaryDir &StreamDir()
{
    static QTemporaryDir dir;
    return dir;
}

const TStream &Stream(TSize s, TYUVFormat f)
{
    static std::map<std::string, TStream> streams;
    const std::string key = std::to_string(s.W) + "x" + std::to_string(s.H) + LayoutName(f);
    auto it = streams.find(key);
    if (it != streams.end())
        return it->second;
    TStream st;
    st.Path = StreamDir().filePath(QString::fromStdString(key) + ".yuv");
    st.YSize = s.W * s.H;
    st.UVSize = yuv::ChromaPlaneSize(s.W, s.H, f);
    st.FrameSize = yuv::FrameSize(s.W, s.H, f);
    std::vector<unsigned char> frame(static_cast<size_t>(st.FrameSize));
    std::mt19937 rng(2);
    FILE *out = std::fopen(st.Path.toLocal8Bit().constData(), "wb");
    for (int i = 0; out && i < StreamFrames; ++i) {
        for (auto &b : frame)
            b = static_cast<unsigned char>(rng());
        std::fwrite(frame.data(), 1, frame.size(), out);
    }
    if (out)
        std::fclose(out);
    return streams.emplace(key, st).first->second;
}

void FrameLoad(benchmark::State &state, TSize s, TYUVFormat f)
{
    const TStream &st = Stream(s, f);
    TYUVReader reader;
    if (reader.OpenFile(st.Path) != 0) {
        state.SkipWithError("cannot open the stream");
        return;
    }
    reader.SetFileParams(s.W, s.H, f);
    int pos = 0;
    for (auto _ : state) {
        pos = (pos + 1) % StreamFrames;
        reader.GotoPos(pos); // seek, three reads and the conversion
        benchmark::DoNotOptimize(reader.GetRGBBuffer());
    }
}

// The reads of a frame load without the conversion, as the reader does them.
void ReadsOnly(benchmark::State &state, TSize s, TYUVFormat f)
{
    const TStream &st = Stream(s, f);
    FILE *in = fopen64(st.Path.toLocal8Bit().constData(), "rb");
    if (!in) {
        state.SkipWithError("cannot open the stream");
        return;
    }
    TPlanes &p = Planes();
    int pos = 0;
    for (auto _ : state) {
        pos = (pos + 1) % StreamFrames;
        fseeko64(in, static_cast<long long>(pos) * st.FrameSize, SEEK_SET);
        benchmark::DoNotOptimize(std::fread(p.Y.data(), 1, st.YSize, in));
        benchmark::DoNotOptimize(std::fread(p.U.data(), 1, st.UVSize, in));
        benchmark::DoNotOptimize(std::fread(p.V.data(), 1, st.UVSize, in));
        benchmark::ClobberMemory();
    }
    std::fclose(in);
}

std::string Name(TSize s, TYUVFormat f, const std::string &what)
{
    return std::to_string(s.W) + "x" + std::to_string(s.H) + "/" + LayoutName(f) + "/" + what;
}

// The names of one size and layout, in the order the summary lists them.
std::vector<std::string> Contenders()
{
    std::vector<std::string> all;
    for (const yuv::TConversionPath path : Paths)
        all.push_back(std::string("ours-") + yuv::ConversionPathName(path));
    all.insert(all.end(), {"libyuv", "swscale", "frame-load", "reads-only"});
    return all;
}

void RegisterAll()
{
    for (const TSize s : Sizes) {
        for (const TYUVFormat f : Formats) {
            for (const yuv::TConversionPath path : Paths)
                if (yuv::IsConversionPathSupported(path))
                    benchmark::RegisterBenchmark(
                        Name(s, f, std::string("ours-") + yuv::ConversionPathName(path)).c_str(),
                        Ours, s, f, path)
                        ->Unit(benchmark::kMillisecond)
                        ->UseRealTime();
#ifdef BENCH_HAVE_LIBYUV
            benchmark::RegisterBenchmark(Name(s, f, "libyuv").c_str(), LibYUV, s, f)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
#endif
#ifdef BENCH_HAVE_SWSCALE
            benchmark::RegisterBenchmark(Name(s, f, "swscale").c_str(), SwScale, s, f)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
#endif
            benchmark::RegisterBenchmark(Name(s, f, "frame-load").c_str(), FrameLoad, s, f)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(Name(s, f, "reads-only").c_str(), ReadsOnly, s, f)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

// Passes everything on to the console and keeps each benchmark's times for the summary.
class TSummaryReporter : public benchmark::ConsoleReporter
{
public:
    TSummaryReporter()
        : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular)
    { }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.function_name;
            // Times in milliseconds per frame (every benchmark uses the millisecond unit).
            if (run.run_type == Run::RT_Iteration)
                Samples[name].push_back(run.GetAdjustedRealTime());
            else if (run.aggregate_name == "median")
                Medians[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The median of the repetitions (taken from the library's own aggregate when it made one).
    bool Median(const std::string &name, double *ms, size_t *count) const
    {
        const auto s = Samples.find(name);
        *count = s == Samples.end() ? 0 : s->second.size();
        const auto m = Medians.find(name);
        if (m != Medians.end()) {
            *ms = m->second;
            return true;
        }
        if (*count == 0)
            return false;
        std::vector<double> v = s->second;
        std::sort(v.begin(), v.end());
        *ms = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        return true;
    }

private:
    std::map<std::string, std::vector<double>> Samples;
    std::map<std::string, double> Medians;
};

void PrintSummary(const TSummaryReporter &reporter)
{
    std::printf("\nMachine: %s; compiler: %s; build type %s; flags \"%s\" (vector kernels "
                "add -msse4.1 / -mavx2); conversion path picked: %s\n",
        bench::CpuModel().c_str(), bench::Compiler().c_str(), bench::BuildType().c_str(),
        bench::CompilerFlags().c_str(), yuv::ConversionPathName(yuv::BestConversionPath()));
    std::printf("Medians of interleaved repetitions, one thread, wall-clock time. Ratio = time / "
                "libyuv's time (below 1 is faster than libyuv).\n\n");
    std::printf("%-10s %-7s %-12s %10s %10s %9s %5s\n", "size", "layout", "what", "ms/frame",
        "frames/s", "ratio", "runs");
    for (const TSize s : Sizes) {
        for (const TYUVFormat f : Formats) {
            double peer = 0;
            size_t peerRuns = 0;
            const bool havePeer = reporter.Median(Name(s, f, "libyuv"), &peer, &peerRuns);
            for (const std::string &what : Contenders()) {
                double ms = 0;
                size_t runs = 0;
                if (!reporter.Median(Name(s, f, what), &ms, &runs))
                    continue;
                const std::string size = std::to_string(s.W) + "x" + std::to_string(s.H);
                char ratio[32] = "-";
                if (havePeer && peer > 0)
                    std::snprintf(ratio, sizeof ratio, "%.2f", ms / peer);
                std::printf("%-10s %-7s %-12s %10.3f %10.1f %9s %5zu\n", size.c_str(),
                    LayoutName(f), what.c_str(), ms, 1000.0 / ms, ratio, runs);
            }
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Defaults first, so that the same flags given on the command line win.
    std::vector<char *> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=7";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char minTime[] = "--benchmark_min_time=0.2";
    args.insert(args.begin() + 1, {repetitions, interleave, minTime});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;

    Planes(); // filled before any timing
    RegisterAll();
    TSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return 0;
}
