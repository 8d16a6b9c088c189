#ifndef TYUVREADER_H
#define TYUVREADER_H

#include "YUVConversion.h"

#include <QObject>
#include <QString>
#include <cstdio>

// The frame source: owns the open raw YUV file, knows the geometry and chroma layout declared for
// it, counts its whole frames and keeps the current position. Every navigation command reads the
// frame at the new position, converts it into the RGB frame buffer and announces it.
//
// Frame numbers are 0-based; the RGB frame buffer is packed 24-bit, bottom row first, and is
// overwritten in place by every frame load (receivers copy it during NewFrameReady).
class TYUVReader : public QObject
{
    Q_OBJECT

public:
    TYUVReader();
    ~TYUVReader() override;

    TYUVReader(const TYUVReader &) = delete;
    TYUVReader &operator=(const TYUVReader &) = delete;

    // Closes any open file, then opens FileName for reading. Returns 0, or -1 when the name cannot
    // be opened or is not a regular file or block device (a folder, a FIFO, a socket...).
    int OpenFile(QString FileName);
    // Declares the open file's geometry and layout, counts its frames, announces the geometry and
    // shows frame 0. A size the frame buffers cannot hold is refused with a warning.
    void SetFileParams(int W, int H, TYUVFormat Format);
    void CloseFile();
    bool isFileOpen() const { return hFile != nullptr; }

    int GetFramesCount() const { return FramesCount; }
    int GetFramePos() const { return FramePos; }
    unsigned char *GetRGBBuffer() const { return pRGB; }
    // Whether the last frame load read all of the frame's bytes. The player shows a short read
    // (a read error, a file that shrank) with the missing samples filled; the command-line tool
    // refuses such a frame.
    bool LastFrameWhole() const { return FrameWhole; }

signals:
    void NewFrameReady(unsigned char *pRGB, int FrameNumber);
    void NewPictureParams(int W, int H, int FrameCount);
    void NewFrameNumber(int Num);
    void EndOfFileReached();
    void ErrorOccured(QString ErrMsg);
    void ShowWarning(QString Msg);

public slots:
    void GotoPos(int Pos);
    void Previous();
    void Next();
    void Start();
    void End();
    void SetYEnable(int State);
    void SetUEnable(int State);
    void SetVEnable(int State);

private:
    void FileSeek(int n);
    void LoadFrame();
    void LoadAndAnnounce();
    void ReloadCurrentFrame();
    int YUV2RGB(unsigned char *pRGB, unsigned char *pY, unsigned char *pU, unsigned char *pV, int W,
        int H, TYUVFormat Format);

    FILE *hFile = nullptr;
    int Width = 0;
    int Height = 0;
    int FramePos = -1;
    int FramesCount = -1;
    int FrameSize = 0;
    int YPlaneSize = 0;
    int UVPlaneSize = 0;
    bool YEnabled = true;
    bool UEnabled = true;
    bool VEnabled = true;
    bool FrameWhole = false;
    TYUVFormat Format = YUV444;
    unsigned char *pY = nullptr;
    unsigned char *pU = nullptr;
    unsigned char *pV = nullptr;
    unsigned char *pRGB = nullptr;
    // Bytes of a chroma buffer the conversion reads; at least UVPlaneSize (see ChromaReadExtent).
    int UVReadExtent = 0;
};

#endif // TYUVREADER_H
