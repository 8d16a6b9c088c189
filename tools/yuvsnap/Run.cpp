#include "Run.h"

#include "BmpWriter.h"
#include "ExitCodes.h"
#include "Messages.h"
#include "Options.h"
#include "RawFileNames.h"
#include "SnapshotName.h"
#include "StreamHeader.h"
#include "TYUVReader.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// The reader counts frames in an int: frames past this one cannot be reached.
constexpr qint64 ReachableFrames = INT_MAX;

// Whether everything printed since errno was last cleared reached standard output; reports the
// failure if not. A caller that reads the names or the figures must not be told that all went
// well when they were lost (a full disk, a closed descriptor).
bool OutputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    Message(QStringLiteral("Error writing standard output: ")
        + QString::fromLatin1(std::strerror(errno ? errno : EIO)));
    return false;
}

bool PrintLine(const QByteArray &Line)
{
    errno = 0;
    std::fwrite(Line.constData(), 1, static_cast<size_t>(Line.size()), stdout);
    std::fputc('\n', stdout);
    return OutputWritten();
}

// --info: the declared picture and how the stream's bytes divide into frames.
int PrintInfo(const TOptions &Options)
{
    const qint64 frameSize = yuv::FrameSize(Options.Width, Options.Height, Options.Format);
    const qint64 size = StreamSize(Options.Stream);
    if (size < 0) {
        Message(QStringLiteral("Error reading file: ") + FromBytes(Options.Stream));
        return ExitCannotOpen;
    }
    const qint64 frames = size / frameSize;
    errno = 0;
    std::printf("width: %d\nheight: %d\nlayout: %s\nframe size: %lld bytes\nwhole frames: "
                "%lld\ntrailing bytes: %lld\n",
        Options.Width, Options.Height, Bytes(LayoutName(Options.Format)).constData(),
        static_cast<long long>(frameSize), static_cast<long long>(frames),
        static_cast<long long>(size % frameSize));
    if (frames > ReachableFrames)
        std::printf("reachable frames: %lld (only the first %lld frames can be reached)\n",
            static_cast<long long>(ReachableFrames), static_cast<long long>(ReachableFrames));
    if (!OutputWritten())
        return ExitWriteFailed;
    return frames > 0 ? ExitOk : ExitNoFrames;
}

QString OutOfRangeMessage(const TOptions &Options, qint64 FrameCount)
{
    const QString frame = QStringLiteral("Frame %1 is out of range: ").arg(Options.Frames.LastText);
    const qint64 streamFrames = StreamSize(Options.Stream)
        / yuv::FrameSize(Options.Width, Options.Height, Options.Format);
    if (FrameCount == ReachableFrames && streamFrames > ReachableFrames)
        return frame
            + QStringLiteral("the stream holds %1 frames, of which only the first %2 (0 to %3) "
                             "can be reached.")
                  .arg(streamFrames)
                  .arg(ReachableFrames)
                  .arg(ReachableFrames - 1);
    return frame
        + QStringLiteral("the stream holds %1 frame(s), 0 to %2.")
              .arg(FrameCount)
              .arg(FrameCount - 1);
}

QByteArray OutputName(const TOptions &Options, qint64 Frame)
{
    return Options.OutputPattern ? ExpandPattern(*Options.OutputPattern, Frame)
                                 : ProposedSnapshotName(Options.Stream, Frame);
}

// Reads frame N into the reader's RGB frame buffer and writes it to its file.
int WriteFrame(TYUVReader &Reader, const TOptions &Options, int N)
{
    // GotoPos ignores the frame already current, whose picture the buffer still holds.
    Reader.GotoPos(N);
    if (Reader.GetFramePos() != N || !Reader.LastFrameWhole()) {
        Message(QStringLiteral("Error reading frame %1 of ").arg(N) + FromBytes(Options.Stream));
        return ExitReadFailed;
    }
    const QByteArray name = OutputName(Options, N);
    // The snapshot replaces its file whole, which would swap the stream for a picture.
    if (IsSameFile(name, Options.Stream)) {
        Message(
            QStringLiteral("Refusing to replace the stream with a snapshot: ") + FromBytes(name));
        return ExitWriteFailed;
    }
    const TBmpResult result
        = WriteBmpFile(name, Reader.GetRGBBuffer(), Options.Width, Options.Height);
    if (result != TBmpResult::Ok) {
        Message(BmpResultMessage(result, FromBytes(name)));
        return ExitWriteFailed;
    }
    return PrintLine(name) ? ExitOk : ExitWriteFailed;
}

} // namespace

int Run(TOptions Options)
{
    TYUVReader reader;
    // The reader's own texts, such as "File too small. Frame count is 0.", are the messages.
    QObject::connect(&reader, &TYUVReader::ShowWarning, &Message);
    QObject::connect(&reader, &TYUVReader::ErrorOccured, &Message);
    // Planes are switched before a file is open, so that no frame is read for the switch alone.
    reader.SetYEnable(Options.Planes.Y ? Qt::Checked : Qt::Unchecked);
    reader.SetUEnable(Options.Planes.U ? Qt::Checked : Qt::Unchecked);
    reader.SetVEnable(Options.Planes.V ? Qt::Checked : Qt::Unchecked);

    if (!OpenStream(reader, Options.Stream)) {
        const QString reason = OpenFailureReason(Options.Stream);
        Message(QStringLiteral("Error opening file: ") + FromBytes(Options.Stream)
            + (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
        return ExitCannotOpen;
    }
    if (HasYuv4Mpeg2Signature(Options.Stream)) {
        Message(FromBytes(Options.Stream)
            + QStringLiteral(
                " has a YUV4MPEG2 header: it is not a raw stream and cannot be read."));
        return ExitCannotOpen;
    }
    // Judged only now, so that a stream that cannot be read is reported as such first.
    if (const std::optional<int> code = ResolvePicture(Options))
        return *code;
    if (Options.Info)
        return PrintInfo(Options);

    // Counts the frames and loads frame 0.
    reader.SetFileParams(Options.Width, Options.Height, Options.Format);
    const qint64 frameCount = reader.GetFramesCount();
    if (frameCount <= 0)
        return ExitNoFrames;
    if (Options.Frames.Last >= frameCount) {
        Message(OutOfRangeMessage(Options, frameCount));
        return ExitOutOfRange;
    }

    for (qint64 n = Options.Frames.First; n <= Options.Frames.Last; ++n) {
        const int code = WriteFrame(reader, Options, static_cast<int>(n));
        if (code != ExitOk)
            return code;
    }
    return ExitOk;
}
