#include "ReferenceConversion.h"
#include "YUVConversion.h"

#include <QRandomGenerator>
#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(TYUVFormat)

namespace {

constexpr uint8_t Sentinel = 0xA5;

TPlaneSwitches Switches(bool y, bool u, bool v)
{
    TPlaneSwitches s;
    s.Y = y;
    s.U = u;
    s.V = v;
    return s;
}

// Plane buffers large enough for the truncating chroma index of odd sizes, filled at random.
struct TRandomFrame
{
    std::vector<uint8_t> Y, U, V;
    TRandomFrame(int W, int H, TYUVFormat format, quint32 seed)
    {
        QRandomGenerator rng(seed);
        const int chroma = std::max(yuv::ChromaPlaneSize(W, H, format),
                                    yuv::ChromaReadExtent(W, H, format));
        for (auto *plane : {&Y, &U, &V}) {
            plane->resize(plane == &Y ? W * H : chroma);
            for (auto &b : *plane)
                b = static_cast<uint8_t>(rng.bounded(256));
        }
    }
};

} // namespace

class TestYUVConversion : public QObject
{
    Q_OBJECT

private slots:
    void everyTriple_data();
    void everyTriple();
    void workedValues_data();
    void workedValues();
    void layouts_data();
    void layouts();
    void rowsAreBottomUp();
    void oddWidthChromaIndex();
    void unsupportedSizeWritesNothing_data();
    void unsupportedSizeWritesNothing();
};

void TestYUVConversion::everyTriple_data()
{
    QTest::addColumn<bool>("y");
    QTest::addColumn<bool>("u");
    QTest::addColumn<bool>("v");
    QTest::newRow("all-planes") << true << true << true;
    QTest::newRow("y-off") << false << true << true;
    QTest::newRow("u-off") << true << false << true;
    QTest::newRow("v-off") << true << true << false;
}

// All 256^3 (Y, U, V) triples: one 256 x 256 4:4:4 picture per luma value, U along the columns
// and V along the rows, compared byte for byte with the reference.
void TestYUVConversion::everyTriple()
{
    QFETCH(bool, y);
    QFETCH(bool, u);
    QFETCH(bool, v);
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
        yuv::ConvertYUVToRGB(rgb.data(), lumaPlane.data(), uPlane.data(), vPlane.data(), N, N,
                             YUV444, planes);
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

void TestYUVConversion::workedValues_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::addColumn<bool>("yOn");
    QTest::addColumn<bool>("uOn");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::newRow("grey-128") << 128 << 128 << 128 << true << true << 128 << 128 << 128;
    QTest::newRow("worked-81-90-240") << 81 << 90 << 240 << true << true << 238 << 13 << 13;
    QTest::newRow("worked-145-54-34") << 145 << 54 << 34 << true << true << 12 << 237 << 13;
    QTest::newRow("worked-41-240-110") << 41 << 240 << 110 << true << true << 15 << 15 << 240;
    QTest::newRow("worked-235-128-128") << 235 << 128 << 128 << true << true << 235 << 235 << 235;
    QTest::newRow("worked-255-0-255") << 255 << 0 << 255 << true << true << 255 << 208 << 27;
    QTest::newRow("worked-0-255-0") << 0 << 255 << 0 << true << true << 0 << 47 << 225;
    QTest::newRow("exception-150-30-238") << 150 << 30 << 238 << true << true << 255 << 104 << 0;
    QTest::newRow("exception-100-95-63") << 100 << 95 << 63 << true << true << 8 << 157 << 41;
    QTest::newRow("y-off-neutral") << 17 << 128 << 128 << false << true << 100 << 100 << 100;
    QTest::newRow("y-off-200-60") << 240 << 200 << 60 << false << true << 4 << 123 << 228;
    QTest::newRow("u-off-81-90-240") << 81 << 90 << 240 << true << false << 238 << 0 << 81;
}

void TestYUVConversion::workedValues()
{
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);
    QFETCH(bool, yOn);
    QFETCH(bool, uOn);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    const uint8_t py = static_cast<uint8_t>(y), pu = static_cast<uint8_t>(u),
                  pv = static_cast<uint8_t>(v);
    uint8_t rgb[4] = {Sentinel, Sentinel, Sentinel, Sentinel};
    yuv::ConvertYUVToRGB(rgb, &py, &pu, &pv, 1, 1, YUV444, Switches(yOn, uOn, true));
    QCOMPARE(int(rgb[0]), r);
    QCOMPARE(int(rgb[1]), g);
    QCOMPARE(int(rgb[2]), b);
    QCOMPARE(rgb[3], Sentinel);
}

void TestYUVConversion::layouts_data()
{
    QTest::addColumn<TYUVFormat>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    const struct
    {
        const char *name;
        TYUVFormat format;
    } formats[] = {{"yuv420", YUV420}, {"yuv422", YUV422}, {"yuv444", YUV444}};
    for (const auto &f : formats) {
        for (int w : {1, 2, 3, 5, 16, 33}) {
            for (int h : {1, 3, 7}) {
                QTest::addRow("%s-%dx%d", f.name, w, h) << f.format << w << h;
            }
        }
        QTest::addRow("%s-1920x1080", f.name) << f.format << 1920 << 1080;
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
    const size_t size = 3 * static_cast<size_t>(width) * height;
    std::vector<uint8_t> got(size + 16, Sentinel), want(size + 16, Sentinel);
    for (const TPlaneSwitches planes : {Switches(true, true, true), Switches(false, true, false),
                                        Switches(true, false, true)}) {
        yuv::ConvertYUVToRGB(got.data(), frame.Y.data(), frame.U.data(), frame.V.data(), width,
                             height, format, planes);
        ReferenceFrame(want, frame.Y.data(), frame.U.data(), frame.V.data(), width, height,
                       format, planes);
        QVERIFY(got == want);
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
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("zero-width") << 0 << 10;
    QTest::newRow("zero-height") << 10 << 0;
    QTest::newRow("negative") << -4 << 4;
    QTest::newRow("too-wide") << 1921 << 1;
    QTest::newRow("too-high") << 1 << 1081;
}

void TestYUVConversion::unsupportedSizeWritesNothing()
{
    QFETCH(int, width);
    QFETCH(int, height);
    std::vector<uint8_t> planes(4096, 128), rgb(64, Sentinel);
    yuv::ConvertYUVToRGB(rgb.data(), planes.data(), planes.data(), planes.data(), width, height,
                         YUV444, {});
    QVERIFY(std::all_of(rgb.begin(), rgb.end(), [](uint8_t b) { return b == Sentinel; }));
}

QTEST_APPLESS_MAIN(TestYUVConversion)
#include "tst_yuvconversion.moc"
