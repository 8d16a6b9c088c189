// The picture view, checked by where its pixels land: every placement is read back from the
// view's framebuffer. Needs a real X server (the view cannot run on the offscreen platform).

#include "OpenGLWidget.h"
#include "ProcessRun.h"

#include <QtTest>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <vector>

namespace {

// A picture addressed by its rows as seen (row 0 at the top), stored the way the frame source lays
// out its RGB buffer: 3 bytes R, G, B a pixel, rows packed, the bottom row first.
struct Frame
{
    Frame(int W, int H, const std::function<QRgb(int, int)> &colour)
        : Bytes(static_cast<size_t>(W) * H * 3)
    {
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                unsigned char *p = &Bytes[3 * (static_cast<size_t>(W) * (H - 1 - y) + x)];
                const QRgb c = colour(x, y);
                p[0] = static_cast<unsigned char>(qRed(c));
                p[1] = static_cast<unsigned char>(qGreen(c));
                p[2] = static_cast<unsigned char>(qBlue(c));
            }
        }
    }
    unsigned char *Data() { return Bytes.data(); }
    std::vector<unsigned char> Bytes;
};

std::function<QRgb(int, int)> Solid(QRgb c)
{
    return [c](int, int) { return c; };
}

// Each pixel names its own place: red and green hold the low bytes of the column and the row
// (row 0 at the top), blue their high bits above a base of 128, so no pixel is black.
QRgb Code(int x, int y)
{
    return qRgb(x & 255, y & 255, 128 | (x >> 8) | ((y >> 8) << 3));
}
QPoint Decode(QRgb c)
{
    return QPoint(((qBlue(c) & 7) << 8) | qRed(c), (((qBlue(c) >> 3) & 7) << 8) | qGreen(c));
}
const QRgb Picture = qRgb(200, 120, 40);
const QRgb Red = qRgb(255, 0, 0);
const QRgb Green = qRgb(0, 255, 0);

// A top-level view of w x h; the caller waits for it to be exposed before asserting.
std::unique_ptr<TOGLWidget> NewView(int w, int h)
{
    auto view = std::make_unique<TOGLWidget>(nullptr);
    view->resize(w, h);
    view->show();
    return view;
}

QImage Grab(TOGLWidget *view)
{
    return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

// Pixel at GL coordinates: x from the left, y from the bottom.
QRgb At(const QImage &g, int x, int y)
{
    return g.pixel(x, g.height() - 1 - y);
}

// The bounding box of the non-black pixels in GL coordinates: x() is the left column, y() the
// bottom row counted from the bottom. Null when everything is black.
QRect DrawnRect(const QImage &g)
{
    int left = g.width(), right = -1, top = g.height(), bottom = -1;
    for (int r = 0; r < g.height(); ++r) {
        const auto *line = reinterpret_cast<const QRgb *>(g.constScanLine(r));
        for (int c = 0; c < g.width(); ++c) {
            if (line[c] & 0xffffff) {
                left = std::min(left, c);
                right = std::max(right, c);
                top = std::min(top, r);
                bottom = std::max(bottom, r);
            }
        }
    }
    if (right < 0)
        return QRect();
    return QRect(left, g.height() - 1 - bottom, right - left + 1, bottom - top + 1);
}

// Press at start, move by each step in turn (a button held, so the moves reach the view), release.
void Drag(QWidget *w, QPoint start, std::initializer_list<QPoint> steps)
{
    QTest::mousePress(w, Qt::LeftButton, {}, start);
    QPoint p = start;
    for (const QPoint &s : steps) {
        p += s;
        QTest::mouseMove(w, p);
    }
    QTest::mouseRelease(w, Qt::LeftButton, {}, p);
}

} // namespace

class TestOpenGLWidget : public QObject
{
    Q_OBJECT

private slots:
    void logo_data();
    void logo();
    void firstFrameAfterOpenIsFitted();
    void fit_data();
    void fit();
    void fitMatchesPlainDraw_data();
    void fitMatchesPlainDraw();
    void actualSizeNeverPans_data();
    void actualSizeNeverPans();
    void panStopsAtEdges();
    void cropOrigin_data();
    void cropOrigin();
    void modeCursorAndUpright_data();
    void modeCursorAndUpright();
    void frameDuringDrag();
    void refusedSizes_data();
    void refusedSizes();
    void copyPictureCrop_data();
    void copyPictureCrop();
    void drawFrameIsSynchronous_data();
    void drawFrameIsSynchronous();
    void highDevicePixelRatio();
    void highDevicePixelRatioChild();
};

void TestOpenGLWidget::logo_data()
{
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QRect>("drawn"); // null: nothing but black
    QTest::newRow("centred-800x600") << QSize(800, 600) << QRect(164, 224, 472, 151);
    QTest::newRow("exact-472x151") << QSize(472, 151) << QRect(0, 0, 472, 151);
    QTest::newRow("width-471-cut-right") << QSize(471, 600) << QRect(0, 224, 471, 151);
    QTest::newRow("width-470-black") << QSize(470, 600) << QRect();
    QTest::newRow("height-150-cut-top") << QSize(800, 150) << QRect(164, 0, 472, 150);
    QTest::newRow("height-149-black") << QSize(800, 149) << QRect();
}

void TestOpenGLWidget::logo()
{
    QFETCH(QSize, view);
    QFETCH(QRect, drawn);
    auto v = NewView(view.width(), view.height());
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    const QImage g = Grab(v.get());
    QCOMPARE(g.size(), view);
    QCOMPARE(DrawnRect(g), drawn);
    if (drawn.isNull())
        return;
    // The image's first row lands at the bottom, in its own colours.
    const QImage image(":/Img/tamrel.bmp");
    QCOMPARE(image.size(), QSize(472, 151));
    int mismatches = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            mismatches += At(g, drawn.x() + x, drawn.y() + y) != image.pixel(x, y);
    QCOMPARE(mismatches, 0);
}

void TestOpenGLWidget::firstFrameAfterOpenIsFitted()
{
    // The open flow: logo on screen, new picture size, the window grows by a pixel, frame 0.
    auto v = NewView(800, 600);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    QCOMPARE(DrawnRect(Grab(v.get())), QRect(164, 224, 472, 151));
    v->SetPicParams(720, 576);
    v->resize(801, 601);
    QTRY_COMPARE(v->size(), QSize(801, 601));
    Frame f(720, 576, Solid(Picture));
    v->DrawFrame(f.Data());
    // Zoom 601/576: 751.25 columns from x = 24, all 601 rows.
    QCOMPARE(DrawnRect(Grab(v.get())), QRect(24, 0, 751, 601));
}

void TestOpenGLWidget::fit_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QRect>("drawn");
    // Rows at the top that may stay black: where the zoomed height lands a hair off a whole row,
    // the single-precision zoom decides whether the last one is drawn.
    QTest::addColumn<int>("topSlack");
    QTest::newRow("720x576-in-800x600-bands-25")
        << QSize(720, 576) << QSize(800, 600) << 1.0416667f << QRect(25, 0, 750, 600) << 0;
    QTest::newRow("176x144-in-640x380-enlarged")
        << QSize(176, 144) << QSize(640, 380) << 2.6388889f << QRect(87, 0, 464, 380) << 0;
    QTest::newRow("176x144-in-800x600")
        << QSize(176, 144) << QSize(800, 600) << 4.1666667f << QRect(33, 0, 733, 600) << 0;
    QTest::newRow("144x576-in-800x600-tall")
        << QSize(144, 576) << QSize(800, 600) << 1.0416667f << QRect(325, 0, 150, 600) << 0;
    // The height margin comes out a hair below zero in double: truncation must give row 0.
    QTest::newRow("640x480-in-1000x500-margin-below-zero")
        << QSize(640, 480) << QSize(1000, 500) << 1.0416667f << QRect(166, 0, 667, 500) << 1;
    QTest::newRow("1920x1080-in-1280x720-reduced")
        << QSize(1920, 1080) << QSize(1280, 720) << 0.6666667f << QRect(0, 0, 1280, 720) << 0;
}

void TestOpenGLWidget::fit()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QFETCH(float, zoom);
    QFETCH(QRect, drawn);
    QFETCH(int, topSlack);
    auto v = std::make_unique<TOGLWidget>(nullptr);
    v->SetPicParams(picture.width(), picture.height());
    v->resize(view);
    v->show();
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    Frame f(picture.width(), picture.height(), Solid(Picture));
    v->DrawFrame(f.Data());

    v->makeCurrent();
    GLfloat zx = 0, zy = 0;
    GLint raster[4] = {};
    glGetFloatv(GL_ZOOM_X, &zx);
    glGetFloatv(GL_ZOOM_Y, &zy);
    glGetIntegerv(GL_CURRENT_RASTER_POSITION, raster);
    v->doneCurrent();
    QCOMPARE(zx, zoom);
    QCOMPARE(zy, zoom);
    QCOMPARE(QPoint(raster[0], raster[1]), drawn.topLeft());

    const QImage g = Grab(v.get());
    const QRect r = DrawnRect(g);
    QCOMPARE(r.topLeft(), drawn.topLeft());
    QCOMPARE(r.width(), drawn.width());
    QVERIFY2(r.height() <= drawn.height() && r.height() >= drawn.height() - topSlack,
        qPrintable(QString::number(r.height())));
    QCOMPARE(At(g, drawn.x() + 1, drawn.y() + 1), Picture);
}

// Fit mode hands the driver its own copy of the picture in another pixel layout; every pixel on
// screen must be the one that plain glDrawPixels of the R, G, B picture gives with the same state.
void TestOpenGLWidget::fitMatchesPlainDraw_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    // A frame that arrives at actual size is kept only as R, G, B until a fitted paint needs it.
    QTest::addColumn<bool>("arrivesAtActualSize");
    QTest::newRow("1920x1080-in-693x502-reduced") << QSize(1920, 1080) << QSize(693, 502) << false;
    QTest::newRow("175x143-odd-in-640x380-enlarged") << QSize(175, 143) << QSize(640, 380) << false;
    QTest::newRow("5x3-tiny-in-400x300") << QSize(5, 3) << QSize(400, 300) << false;
    QTest::newRow("175x143-arrived-at-actual-size") << QSize(175, 143) << QSize(640, 380) << true;
}

void TestOpenGLWidget::fitMatchesPlainDraw()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QFETCH(bool, arrivesAtActualSize);
    auto v = std::make_unique<TOGLWidget>(nullptr);
    v->SetPicParams(picture.width(), picture.height());
    v->resize(view);
    v->show();
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    Frame f(picture.width(), picture.height(), Code);
    if (arrivesAtActualSize) {
        // A fitted frame first, which the fitted paint must not show again.
        Frame stale(picture.width(), picture.height(), Solid(Red));
        v->DrawFrame(stale.Data());
        v->SetActualSize(Qt::Checked);
    }
    v->DrawFrame(f.Data());
    v->SetActualSize(Qt::Unchecked);
    const QImage shown = Grab(v.get());

    v->makeCurrent();
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawPixels(picture.width(), picture.height(), GL_RGB, GL_UNSIGNED_BYTE, f.Data());
    std::vector<unsigned char> plain(static_cast<size_t>(shown.width()) * shown.height() * 4);
    glReadPixels(0, 0, shown.width(), shown.height(), GL_RGBA, GL_UNSIGNED_BYTE, plain.data());
    v->doneCurrent();

    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const unsigned char *p = &plain[4 * (static_cast<size_t>(y) * shown.width() + x)];
            const QRgb want = qRgb(p[0], p[1], p[2]);
            if (At(shown, x, y) != want)
                QFAIL(qPrintable(QString("pixel (%1, %2): %3 instead of %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(At(shown, x, y), 8, 16)
                                     .arg(want, 8, 16)));
        }
    }
}

void TestOpenGLWidget::actualSizeNeverPans_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QRect>("drawn");
    QTest::newRow("smaller-centred")
        << QSize(176, 144) << QSize(801, 600) << QRect(312, 228, 176, 144);
    QTest::newRow("as-wide-as-view") << QSize(800, 300) << QSize(800, 600) << QRect(0, 0, 800, 300);
    QTest::newRow("as-high-as-view") << QSize(300, 600) << QSize(800, 600) << QRect(0, 0, 300, 600);
    QTest::newRow("wider-only") << QSize(1920, 480) << QSize(1000, 600) << QRect(0, 0, 1000, 480);
}

void TestOpenGLWidget::actualSizeNeverPans()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QFETCH(QRect, drawn);
    // Set up before the first show, with no GL context yet: the mode is only stored, and the
    // first resize sets the GL state for it.
    auto v = std::make_unique<TOGLWidget>(nullptr);
    v->SetPicParams(picture.width(), picture.height());
    v->SetActualSize(Qt::Checked);
    QVERIFY(!v->context());
    QCOMPARE(v->cursor().shape(), Qt::OpenHandCursor);
    v->resize(view);
    v->show();
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    Frame f(picture.width(), picture.height(), Code);
    v->DrawFrame(f.Data());
    for (int round = 0; round < 2; ++round) {
        const QImage g = Grab(v.get());
        QCOMPARE(DrawnRect(g), drawn);
        // The picture's bottom left corner at the drawn area's bottom left, one pixel a pixel.
        QCOMPARE(Decode(At(g, drawn.x(), drawn.y())), QPoint(0, picture.height() - 1));
        QCOMPARE(Decode(At(g, drawn.right(), drawn.y() + drawn.height() - 1)),
            QPoint(drawn.width() - 1, picture.height() - drawn.height()));
        Drag(v.get(), QPoint(400, 300), {{-30, 0}, {0, 20}, {30, 0}, {-5, -5}});
        QCOMPARE(v->GetCropX(), 0);
        QCOMPARE(v->GetCropY(), 0);
    }
}

void TestOpenGLWidget::panStopsAtEdges()
{
    auto v = NewView(800, 600);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    v->SetPicParams(1920, 1080);
    Frame f(1920, 1080, Code);
    v->DrawFrame(f.Data());
    v->SetActualSize(Qt::Checked);
    QImage g = Grab(v.get());
    QCOMPARE(DrawnRect(g), QRect(0, 0, 800, 600));
    QCOMPARE(Decode(At(g, 0, 0)), QPoint(0, 1079));

    // A step that would cross an edge is dropped whole, not clamped.
    Drag(v.get(), QPoint(400, 300), {{-4, 0}, {10, 0}});
    QCOMPARE(v->GetCropX(), 4);
    Drag(v.get(), QPoint(400, 300), {{3, 0}});
    QCOMPARE(v->GetCropX(), 1);
    // Valid along y, but x would cross: neither moves.
    Drag(v.get(), QPoint(400, 300), {{2, 10}});
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(1, 0));
    QCOMPARE(Decode(At(Grab(v.get()), 0, 0)), QPoint(1, 1079));

    // Up to the right and top edges exactly, then one pixel more is refused.
    Drag(v.get(), QPoint(700, 100), {{-1119, 0}, {-1, 0}, {0, 480}, {0, 1}});
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(1120, 480));
    g = Grab(v.get());
    QCOMPARE(Decode(At(g, 0, 0)), QPoint(1120, 599));
    QCOMPARE(Decode(At(g, 799, 599)), QPoint(1919, 0));
}

void TestOpenGLWidget::cropOrigin_data()
{
    QTest::addColumn<bool>("actual");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("cropAfter");
    QTest::addColumn<QPoint>("corner"); // the picture pixel shown at the bottom left
    QTest::newRow("actual-resize-resets") << true << "resize" << 0 << QPoint(0, 1079);
    QTest::newRow("actual-switch-resets") << true << "switch" << 0 << QPoint(0, 1079);
    QTest::newRow("fit-resize-keeps") << false << "resize" << 50 << QPoint();
    QTest::newRow("actual-smaller-kept-inside") << true << "smaller" << 50 << QPoint(20, 599);
}

void TestOpenGLWidget::cropOrigin()
{
    QFETCH(bool, actual);
    QFETCH(QString, action);
    QFETCH(int, cropAfter);
    QFETCH(QPoint, corner);
    auto v = NewView(800, 600);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    v->SetPicParams(1920, 1080);
    Frame f(1920, 1080, Code);
    v->DrawFrame(f.Data());
    v->SetActualSize(actual ? Qt::Checked : Qt::Unchecked);
    // The drag rule does not look at the mode, so the origin moves in fit mode too.
    Drag(v.get(), QPoint(400, 300), {{-50, 50}});
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(50, 50));
    if (action == "resize") {
        v->resize(801, 601);
        QTRY_COMPARE(v->size(), QSize(801, 601));
    } else if (action == "smaller") {
        v->SetPicParams(820, 620);
        Frame smaller(820, 620, Code);
        v->DrawFrame(smaller.Data());
    } else {
        v->SetActualSize(Qt::Checked);
    }
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(cropAfter, cropAfter));
    if (actual)
        QCOMPARE(Decode(At(Grab(v.get()), 0, 0)), corner);
}

void TestOpenGLWidget::modeCursorAndUpright_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("actual");
    QTest::addColumn<Qt::CursorShape>("cursor");
    QTest::addColumn<QRect>("drawn");
    const QRect fitted(33, 0, 733, 600), centred(312, 228, 176, 144);
    QTest::newRow("unchecked-fit") << 0 << false << Qt::ArrowCursor << fitted;
    QTest::newRow("partially-checked-fit") << 1 << false << Qt::ArrowCursor << fitted;
    QTest::newRow("checked-actual") << 2 << true << Qt::OpenHandCursor << centred;
}

void TestOpenGLWidget::modeCursorAndUpright()
{
    QFETCH(int, state);
    QFETCH(bool, actual);
    QFETCH(Qt::CursorShape, cursor);
    QFETCH(QRect, drawn);
    auto v = NewView(801, 600);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    v->SetPicParams(176, 144);
    // Only the top row red: the picture must show upright in either mode.
    Frame f(176, 144, [](int, int y) { return y == 0 ? Red : Green; });
    v->DrawFrame(f.Data());
    // Switch from the other mode, so that each row is a real change.
    v->SetActualSize(actual ? Qt::Unchecked : Qt::Checked);
    v->SetActualSize(state);
    QCOMPARE(v->IsActualSize(), actual);
    QCOMPARE(v->cursor().shape(), cursor);
    const QImage g = Grab(v.get());
    QCOMPARE(DrawnRect(g), drawn);
    const int top = drawn.y() + drawn.height() - 1;
    QCOMPARE(At(g, drawn.x() + 1, top), Red);
    QCOMPARE(At(g, drawn.x() + 1, top - 5), Green);
    QCOMPARE(At(g, drawn.x() + 1, drawn.y()), Green);
}

void TestOpenGLWidget::frameDuringDrag()
{
    auto v = NewView(800, 600);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    v->SetPicParams(1920, 1080);
    v->SetActualSize(Qt::Checked);
    Frame first(1920, 1080, Solid(Picture));
    v->DrawFrame(first.Data());
    QTest::mousePress(v.get(), Qt::RightButton, {}, QPoint(400, 300));
    QTest::mouseMove(v.get(), QPoint(370, 320));
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(30, 20));
    Frame second(1920, 1080, Code);
    v->DrawFrame(second.Data());
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(30, 20));
    QCOMPARE(Decode(At(Grab(v.get()), 0, 0)), QPoint(30, 1079 - 20));
    // The drag goes on from where the pointer was.
    QTest::mouseMove(v.get(), QPoint(360, 320));
    QTest::mouseRelease(v.get(), Qt::RightButton, {}, QPoint(360, 320));
    QCOMPARE(QPoint(v->GetCropX(), v->GetCropY()), QPoint(40, 20));
}

void TestOpenGLWidget::refusedSizes_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("taken");
    QTest::newRow("zero-width") << 0 << 144 << false;
    QTest::newRow("negative-width") << -176 << 144 << false;
    QTest::newRow("width-1921") << 1921 << 1080 << false;
    QTest::newRow("height-1081") << 1920 << 1081 << false;
    QTest::newRow("product-fits-2073600x1") << 2073600 << 1 << false;
    QTest::newRow("int-max") << INT_MAX << INT_MAX << false;
    QTest::newRow("largest-1920x1080") << 1920 << 1080 << true;
    QTest::newRow("smallest-1x1") << 1 << 1 << true;
}

void TestOpenGLWidget::refusedSizes()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, taken);
    TOGLWidget v(nullptr);
    v.SetPicParams(176, 144);
    v.SetPicParams(w, h);
    QCOMPARE(QSize(v.GetPicWidth(), v.GetPicHeight()), taken ? QSize(w, h) : QSize(176, 144));
}

void TestOpenGLWidget::copyPictureCrop_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QSize>("copied"); // empty: the buffer is left alone
    QTest::newRow("inside") << QRect(1, 2, 3, 2) << QSize(3, 2);
    QTest::newRow("past-right-cut") << QRect(5, 0, 10, 2) << QSize(2, 2);
    QTest::newRow("past-top-cut") << QRect(0, 3, 7, 100) << QSize(7, 2);
    QTest::newRow("huge-cut") << QRect(0, 0, INT_MAX, INT_MAX) << QSize(7, 5);
    QTest::newRow("start-outside") << QRect(7, 0, 1, 1) << QSize();
    QTest::newRow("negative-start") << QRect(-1, 0, 3, 3) << QSize();
    QTest::newRow("zero-width") << QRect(0, 0, 0, 3) << QSize();
}

void TestOpenGLWidget::copyPictureCrop()
{
    QFETCH(QRect, window);
    QFETCH(QSize, copied);
    TOGLWidget v(nullptr);
    v.SetPicParams(7, 5);
    Frame f(7, 5, Code);
    v.SetPic(f.Data());
    v.CopyPictureCrop(1, 1, 2, 2); // something known in the scratch buffer first
    const std::vector<unsigned char> before(v.GetCropBuffer(), v.GetCropBuffer() + 7 * 5 * 3);
    v.CopyPictureCrop(window.x(), window.y(), window.width(), window.height());
    const unsigned char *crop = v.GetCropBuffer();
    if (copied.isEmpty()) {
        QVERIFY(std::equal(before.begin(), before.end(), crop));
        return;
    }
    // Buffer row r of the picture is picture row 4 - r; the window keeps the row order.
    for (int i = 0; i < copied.height(); ++i) {
        for (int k = 0; k < copied.width(); ++k) {
            const unsigned char *p = crop + (i * copied.width() + k) * 3;
            QCOMPARE(Decode(qRgb(p[0], p[1], p[2])), QPoint(window.x() + k, 4 - window.y() - i));
        }
    }
}

void TestOpenGLWidget::drawFrameIsSynchronous_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::newRow("back-to-back") << 0;
    QTest::newRow("1ms-apart") << 1;
    QTest::newRow("40ms-apart") << 40;
}

void TestOpenGLWidget::drawFrameIsSynchronous()
{
    QFETCH(int, intervalMs);
    auto v = NewView(640, 380);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    v->SetPicParams(176, 144);
    Frame frames[] = {{176, 144, Solid(Red)}, {176, 144, Solid(Green)}};
    for (int i = 0; i < 8; ++i) {
        if (intervalMs > 0)
            QTest::qWait(intervalMs);
        const quint64 before = v->GetPaintCount();
        v->DrawFrame(frames[i % 2].Data());
        QCOMPARE(v->GetPaintCount(), before + 1);
    }
    // The grab paints once more, and shows the last frame.
    const quint64 before = v->GetPaintCount();
    const QImage g = Grab(v.get());
    QCOMPARE(v->GetPaintCount(), before + 1);
    QCOMPARE(At(g, 320, 190), Green);
}

void TestOpenGLWidget::highDevicePixelRatio()
{
    // The pixel ratio is fixed at start-up, so the checks run in a child with a scale factor of 2.
    testsupport::TRunSetup setup;
    setup.Environment = {"QT_SCALE_FACTOR=2"};
    const testsupport::TProgramResult run
        = testsupport::RunProgram(QFile::encodeName(QCoreApplication::applicationFilePath()),
            {"highDevicePixelRatioChild"}, setup);
    const QByteArray out = run.Out + run.Err;
    QVERIFY2(!run.Crashed && run.ExitCode == 0, out.constData());
    QVERIFY2(
        out.contains("PASS   : TestOpenGLWidget::highDevicePixelRatioChild()"), out.constData());
}

void TestOpenGLWidget::highDevicePixelRatioChild()
{
    // A 400 x 300 view is 800 x 600 device pixels; pictures are placed in device pixels.
    auto v = NewView(400, 300);
    QVERIFY(QTest::qWaitForWindowExposed(v.get()));
    if (v->devicePixelRatioF() != 2.0)
        QSKIP("runs in a child process with QT_SCALE_FACTOR=2");
    QImage g = Grab(v.get());
    QCOMPARE(g.size(), QSize(800, 600));
    QCOMPARE(DrawnRect(g), QRect(164, 224, 472, 151));

    v->SetPicParams(720, 576);
    v->resize(401, 301);
    QTRY_COMPARE(v->size(), QSize(401, 301));
    v->resize(400, 300);
    QTRY_COMPARE(v->size(), QSize(400, 300));
    Frame f(720, 576, Code);
    v->DrawFrame(f.Data());
    QCOMPARE(DrawnRect(Grab(v.get())), QRect(25, 0, 750, 600));

    v->SetPicParams(1920, 1080);
    Frame big(1920, 1080, Code);
    v->DrawFrame(big.Data());
    v->SetActualSize(Qt::Checked);
    g = Grab(v.get());
    QCOMPARE(DrawnRect(g), QRect(0, 0, 800, 600));
    QCOMPARE(Decode(At(g, 799, 599)), QPoint(799, 1080 - 600));
    // A 10-pixel drag is 20 device pixels, and the edge rule counts device pixels: 1120 is the
    // last origin that keeps 800 device columns inside the picture.
    Drag(v.get(), QPoint(200, 150), {{-10, 0}});
    QCOMPARE(v->GetCropX(), 20);
    Drag(v.get(), QPoint(380, 150), {{-550, 0}, {-1, 0}});
    QCOMPARE(v->GetCropX(), 1120);
    QCOMPARE(Decode(At(Grab(v.get()), 799, 0)), QPoint(1919, 1079));
}

QTEST_MAIN(TestOpenGLWidget)
#include "tst_openglwidget.moc"
