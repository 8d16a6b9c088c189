#include "OpenGLWidget.h"

#include "PixelOrder.h"
#include "YUVConversion.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>

#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The RGB buffers hold the largest picture the frame source can deliver and never grow; so does
// the 4-byte copy that fit mode draws from.
constexpr size_t BufferSize = yuv::MaxRGBSize;
constexpr size_t DrawBufferSize = static_cast<size_t>(yuv::MaxPlaneSize) * 4;
// Each buffer starts this far into its allocation, so that the pixels can be handed to
// glDrawPixels one pixel early together with an unpack skip of one pixel (see DrawPicture).
constexpr size_t LeadBytes = 64;
constexpr int PixelBytes = 3;

unsigned char *AllocateBuffer(size_t size)
{
    auto *p = static_cast<unsigned char *>(std::calloc(LeadBytes + size, 1));
    if (!p)
        qFatal("TOGLWidget: cannot allocate a frame buffer of %zu bytes", size);
    return p + LeadBytes;
}

void FreeBuffer(unsigned char *p)
{
    if (p)
        std::free(p - LeadBytes);
}

// Draws w x h pixels of pixelBytes each, in the given format, from p, a buffer made by
// AllocateBuffer. The same pixels are drawn as by glDrawPixels(w, h, format, ..., p), but handed
// over one pixel early with an unpack skip of one pixel: Mesa's glDrawPixels keeps a copy of every
// image that it is given without a skip, so as to reuse its texture when the same pixels come
// again. Playback never shows the same frame twice, so that copy was a 6 to 8 MB allocation and
// copy per 1920 x 1080 frame for nothing, and the churn of those blocks cost hundreds of fresh
// pages a frame. To any driver the skip only means that the pixels start one pixel further on.
static_assert(LeadBytes >= 4, "the skipped pixel lies inside the allocation");
void DrawPicture(int w, int h, GLenum format, int pixelBytes, const unsigned char *p)
{
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 1);
    glDrawPixels(w, h, format, GL_UNSIGNED_BYTE, p - pixelBytes);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

// The logo's pixels are read byte by byte from Qt's RGB32 layout (0xffRRGGBB in a 32-bit word),
// which puts blue first in memory only on a little-endian machine.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the logo reads RGB32 pixels as B, G, R bytes");

} // namespace

TOGLWidget::TOGLWidget(QWidget *parent)
    : QOpenGLWidget(parent)
{
    // No surface format is requested: the default context is a compatibility one, which the
    // fixed-function pixel drawing needs (a core profile draws nothing).
    pPic = AllocateBuffer(BufferSize);
    pCrop = AllocateBuffer(BufferSize);
    pDraw = AllocateBuffer(DrawBufferSize);
}

TOGLWidget::~TOGLWidget()
{
    FreeBuffer(pPic);
    pPic = nullptr;
    FreeBuffer(pCrop);
    pCrop = nullptr;
    FreeBuffer(pDraw);
    pDraw = nullptr;
}

void TOGLWidget::SetPicParams(int W, int H)
{
    // Checked per dimension before any product is formed, so no overflow can slip a size past.
    if (!yuv::IsSupportedSize(W, H))
        return;
    PicW = W;
    PicH = H;
    SizeAnnounced = true;
    FrameOfAnnouncedSize = false;
}

void TOGLWidget::SetPic(unsigned char *p)
{
    if (!p)
        return;
    // Fit mode draws B, G, R, A: Mesa's glDrawPixels turns every image into a texture of 4 bytes a
    // pixel, converting R, G, B in a slow generic loop but copying B, G, R, A rows whole.
    // Each frame is written once, into the buffer that the current mode draws from; in fit mode
    // the R, G, B copy is made only when asked for (saving, actual size). That saves a copy of
    // the frame per tick and keeps the expansion out of paintGL.
    const size_t count = PixelCount();
    if (ActualSize) {
        std::memcpy(pPic, p, count * PixelBytes);
        RgbCurrent = true;
        DrawCurrent = false;
    } else {
        yuv::ExpandRGBToBGRA(p, pDraw, count);
        DrawCurrent = true;
        RgbCurrent = false;
    }
    HasPic = 1;
    FrameOfAnnouncedSize = SizeAnnounced;
}

unsigned char *TOGLWidget::GetPic()
{
    if (!RgbCurrent) {
        yuv::CompactBGRAToRGB(pDraw, pPic, PixelCount());
        RgbCurrent = true;
    }
    return pPic;
}

size_t TOGLWidget::PixelCount() const
{
    return static_cast<size_t>(PicW) * static_cast<size_t>(PicH);
}

void TOGLWidget::DrawFrame(unsigned char *pRGB)
{
    SetPic(pRGB);
    const quint64 before = PaintCount;
    // Mark the view dirty and deliver the window's pending update request at once: the frame is
    // painted and the window composed exactly once, before the playback tick that read the frame
    // returns. repaint() is not enough: within a refresh interval of the last composition Qt
    // quietly turns it into a posted request, and when it does paint at once it leaves behind the
    // request that the slider's and counter's own updates posted for this frame, whose delivery
    // composes the whole window a second time with nothing new in it.
    update();
    QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
    if (PaintCount == before)
        repaint();
}

void TOGLWidget::SetActualSize(int State)
{
    ActualSize = State == Qt::Checked ? 1 : 0;
    // Outside initializeGL, resizeGL and paintGL another context is current; GL calls made now
    // would change that one. A view that was never shown has no context yet: its first resizeGL
    // sets the state for the mode stored here.
    if (context()) {
        makeCurrent();
        SetupViewGeometry();
        doneCurrent();
    }
    CropX = 0;
    CropY = 0;
    repaint();
    setCursor(ActualSize ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void TOGLWidget::CopyPictureCrop(int x, int y, int w, int h)
{
    if (x < 0 || y < 0 || x >= PicW || y >= PicH)
        return;
    w = std::min(w, PicW - x);
    h = std::min(h, PicH - y);
    if (w <= 0 || h <= 0)
        return;
    const unsigned char *pic = GetPic();
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    for (int i = 0; i < h; ++i) {
        const unsigned char *src = pic + (static_cast<size_t>(y + i) * PicW + x) * 3;
        std::memcpy(pCrop + i * rowBytes, src, rowBytes);
    }
}

QSize TOGLWidget::DeviceSize() const
{
    // Rounded like the framebuffer Qt gives the widget.
    return size() * devicePixelRatioF();
}

QPoint TOGLWidget::DevicePos(const QMouseEvent *e) const
{
    return (e->position() * devicePixelRatioF()).toPoint();
}

void TOGLWidget::mousePressEvent(QMouseEvent *e)
{
    const QPoint p = DevicePos(e);
    MouseX = p.x();
    MouseY = p.y();
    QOpenGLWidget::mousePressEvent(e);
}

void TOGLWidget::mouseReleaseEvent(QMouseEvent *e)
{
    QOpenGLWidget::mouseReleaseEvent(e);
}

void TOGLWidget::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = DevicePos(e);
    const int dx = p.x() - MouseX;
    const int dy = p.y() - MouseY;
    MouseX = p.x();
    MouseY = p.y();

    // Buffer row 0 is the picture's bottom and is drawn at the bottom of the view, so the picture
    // follows the pointer: right shows more of the left part, down more of the upper part. A step
    // that would show anything past an edge is dropped whole rather than clamped.
    const int nx = CropX - dx;
    const int ny = CropY + dy;
    const QSize view = DeviceSize();
    if (nx >= 0 && nx + view.width() <= PicW && ny >= 0 && ny + view.height() <= PicH) {
        CropX = nx;
        CropY = ny;
        repaint();
    }
    QOpenGLWidget::mouseMoveEvent(e);
}

void TOGLWidget::initializeGL()
{
    glClearColor(0, 0, 0, 0);
    glShadeModel(GL_FLAT);
    // Picture rows are exactly 3 * width bytes, with no padding to 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

void TOGLWidget::resizeGL(int, int)
{
    // Qt passes the size in logical pixels; the geometry is worked out in device pixels, the unit
    // of the framebuffer and of glDrawPixels, so the arguments are not used.
    SetupViewGeometry();
}

void TOGLWidget::SetupViewGeometry()
{
    const QSize view = DeviceSize();
    const int vw = view.width();
    const int vh = view.height();

    glViewport(0, 0, vw, vh);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, vw, 0, vh); // one unit a pixel, origin at the bottom left
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    if (ActualSize) {
        CropX = 0;
        CropY = 0;
        // Centred only when the picture is smaller in both directions; otherwise the window onto
        // it starts at the view's bottom left corner.
        if (PicW < vw && PicH < vh)
            glRasterPos2i((vw - PicW) / 2, (vh - PicH) / 2);
        else
            glRasterPos2i(0, 0);
        glPixelZoom(1.0f, 1.0f);
    } else {
        const double zx = static_cast<double>(vw) / PicW;
        const double zy = static_cast<double>(vh) / PicH;
        const double z = zy > zx ? zx : zy;
        // Truncated toward zero: a margin that comes out a hair below zero must give 0, since a
        // raster position of -1 lies outside the viewport and nothing would be drawn.
        glRasterPos2i(
            static_cast<int>((vw - PicW * z) * 0.5), static_cast<int>((vh - PicH * z) * 0.5));
        glPixelZoom(static_cast<float>(z), static_cast<float>(z));
    }
}

void TOGLWidget::paintGL()
{
    ++PaintCount;
    const QSize view = DeviceSize();
    // Qt sets the viewport before each paint from the size truncated to device pixels, while the
    // framebuffer and the projection use the rounded size; with a fractional pixel ratio the two
    // differ by a pixel. Keep the viewport and the projection in step.
    glViewport(0, 0, view.width(), view.height());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    if (!HasPic) {
        PaintLogo(view.width(), view.height());
        return;
    }

    // The raster position and zoom were set for this picture by the last resize or mode switch.
    if (ActualSize) {
        const int cw = std::min(view.width(), PicW);
        const int ch = std::min(view.height(), PicH);
        // A new picture size takes effect with the resize that follows it, which also resets the
        // origin; until then keep the window inside the picture.
        const int x = std::clamp(CropX, 0, PicW - cw);
        const int y = std::clamp(CropY, 0, PicH - ch);
        CopyPictureCrop(x, y, cw, ch);
        DrawPicture(cw, ch, GL_RGB, PixelBytes, pCrop);
    } else {
        // A frame that arrived at actual size is expanded on the first fitted paint.
        if (!DrawCurrent) {
            yuv::ExpandRGBToBGRA(pPic, pDraw, PixelCount());
            DrawCurrent = true;
        }
        DrawPicture(PicW, PicH, GL_BGRA, 4, pDraw);
    }
    glFlush();
}

void TOGLWidget::PaintLogo(int vw, int vh)
{
    QImage image(QStringLiteral(":/Img/tamrel.bmp"));
    if (image.isNull())
        return;
    if (image.format() != QImage::Format_RGB32)
        image.convertTo(QImage::Format_RGB32);

    const int iw = image.width();
    const int ih = image.height();
    const size_t count = static_cast<size_t>(iw) * static_cast<size_t>(ih);
    std::unique_ptr<unsigned char[]> rgb(new (std::nothrow) unsigned char[count * 3]);
    if (!rgb)
        return;
    // RGB32 rows are whole 32-bit words, so the pixels run on without padding.
    yuv::CompactBGRAToRGB(image.constBits(), rgb.get(), count);

    // The logo sets its own raster position and zoom. Qt 6 paints while it handles a resize, so
    // a logo paint can come right after the resize that set the state for a new picture; leave
    // that state as it was found.
    glPushAttrib(GL_CURRENT_BIT | GL_PIXEL_MODE_BIT);
    // The image's top row goes first and lands at the bottom: the resource is stored upside down.
    glRasterPos2i((vw - iw) / 2, (vh - ih) / 2);
    glPixelZoom(1.0f, 1.0f);
    glDrawPixels(iw, ih, GL_RGB, GL_UNSIGNED_BYTE, rgb.get());
    glPopAttrib();
    glFlush();
}
