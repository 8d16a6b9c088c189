#ifndef OPENGLWIDGET_H
#define OPENGLWIDGET_H

#include <QOpenGLWidget>
#include <QSize>

#include <cstddef>

class QMouseEvent;

// The picture view. It keeps its own copy of the last frame (packed 24-bit RGB, 3 bytes a pixel in
// the order R, G, B, rows of exactly 3*PicW bytes, bottom row first; in fit mode it is held as
// B, G, R, 255 and the RGB form is made when GetPic asks for it) and draws it with
// fixed-function pixel operations, either fitted to the view or at actual size with mouse panning.
// Until the first frame arrives it shows the logo centred on black.
//
// All GL-side geometry (viewport, raster positions, the visible extent and the pan step) is in
// device pixels, so the picture is placed right whatever the device pixel ratio; at actual size one
// picture pixel is one device pixel.
class TOGLWidget : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit TOGLWidget(QWidget *parent);
    ~TOGLWidget() override;

    // Copies PicW x PicH pixels from p into the view's own buffer and enters picture state.
    void SetPic(unsigned char *p);
    // The view's copy of the frame on screen, PicW x PicH pixels.
    unsigned char *GetPic();
    // Fills the scratch buffer with the window of w columns and h buffer rows starting at column x,
    // buffer row y, with w as its stride. A window reaching past the picture is cut to it.
    void CopyPictureCrop(int x, int y, int w, int h);

    int GetPicWidth() const { return PicW; }
    int GetPicHeight() const { return PicH; }
    // Whether the frame on screen was taken at a picture size the frame source announced. A
    // source with no size yet still sends frames, which show as black over the placeholder size
    // and are no picture of the stream.
    bool HasStreamPicture() const { return FrameOfAnnouncedSize; }
    int GetCropX() const { return CropX; }
    int GetCropY() const { return CropY; }
    bool IsActualSize() const { return ActualSize != 0; }
    const unsigned char *GetCropBuffer() const { return pCrop; }
    // Number of paintGL runs so far, for checking that frames are painted when they arrive.
    quint64 GetPaintCount() const { return PaintCount; }

public slots:
    // Takes the size of the coming frames; a size the buffers cannot hold is refused and the
    // previous size kept. The GL state follows at the next resize (or mode switch).
    void SetPicParams(int W, int H);
    // Copies the frame and paints it before returning.
    void DrawFrame(unsigned char *pRGB);
    // 2 (checked) switches to actual size; anything else to fit mode.
    void SetActualSize(int State);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    // The view's size in device pixels: the size of the framebuffer it draws into.
    QSize DeviceSize() const;
    // A pointer position in device pixels, the unit of the crop origin.
    QPoint DevicePos(const QMouseEvent *e) const;
    size_t PixelCount() const;
    // Viewport, projection, raster position and zoom for the current size, mode and picture.
    // Needs the view's context current.
    void SetupViewGeometry();
    void PaintLogo(int vw, int vh);

    int MouseX = 0;
    int MouseY = 0;
    int CropX = 0;
    int CropY = 0;
    int PicW = 2;
    int PicH = 3;
    unsigned char *pPic = nullptr;
    unsigned char *pCrop = nullptr;
    // Fit mode's copy of the picture in B, G, R, A order, the layout the driver takes fastest.
    unsigned char *pDraw = nullptr;
    // Which of pPic and pDraw hold the last frame; at least one does.
    bool RgbCurrent = true;
    bool DrawCurrent = false;
    int HasPic = 0;
    // Set by the first size taken from the frame source; until then PicW x PicH is a placeholder.
    bool SizeAnnounced = false;
    // The frame held was copied at an announced size, and no other size was announced since.
    bool FrameOfAnnouncedSize = false;
    int ActualSize = 0;
    quint64 PaintCount = 0;
};

#endif // OPENGLWIDGET_H
