#ifndef YUVSNAP_OPTIONS_H
#define YUVSNAP_OPTIONS_H

#include "YUVConversion.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Frames First to Last, both included. A number too large for 64 bits is held as the largest
// one, which is out of range of any stream.
struct TFrameRange
{
    qint64 First = 0;
    qint64 Last = 0;
    QString LastText; // Last as typed, without leading zeros, for messages
};

// --width, --height and --layout as typed; each empty when left out.
struct TPictureOptions
{
    std::optional<QString> Width;
    std::optional<QString> Height;
    std::optional<QString> Layout;
};

struct TOptions
{
    QByteArray Stream; // the stream's name as the file system holds it
    std::optional<QByteArray> OutputPattern; // as the file system holds it
    TPictureOptions Picture;
    // Width, Height and Format are set by ResolvePicture.
    int Width = 0;
    int Height = 0;
    TYUVFormat Format = YUV420;
    TFrameRange Frames;
    TPlaneSwitches Planes;
    bool Info = false; // describe the stream instead of writing frames
};

// The options, or the exit code of a run that ends here: a usage error (reported on standard
// error) or --help and --version (printed on standard output).
struct TParseResult
{
    std::optional<int> ExitCode;
    TOptions Options;
};

// "4:2:0", "4:2:2" or "4:4:4".
QString LayoutName(TYUVFormat Format);

// Pattern with %n replaced by the frame number and %% by a percent sign; any other byte stays as
// it is. UsesFrame tells whether %n occurs.
QByteArray ExpandPattern(const QByteArray &Pattern, qint64 Frame, bool *UsesFrame = nullptr);

// Arguments is the command line without the program name, each argument decoded as Latin-1
// (see Messages.h). The picture options are kept as typed: they are judged by ResolvePicture,
// once the stream has been opened.
TParseResult ParseArguments(const QStringList &Arguments);

// Width, height and layout from the options, each taken from the stream's name when its option
// is left out (what the name gave is said on standard error); the name is not read at all when
// all three are given. Returns the usage exit code after reporting a bad or missing value, or a
// name that states what cannot be read.
std::optional<int> ResolvePicture(TOptions &Options);

#endif // YUVSNAP_OPTIONS_H
