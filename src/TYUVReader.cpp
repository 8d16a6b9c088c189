#include "TYUVReader.h"

#include <QFile>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

unsigned char *AllocateBuffer(size_t size)
{
    auto *p = static_cast<unsigned char *>(std::calloc(size, 1));
    if (!p)
        qFatal("TYUVReader: cannot allocate a frame buffer of %zu bytes", size);
    return p;
}

// Regular files hold streams; block devices are raw dumps on a partition. Anything else (a
// folder, a FIFO, a socket, a character device) would block or read as endless garbage.
bool IsReadableStreamType(mode_t mode)
{
    return S_ISREG(mode) || S_ISBLK(mode);
}

// Reads up to size bytes and fills whatever the file did not provide, up to extent bytes, with
// fill, so that a short read never leaves an earlier frame's samples in view. Returns whether all
// size bytes were read.
bool ReadPlane(FILE *f, unsigned char *dst, int size, int extent, unsigned char fill)
{
    const size_t got = size > 0 ? std::fread(dst, 1, static_cast<size_t>(size), f) : 0;
    if (static_cast<int>(got) < extent)
        std::memset(dst + got, fill, static_cast<size_t>(extent) - got);
    return static_cast<int>(got) == std::max(size, 0);
}

} // namespace

TYUVReader::TYUVReader()
{
    pY = AllocateBuffer(yuv::MaxPlaneSize);
    pU = AllocateBuffer(yuv::MaxPlaneSize);
    pV = AllocateBuffer(yuv::MaxPlaneSize);
    pRGB = AllocateBuffer(yuv::MaxRGBSize);
}

TYUVReader::~TYUVReader()
{
    CloseFile();
    std::free(pY);
    std::free(pU);
    std::free(pV);
    std::free(pRGB);
}

int TYUVReader::OpenFile(QString FileName)
{
    CloseFile();

    const QByteArray name = QFile::encodeName(FileName);
    // stat() first: opening a FIFO for reading would block until a writer appears.
    struct stat64 st;
    if (stat64(name.constData(), &st) != 0 || !IsReadableStreamType(st.st_mode))
        return -1;

    FILE *f = fopen64(name.constData(), "rb");
    if (!f)
        return -1;
    // The name may have been replaced between the two calls; judge what was actually opened.
    if (fstat64(fileno(f), &st) != 0 || !IsReadableStreamType(st.st_mode)) {
        std::fclose(f);
        return -1;
    }
    // Unbuffered: a seek into bytes the stream had buffered would otherwise show them again even
    // after the file changed on disk, and every plane read is large enough to go straight to the
    // file anyway.
    std::setvbuf(f, nullptr, _IONBF, 0);
    hFile = f;
    FramePos = 0;
    return 0;
}

void TYUVReader::SetFileParams(int W, int H, TYUVFormat NewFormat)
{
    if (!yuv::IsSupportedSize(W, H)) {
        emit ShowWarning(tr("Unsupported picture size %1 x %2: the width must be 1 to %3 and the "
                            "height 1 to %4.")
                             .arg(W)
                             .arg(H)
                             .arg(yuv::MaxWidth)
                             .arg(yuv::MaxHeight));
        return;
    }
    if (NewFormat != YUV420 && NewFormat != YUV422 && NewFormat != YUV444)
        NewFormat = YUV420;

    Format = NewFormat;
    Width = W;
    Height = H;
    YPlaneSize = W * H;
    UVPlaneSize = yuv::ChromaPlaneSize(W, H, Format);
    UVReadExtent = std::max(UVPlaneSize, yuv::ChromaReadExtent(W, H, Format));
    FrameSize = yuv::FrameSize(W, H, Format);

    long long fileSize = 0;
    if (hFile && fseeko64(hFile, 0, SEEK_END) == 0)
        fileSize = std::max<long long>(0, ftello64(hFile));
    // A 1 x 1 picture in 4:2:0 has one-byte frames, so a large file can hold more frames than an
    // int counts; the count is held at the largest int instead of wrapping.
    FramesCount = static_cast<int>(std::min<long long>(fileSize / FrameSize, INT_MAX));

    if (FramesCount == 0)
        emit ShowWarning(QStringLiteral("File too small. Frame count is 0."));
    emit NewPictureParams(Width, Height, FramesCount - 1);

    FramePos = 0;
    Start();
}

void TYUVReader::CloseFile()
{
    if (hFile) {
        std::fclose(hFile);
        hFile = nullptr;
    }
    FramePos = 0;
}

void TYUVReader::FileSeek(int n)
{
    // One absolute 64-bit seek: the offset of frame n is formed in 64 bits, so it can neither
    // overflow nor need a series of relative steps.
    const long long offset = n <= 0 ? 0 : static_cast<long long>(n) * FrameSize;
    fseeko64(hFile, offset, SEEK_SET);
}

void TYUVReader::LoadFrame()
{
    FileSeek(FramePos);
    // Every plane is read (and filled) even after a short one.
    const bool yWhole = ReadPlane(hFile, pY, YPlaneSize, YPlaneSize, 0);
    const bool uWhole = ReadPlane(hFile, pU, UVPlaneSize, UVReadExtent, 128);
    const bool vWhole = ReadPlane(hFile, pV, UVPlaneSize, UVReadExtent, 128);
    FrameWhole = yWhole && uWhole && vWhole;
    YUV2RGB(pRGB, pY, pU, pV, Width, Height, Format);
}

void TYUVReader::LoadAndAnnounce()
{
    if (!hFile)
        return;
    LoadFrame();
    emit NewFrameNumber(FramePos);
    emit NewFrameReady(pRGB, FramePos);
}

void TYUVReader::ReloadCurrentFrame()
{
    if (!hFile)
        return;
    LoadFrame();
    emit NewFrameReady(pRGB, FramePos);
}

int TYUVReader::YUV2RGB(unsigned char *pRGB, unsigned char *pY, unsigned char *pU,
    unsigned char *pV, int W, int H, TYUVFormat Format)
{
    yuv::ConvertYUVToRGB(pRGB, pY, pU, pV, W, H, Format, {YEnabled, UEnabled, VEnabled});
    return 0;
}

void TYUVReader::GotoPos(int Pos)
{
    if (Pos < 0 || Pos >= FramesCount || Pos == FramePos)
        return;
    FramePos = Pos;
    LoadAndAnnounce();
}

void TYUVReader::Previous()
{
    if (FramePos - 1 < 0) {
        FramePos = 0;
        return;
    }
    --FramePos;
    LoadAndAnnounce();
}

void TYUVReader::Next()
{
    if (FramePos >= FramesCount - 1) {
        FramePos = FramesCount - 1;
        emit EndOfFileReached();
        return;
    }
    ++FramePos;
    LoadAndAnnounce();
}

void TYUVReader::Start()
{
    FramePos = 0;
    LoadAndAnnounce();
}

void TYUVReader::End()
{
    FramePos = FramesCount - 1;
    if (!hFile)
        return;
    LoadFrame();
    emit EndOfFileReached();
    emit NewFrameNumber(FramePos);
    emit NewFrameReady(pRGB, FramePos);
}

void TYUVReader::SetYEnable(int State)
{
    YEnabled = State == Qt::Checked;
    ReloadCurrentFrame();
}

void TYUVReader::SetUEnable(int State)
{
    UEnabled = State == Qt::Checked;
    ReloadCurrentFrame();
}

void TYUVReader::SetVEnable(int State)
{
    VEnabled = State == Qt::Checked;
    ReloadCurrentFrame();
}
