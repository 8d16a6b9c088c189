#include "PixelOrder.h"
#include "ReferenceConversion.h"
#include "TestRows.h"
#include "YUVConversion.h"
#include "YUVConversionPaths.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

Q_DECLARE_METATYPE(TYUVFormat)
Q_DECLARE_METATYPE(yuv::TConversionPath)
Q_DECLARE_METATYPE(TPlaneSwitches)

using namespace testsupport;

// Every conversion path (scalar tables, SSE4.1, AVX2) is forced in turn and compared byte for byte
// with the independent reference. Set YUV_SKIP_EXHAUSTIVE=1 to leave out the sweeps over all 256^3
// samples and most plane-switch combinations at 1920 x 1080 (for runs under a memory checker).

// Counts the allocations made through operator new on this thread while CountingAllocations is
// set (noAllocationPerFrame).
namespace {
thread_local bool CountingAllocations = false;
thread_local long AllocationCount = 0;
} // namespace

void *operator new(std::size_t size)
{
    if (CountingAllocations)
        ++AllocationCount;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

constexpr uint8_t Sentinel = 0xA5;

const yuv::TConversionPath AllPaths[]
    = {yuv::TConversionPath::Scalar, yuv::TConversionPath::SSE41, yuv::TConversionPath::AVX2};

const struct
{
    const char *Name;
    TYUVFormat Format;
} AllFormats[] = {{"yuv420", YUV420}, {"yuv422", YUV422}, {"yuv444", YUV444}};

// One row for every conversion path in every chroma layout.
void AddPathAndLayoutRows()
{
    QTest::addColumn<yuv::TConversionPath>("path");
    QTest::addColumn<TYUVFormat>("format");
    for (const yuv::TConversionPath path : AllPaths)
        for (const auto &f : AllFormats)
            QTest::addRow("%s-%s", yuv::ConversionPathName(path), f.Name) << path << f.Format;
}

bool SkipExhaustive()
{
    return qEnvironmentVariableIntValue("YUV_SKIP_EXHAUSTIVE") != 0;
}

TPlaneSwitches Switches(bool y, bool u, bool v)
{
    TPlaneSwitches s;
    s.Y = y;
    s.U = u;
    s.V = v;
    return s;
}

// The eight combinations of the plane switches, all on first.
std::vector<TPlaneSwitches> EverySwitchCombination()
{
    std::vector<TPlaneSwitches> all;
    for (int bits = 7; bits >= 0; --bits)
        all.push_back(Switches(bits & 4, bits & 2, bits & 1));
    return all;
}

// "all-planes", "all-off", or the planes that are off: "y-off", "u-v-off", ...
QByteArray SwitchTag(TPlaneSwitches p)
{
    if (p.Y && p.U && p.V)
        return "all-planes";
    if (!p.Y && !p.U && !p.V)
        return "all-off";
    QByteArray tag;
    for (const auto &[on, name] :
        {std::pair(p.Y, "y-"), std::pair(p.U, "u-"), std::pair(p.V, "v-")})
        if (!on)
            tag += name;
    return tag + "off";
}

// Forces the row's path; skips the row when this processor cannot run it.
#define USE_PATH(path)                                                                             \
    do {                                                                                           \
        if (!yuv::SetConversionPath(path))                                                         \
            QSKIP(qPrintable(                                                                      \
                QStringLiteral("this processor has no %1").arg(yuv::ConversionPathName(path))));   \
    } while (false)

// Bytes that end right where an inaccessible page begins, so that any read past them stops the
// test with a fault instead of passing unnoticed.
class TGuardedBytes
{
public:
    explicit TGuardedBytes(size_t size)
        : Size(size)
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        Span = (size + page - 1) / page * page + page;
        void *p = mmap(nullptr, Span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            qFatal("cannot map %zu bytes", Span);
        Base = static_cast<uint8_t *>(p);
        if (mprotect(Base + Span - page, page, PROT_NONE) != 0)
            qFatal("cannot protect the guard page");
        Bytes = Base + Span - page - size;
    }
    ~TGuardedBytes() { munmap(Base, Span); }
    TGuardedBytes(const TGuardedBytes &) = delete;
    TGuardedBytes &operator=(const TGuardedBytes &) = delete;

    uint8_t *Data() const { return Bytes; }
    void Fill(QRandomGenerator &rng)
    {
        for (size_t i = 0; i < Size; ++i)
            Bytes[i] = static_cast<uint8_t>(rng.bounded(256));
    }

private:
    size_t Size;
    size_t Span = 0;
    uint8_t *Base = nullptr;
    uint8_t *Bytes = nullptr;
};

// Planes of exactly the sizes the conversion may read: W*H luma bytes and ChromaReadExtent chroma
// bytes, each followed by a guard page.
struct TGuardedFrame
{
    TGuardedBytes Y, U, V;
    TGuardedFrame(int W, int H, TYUVFormat format, QRandomGenerator &rng)
        : Y(static_cast<size_t>(W) * H)
        , U(static_cast<size_t>(yuv::ChromaReadExtent(W, H, format)))
        , V(static_cast<size_t>(yuv::ChromaReadExtent(W, H, format)))
    {
        Y.Fill(rng);
        U.Fill(rng);
        V.Fill(rng);
    }
};

// Plane buffers large enough for the truncating chroma index of odd sizes, filled at random.
struct TRandomFrame
{
    std::vector<uint8_t> Y, U, V;
    TRandomFrame(int W, int H, TYUVFormat format, quint32 seed)
    {
        QRandomGenerator rng(seed);
        const int chroma
            = std::max(yuv::ChromaPlaneSize(W, H, format), yuv::ChromaReadExtent(W, H, format));
        for (auto *plane : {&Y, &U, &V}) {
            plane->resize(plane == &Y ? W * H : chroma);
            for (auto &b : *plane)
                b = static_cast<uint8_t>(rng.bounded(256));
        }
    }
};

// Where two RGB buffers of W-pixel rows first differ, in words; empty when they are equal. Bytes
// from size on are the sentinels after the picture.
QString FirstDifference(
    const std::vector<uint8_t> &got, const std::vector<uint8_t> &want, int W, size_t size)
{
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
    if (diff.first == got.end())
        return {};
    const size_t at = static_cast<size_t>(diff.first - got.begin());
    return QStringLiteral("byte %1 (%2) is %3, want %4")
        .arg(at)
        .arg(at >= size ? QStringLiteral("past the picture")
                        : QStringLiteral("row %1 from the bottom, column %2")
                              .arg(at / (3 * W))
                              .arg(at % (3 * W) / 3))
        .arg(*diff.first)
        .arg(*diff.second);
}

// Converts with the active path into a buffer with sentinel bytes after the picture and checks the
// whole buffer, sentinels included, against the reference.
bool MatchesReference(const uint8_t *y, const uint8_t *u, const uint8_t *v, int W, int H,
    TYUVFormat format, TPlaneSwitches planes, QString *where)
{
    const size_t size = 3 * static_cast<size_t>(W) * H;
    std::vector<uint8_t> got(size + 64, Sentinel), want(size + 64, Sentinel);
    yuv::ConvertYUVToRGB(got.data(), y, u, v, W, H, format, planes);
    ReferenceFrame(want, y, u, v, W, H, format, planes);
    *where = FirstDifference(got, want, W, size);
    if (where->isEmpty())
        return true;
    *where = QStringLiteral("%1x%2 %3: ").arg(W).arg(H).arg(QString::fromLatin1(SwitchTag(planes)))
        + *where;
    return false;
}

} // namespace

class TestYUVConversion : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    // Choosing a path.
    void bestPathIsActiveAtStart();
    void pathSelection();

    // Every path against the reference.
    void workedValues_data();
    void workedValues();
    void everyChromaPair_data();
    void everyChromaPair();
    void everyTriple_data();
    void everyTriple();
    void randomGeometries_data();
    void randomGeometries();
    void fullHD_data();
    void fullHD();
    void noAllocationPerFrame_data();
    void noAllocationPerFrame();

    // The buffer layout, with the path the library picks.
    void layouts_data();
    void layouts();
    void rowsAreBottomUp();
    void oddWidthChromaIndex();
    void unsupportedSizeWritesNothing_data();
    void unsupportedSizeWritesNothing();

    // The view's pixel rearrangements, on each path.
    void pixelOrder_data();
    void pixelOrder();
};

void TestYUVConversion::cleanup()
{
    yuv::SetConversionPath(yuv::BestConversionPath());
}

void TestYUVConversion::bestPathIsActiveAtStart()
{
    QCOMPARE(yuv::ActiveConversionPath(), yuv::BestConversionPath());
    QVERIFY(yuv::IsConversionPathSupported(yuv::BestConversionPath()));
    QVERIFY(yuv::IsConversionPathSupported(yuv::TConversionPath::Scalar));
    qInfo("conversion path chosen for this processor: %s",
        yuv::ConversionPathName(yuv::BestConversionPath()));
}

void TestYUVConversion::pathSelection()
{
    for (const yuv::TConversionPath path : AllPaths) {
        const yuv::TConversionPath before = yuv::ActiveConversionPath();
        const bool supported = yuv::IsConversionPathSupported(path);
        QCOMPARE(yuv::SetConversionPath(path), supported);
        QCOMPARE(yuv::ActiveConversionPath(), supported ? path : before);
    }
    // Paths are ordered by width: one that is supported implies every narrower one is.
    QVERIFY(!yuv::IsConversionPathSupported(yuv::TConversionPath::AVX2)
        || yuv::IsConversionPathSupported(yuv::TConversionPath::SSE41));
    QVERIFY(!yuv::IsConversionPathSupported(static_cast<yuv::TConversionPath>(99)));
    QVERIFY(!yuv::SetConversionPath(static_cast<yuv::TConversionPath>(-1)));
}

void TestYUVConversion::workedValues_data()
{
    QTest::addColumn<yuv::TConversionPath>("path");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::addColumn<bool>("yOn");
    QTest::addColumn<bool>("uOn");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    for (const yuv::TConversionPath path : AllPaths) {
        const char *p = yuv::ConversionPathName(path);
        auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s-%s", p, name) << path;
        };
        row("grey-128") << 128 << 128 << 128 << true << true << 128 << 128 << 128;
        row("worked-81-90-240") << 81 << 90 << 240 << true << true << 238 << 13 << 13;
        row("worked-145-54-34") << 145 << 54 << 34 << true << true << 12 << 237 << 13;
        row("worked-41-240-110") << 41 << 240 << 110 << true << true << 15 << 15 << 240;
        row("worked-235-128-128") << 235 << 128 << 128 << true << true << 235 << 235 << 235;
        row("worked-255-0-255") << 255 << 0 << 255 << true << true << 255 << 208 << 27;
        row("worked-0-255-0") << 0 << 255 << 0 << true << true << 0 << 47 << 225;
        row("exception-150-30-238") << 150 << 30 << 238 << true << true << 255 << 104 << 0;
        row("exception-100-95-63") << 100 << 95 << 63 << true << true << 8 << 157 << 41;
        // The mirror images of the exception pairs are exact: G = Y + 45 and Y - 58.
        row("mirror-100-226-18") << 100 << 226 << 18 << true << true << 0 << 145 << 255;
        row("mirror-100-161-193") << 100 << 161 << 193 << true << true << 191 << 42 << 158;
        row("y-off-neutral") << 17 << 128 << 128 << false << true << 100 << 100 << 100;
        row("y-off-200-60") << 240 << 200 << 60 << false << true << 4 << 123 << 228;
        row("u-off-81-90-240") << 81 << 90 << 240 << true << false << 238 << 0 << 81;
    }
}

// Each value on a one-pixel picture and in every column of a 40-pixel one, so that it passes
// through the vector code as well as the scalar tail.
void TestYUVConversion::workedValues()
{
    QFETCH(yuv::TConversionPath, path);
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);
    QFETCH(bool, yOn);
    QFETCH(bool, uOn);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    USE_PATH(path);
    for (const TYUVFormat format : {YUV420, YUV422, YUV444}) {
        for (const int W : {1, 40}) {
            const std::vector<uint8_t> py(2 * W, static_cast<uint8_t>(y));
            const std::vector<uint8_t> pu(2 * W, static_cast<uint8_t>(u));
            const std::vector<uint8_t> pv(2 * W, static_cast<uint8_t>(v));
            std::vector<uint8_t> rgb(3 * W + 1, Sentinel);
            yuv::ConvertYUVToRGB(rgb.data(), py.data(), pu.data(), pv.data(), W, 1, format,
                Switches(yOn, uOn, true));
            for (int x = 0; x < W; ++x) {
                QCOMPARE(int(rgb[3 * x]), r);
                QCOMPARE(int(rgb[3 * x + 1]), g);
                QCOMPARE(int(rgb[3 * x + 2]), b);
            }
            QCOMPARE(rgb[3 * W], Sentinel);
        }
    }
}

void TestYUVConversion::everyChromaPair_data()
{
    AddPathAndLayoutRows();
}

// All 65536 (U, V) pairs, each on two neighbouring pixels of luma 0 and 255, in every layout and
// every plane-switch combination. The conversion adds a whole-number offset per chroma pair to the
// luma and clamps: at luma 0 every offset of 0 or more shows unclamped, at luma 255 every offset of
// 0 or less, so these pictures pin down each path's offset for every pair (and clamping is
// monotonic, so every other luma follows). everyTriple checks all lumas outright.
void TestYUVConversion::everyChromaPair()
{
    QFETCH(yuv::TConversionPath, path);
    QFETCH(TYUVFormat, format);
    USE_PATH(path);
    // U along the chroma columns, V along the chroma rows.
    constexpr int W = 512;
    const int H = format == YUV420 ? 512 : 256;
    const int chromaW = format == YUV444 ? W : W / 2;
    std::vector<uint8_t> y(W * H), u(chromaW * 256), v(chromaW * 256);
    for (int row = 0; row < H; ++row)
        for (int x = 0; x < W; ++x)
            y[row * W + x] = (x & 1) ? 255 : 0;
    for (int cRow = 0; cRow < 256; ++cRow) {
        for (int c = 0; c < chromaW; ++c) {
            // In 4:4:4 two neighbouring columns carry the same pair.
            u[cRow * chromaW + c] = static_cast<uint8_t>(format == YUV444 ? c >> 1 : c);
            v[cRow * chromaW + c] = static_cast<uint8_t>(cRow);
        }
    }
    for (const TPlaneSwitches planes : EverySwitchCombination()) {
        QString where;
        if (!MatchesReference(y.data(), u.data(), v.data(), W, H, format, planes, &where))
            QFAIL(qPrintable(where));
    }
}

void TestYUVConversion::everyTriple_data()
{
    QTest::addColumn<yuv::TConversionPath>("path");
    QTest::addColumn<bool>("y");
    QTest::addColumn<bool>("u");
    QTest::addColumn<bool>("v");
    for (const yuv::TConversionPath path : AllPaths) {
        const char *p = yuv::ConversionPathName(path);
        QTest::addRow("%s-all-planes", p) << path << true << true << true;
        QTest::addRow("%s-y-off", p) << path << false << true << true;
        QTest::addRow("%s-u-off", p) << path << true << false << true;
        QTest::addRow("%s-v-off", p) << path << true << true << false;
    }
}

// All 256^3 (Y, U, V) triples: one 256 x 256 4:4:4 picture per luma value, U along the columns
// and V along the rows, compared byte for byte with the reference.
void TestYUVConversion::everyTriple()
{
    QFETCH(yuv::TConversionPath, path);
    QFETCH(bool, y);
    QFETCH(bool, u);
    QFETCH(bool, v);
    USE_PATH(path);
    if (SkipExhaustive())
        QSKIP("YUV_SKIP_EXHAUSTIVE is set");
    const TPlaneSwitches planes = Switches(y, u, v);
    constexpr int N = 256;
    std::vector<uint8_t> lumaPlane(N * N), uPlane(N * N), vPlane(N * N), rgb(N * N * 3);
    for (int row = 0; row < N; ++row)
        for (int col = 0; col < N; ++col) {
            uPlane[row * N + col] = static_cast<uint8_t>(col);
            vPlane[row * N + col] = static_cast<uint8_t>(row);
        }
    for (int luma = 0; luma < 256; ++luma) {
        std::fill(lumaPlane.begin(), lumaPlane.end(), static_cast<uint8_t>(luma));
        yuv::ConvertYUVToRGB(
            rgb.data(), lumaPlane.data(), uPlane.data(), vPlane.data(), N, N, YUV444, planes);
        for (int row = 0; row < N; ++row) {
            const uint8_t *px = rgb.data() + 3 * N * (N - 1 - row);
            for (int col = 0; col < N; ++col, px += 3) {
                const TRGB want = ReferencePixel(luma, col, row, planes);
                if (px[0] != want.R || px[1] != want.G || px[2] != want.B)
                    QFAIL(qPrintable(QString("Y %1 U %2 V %3: got (%4, %5, %6), want (%7, %8, %9)")
                                         .arg(luma)
                                         .arg(col)
                                         .arg(row)
                                         .arg(px[0])
                                         .arg(px[1])
                                         .arg(px[2])
                                         .arg(want.R)
                                         .arg(want.G)
                                         .arg(want.B)));
            }
        }
    }
}

void TestYUVConversion::randomGeometries_data()
{
    AddPathAndLayoutRows();
}

// Every width from 1 to 100 (below, at and across the vector widths, odd ones with the truncating
// chroma index) with odd and even heights and every plane-switch combination, from planes that end
// at a guard page, into a buffer with sentinels after the picture.
void TestYUVConversion::randomGeometries()
{
    QFETCH(yuv::TConversionPath, path);
    QFETCH(TYUVFormat, format);
    USE_PATH(path);
    QRandomGenerator rng(1234 + static_cast<quint32>(format));
    const std::vector<TPlaneSwitches> combinations = EverySwitchCombination();
    for (int W = 1; W <= 100; ++W) {
        for (const int H : {1, 2, 3, 5, 6, 7, 9}) {
            const TGuardedFrame frame(W, H, format, rng);
            for (const TPlaneSwitches planes : combinations) {
                QString where;
                if (!MatchesReference(frame.Y.Data(), frame.U.Data(), frame.V.Data(), W, H, format,
                        planes, &where))
                    QFAIL(qPrintable(where));
            }
        }
    }
}

void TestYUVConversion::fullHD_data()
{
    QTest::addColumn<TYUVFormat>("format");
    QTest::addColumn<TPlaneSwitches>("planes");
    QTest::addColumn<yuv::TConversionPath>("path");
    // The paths of one layout and switch combination follow each other, so that they share one
    // frame and one reference picture.
    for (const auto &f : AllFormats)
        for (const TPlaneSwitches planes : EverySwitchCombination())
            for (const yuv::TConversionPath path : AllPaths)
                QTest::addRow("%s-1920x1080-%s-%s", f.Name, SwitchTag(planes).constData(),
                    yuv::ConversionPathName(path))
                    << f.Format << planes << path;
}

// The largest picture, random samples, for each layout, plane-switch combination and path.
void TestYUVConversion::fullHD()
{
    QFETCH(TYUVFormat, format);
    QFETCH(TPlaneSwitches, planes);
    QFETCH(yuv::TConversionPath, path);
    USE_PATH(path);
    const bool allOrNone
        = (planes.Y && planes.U && planes.V) || !(planes.Y || planes.U || planes.V);
    if (SkipExhaustive() && !allOrNone)
        QSKIP("YUV_SKIP_EXHAUSTIVE is set");
    constexpr int W = 1920, H = 1080;
    const size_t size = 3 * static_cast<size_t>(W) * H;
    static struct
    {
        int Format = -1;
        QByteArray Planes;
        std::unique_ptr<TGuardedFrame> Frame;
        std::vector<uint8_t> Want;
    } shared;
    if (shared.Format != format || shared.Planes != SwitchTag(planes)) {
        if (shared.Format != format) {
            QRandomGenerator rng(77 + static_cast<quint32>(format));
            shared.Frame = std::make_unique<TGuardedFrame>(W, H, format, rng);
        }
        shared.Format = format;
        shared.Planes = SwitchTag(planes);
        shared.Want.assign(size + 64, Sentinel);
        ReferenceFrame(shared.Want, shared.Frame->Y.Data(), shared.Frame->U.Data(),
            shared.Frame->V.Data(), W, H, format, planes);
    }
    std::vector<uint8_t> got(size + 64, Sentinel);
    yuv::ConvertYUVToRGB(got.data(), shared.Frame->Y.Data(), shared.Frame->U.Data(),
        shared.Frame->V.Data(), W, H, format, planes);
    QCOMPARE(FirstDifference(got, shared.Want, W, size), QString());
}

void TestYUVConversion::noAllocationPerFrame_data()
{
    QTest::addColumn<yuv::TConversionPath>("path");
    for (const yuv::TConversionPath path : AllPaths)
        QTest::addRow("%s", yuv::ConversionPathName(path)) << path;
}

// The conversion runs once per frame on the GUI thread: after its first use (which sets up its
// tables) it must not allocate, in any layout, size or plane-switch combination.
void TestYUVConversion::noAllocationPerFrame()
{
    QFETCH(yuv::TConversionPath, path);
    USE_PATH(path);
    const std::vector<uint8_t> samples(yuv::MaxPlaneSize, 77);
    std::vector<uint8_t> rgb(yuv::MaxRGBSize);
    const std::vector<TPlaneSwitches> combinations = EverySwitchCombination();
    auto convertAll = [&] {
        for (const TYUVFormat format : {YUV420, YUV422, YUV444})
            for (const auto &[W, H] : {std::pair(1920, 1080), std::pair(37, 5), std::pair(1, 1)})
                for (const TPlaneSwitches planes : combinations)
                    yuv::ConvertYUVToRGB(rgb.data(), samples.data(), samples.data(), samples.data(),
                        W, H, format, planes);
    };
    convertAll();
    AllocationCount = 0;
    CountingAllocations = true;
    convertAll();
    CountingAllocations = false;
    QCOMPARE(AllocationCount, 0L);
}

void TestYUVConversion::layouts_data()
{
    QTest::addColumn<TYUVFormat>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const auto &f : AllFormats) {
        for (int w : {1, 2, 3, 5, 16, 33}) {
            for (int h : {1, 3, 7}) {
                QTest::addRow("%s-%dx%d", f.Name, w, h) << f.Format << w << h;
            }
        }
    }
}

// Random frames of every layout, odd sizes included, against the reference; nothing past the
// picture is written.
void TestYUVConversion::layouts()
{
    QFETCH(TYUVFormat, format);
    QFETCH(int, width);
    QFETCH(int, height);
    const TRandomFrame frame(width, height, format, static_cast<quint32>(width * 7919 + height));
    for (const TPlaneSwitches planes :
        {Switches(true, true, true), Switches(false, true, false), Switches(true, false, true)}) {
        QString where;
        if (!MatchesReference(frame.Y.data(), frame.U.data(), frame.V.data(), width, height, format,
                planes, &where))
            QFAIL(qPrintable(where));
    }
}

void TestYUVConversion::rowsAreBottomUp()
{
    // 4 x 2, 4:4:4, neutral chroma: grey levels 10..13 on the top row, 20..23 on the bottom row.
    const uint8_t y[8] = {10, 11, 12, 13, 20, 21, 22, 23};
    const uint8_t c[8] = {128, 128, 128, 128, 128, 128, 128, 128};
    uint8_t rgb[24];
    yuv::ConvertYUVToRGB(rgb, y, c, c, 4, 2, YUV444, {});
    for (int x = 0; x < 4; ++x) {
        QCOMPARE(int(rgb[3 * x]), 20 + x); // first 12 bytes: the bottom row
        QCOMPARE(int(rgb[12 + 3 * x]), 10 + x);
    }
}

void TestYUVConversion::oddWidthChromaIndex()
{
    // 5 x 2 in 4:2:0: the chroma stride is 2, so column 4 takes chroma index 2, the first sample
    // of the second chroma row.
    const uint8_t y[10] = {128, 128, 128, 128, 128, 128, 128, 128, 128, 128};
    const uint8_t u[3] = {128, 128, 200};
    const uint8_t v[3] = {128, 128, 128};
    uint8_t rgb[30];
    yuv::ConvertYUVToRGB(rgb, y, u, v, 5, 2, YUV420, {});
    const TRGB shifted = ReferencePixel(128, 200, 128);
    for (int row = 0; row < 2; ++row) {
        const uint8_t *px = rgb + 15 * row;
        QCOMPARE(int(px[3 * 3 + 2]), 128); // column 3: chroma index 1
        QCOMPARE(int(px[3 * 4 + 2]), shifted.B); // column 4: chroma index 2
    }
}

void TestYUVConversion::unsupportedSizeWritesNothing_data()
{
    AddUnsupportedSizeRows();
}

void TestYUVConversion::unsupportedSizeWritesNothing()
{
    QFETCH(int, width);
    QFETCH(int, height);
    std::vector<uint8_t> planes(4096, 128), rgb(64, Sentinel);
    for (const yuv::TConversionPath path : AllPaths) {
        if (!yuv::SetConversionPath(path))
            continue;
        yuv::ConvertYUVToRGB(
            rgb.data(), planes.data(), planes.data(), planes.data(), width, height, YUV444, {});
        QVERIFY(std::all_of(rgb.begin(), rgb.end(), [](uint8_t b) { return b == Sentinel; }));
    }
}

void TestYUVConversion::pixelOrder_data()
{
    QTest::addColumn<yuv::TConversionPath>("path");
    QTest::addColumn<int>("count");
    // Eight and four pixels a vector step: every remainder and the shortest counts reach each loop.
    for (const yuv::TConversionPath path : AllPaths) {
        for (int count : {1, 3, 5, 6, 7, 8, 9, 10, 13, 14, 1919})
            QTest::addRow("%s-%d", yuv::ConversionPathName(path), count) << path << count;
    }
}

// Expanded to B, G, R, 255 and compacted back, every pixel is as it was; a sentinel past each end
// catches a step that writes beyond the last pixel.
void TestYUVConversion::pixelOrder()
{
    QFETCH(yuv::TConversionPath, path);
    QFETCH(int, count);
    USE_PATH(path);
    const size_t n = static_cast<size_t>(count);
    std::vector<unsigned char> src(3 * n), back(3 * n + 16, Sentinel);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<unsigned char>(i * 37 + 11);
    std::vector<unsigned char> bgra(4 * n + 16, Sentinel);
    yuv::ExpandRGBToBGRA(src.data(), bgra.data(), n);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char *s = &src[3 * i];
        const unsigned char want[4] = {s[2], s[1], s[0], 0xff};
        QVERIFY2(std::equal(want, want + 4, &bgra[4 * i]), qPrintable(QString::number(i)));
    }
    yuv::CompactBGRAToRGB(bgra.data(), back.data(), n);
    QVERIFY(std::equal(src.begin(), src.end(), back.begin()));
    auto untouched = [](auto from, auto to) {
        return std::all_of(from, to, [](unsigned char b) { return b == Sentinel; });
    };
    QVERIFY(untouched(bgra.begin() + 4 * count, bgra.end()));
    QVERIFY(untouched(back.begin() + 3 * count, back.end()));
}

QTEST_APPLESS_MAIN(TestYUVConversion)
#include "tst_yuvconversion.moc"
