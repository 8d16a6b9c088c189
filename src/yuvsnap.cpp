// tamrel-yuv-snap: writes chosen frames of a raw YUV stream as BMP files without a window.
//
// The frames come from the player's own frame source (TYUVReader) and are saved by the player's
// own snapshot writer (WriteBmpFile), so a file written here holds the same bytes as the
// player's snapshot of the same frame with the same planes switched on.

#include "BmpWriter.h"
#include "TYUVReader.h"
#include "YUVConversion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <climits>
#include <cstdio>

namespace {

const char *const ProgramName = "tamrel-yuv-snap";

enum TExitCode
{
    ExitOk = 0,
    ExitUsage = 1, // bad or missing arguments
    ExitCannotOpen = 2, // the stream cannot be opened
    ExitNoFrames = 3, // the stream holds no whole frame
    ExitOutOfRange = 4, // a frame asked for is past the last frame
    ExitWriteFailed = 5, // a snapshot could not be written
};

const char *const Description
    = "Writes frames of a raw planar YUV stream (8-bit Y, U and V planes, no header) as 24-bit\n"
      "BMP files: the same files the player's snapshot button saves for those frames.\n"
      "\n"
      "Frames are numbered from 0. --frames takes one number (5) or an inclusive range (3-9).\n"
      "\n"
      "Output names: by default the stream's name without its last four characters, then\n"
      "\"_Frame#\", the frame number and \".bmp\" (clip.yuv, frame 5: clip_Frame#5.bmp, beside\n"
      "the stream). In an --output pattern, %n stands for the frame number and %% for a percent\n"
      "sign; a range needs %n in the pattern. Existing files are replaced. The name of each file\n"
      "written is printed on standard output; messages go to standard error.\n"
      "\n"
      "Example: frames 3 to 9 of a 352x288 4:2:0 stream as clip_Frame#3.bmp ... clip_Frame#9.bmp\n"
      "  tamrel-yuv-snap -W 352 -H 288 -l 420 -f 3-9 clip.yuv\n"
      "\n"
      "Exit codes:\n"
      "  0  all frames written\n"
      "  1  usage error (bad or missing arguments)\n"
      "  2  the stream cannot be opened\n"
      "  3  the stream holds no whole frame\n"
      "  4  a frame number is out of range\n"
      "  5  a snapshot could not be written";

void Message(const QString &Text)
{
    std::fprintf(stderr, "%s: %s\n", ProgramName, Text.toLocal8Bit().constData());
}

int UsageError(const QString &Text)
{
    Message(Text);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", ProgramName);
    return ExitUsage;
}

struct TFrameRange
{
    long long First = 0;
    long long Last = 0;
};

// "N" or "A-B" with A <= B, decimal digits only.
bool ParseFrameRange(const QString &Text, TFrameRange &Range)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
    const QRegularExpressionMatch m = pattern.match(Text);
    if (!m.hasMatch())
        return false;
    bool okFirst = false;
    bool okLast = true;
    Range.First = m.captured(1).toLongLong(&okFirst);
    Range.Last = m.hasCaptured(2) ? m.captured(2).toLongLong(&okLast) : Range.First;
    return okFirst && okLast && Range.First <= Range.Last;
}

// A whole number from 1 to Max, decimal digits only.
bool ParseDimension(const QString &Text, int Max, int &Value)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,9}$"));
    if (!digits.match(Text).hasMatch())
        return false;
    Value = Text.toInt();
    return Value >= 1 && Value <= Max;
}

bool ParseLayout(const QString &Text, TYUVFormat &Format)
{
    if (Text == QLatin1String("420"))
        Format = YUV420;
    else if (Text == QLatin1String("422"))
        Format = YUV422;
    else if (Text == QLatin1String("444"))
        Format = YUV444;
    else
        return false;
    return true;
}

// Expands %n to the frame number and %% to a percent sign; any other character stays as it is.
QString ExpandPattern(const QString &Pattern, long long Frame, bool *UsesFrame = nullptr)
{
    QString out;
    bool usesFrame = false;
    for (qsizetype i = 0; i < Pattern.size(); ++i) {
        if (Pattern[i] == u'%' && i + 1 < Pattern.size()) {
            if (Pattern[i + 1] == u'n') {
                out += QString::number(Frame);
                usesFrame = true;
                ++i;
                continue;
            }
            if (Pattern[i + 1] == u'%') {
                out += u'%';
                ++i;
                continue;
            }
        }
        out += Pattern[i];
    }
    if (UsesFrame)
        *UsesFrame = usesFrame;
    return out;
}

// The name the player's snapshot button proposes: the stream's path less its last four
// characters (whatever they are), "_Frame#", the frame number and ".bmp".
QString ProposedName(const QString &Stream, long long Frame)
{
    QString name = Stream;
    name.chop(4);
    return name + QStringLiteral("_Frame#") + QString::number(Frame) + QStringLiteral(".bmp");
}

bool IsSameFile(const QString &A, const QString &B)
{
    const QString a = QFileInfo(A).canonicalFilePath();
    return !a.isEmpty() && a == QFileInfo(B).canonicalFilePath();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(ProgramName));
    QCoreApplication::setApplicationVersion(QStringLiteral(YUVPLAYER_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The raw YUV stream."));

    const QCommandLineOption widthOption({QStringLiteral("W"), QStringLiteral("width")},
        QStringLiteral("Picture width in pixels, 1 to %1 (required).").arg(yuv::MaxWidth),
        QStringLiteral("pixels"));
    const QCommandLineOption heightOption({QStringLiteral("H"), QStringLiteral("height")},
        QStringLiteral("Picture height in pixels, 1 to %1 (required).").arg(yuv::MaxHeight),
        QStringLiteral("pixels"));
    const QCommandLineOption layoutOption({QStringLiteral("l"), QStringLiteral("layout")},
        QStringLiteral("Chroma layout: 420, 422 or 444 (default 420)."), QStringLiteral("layout"),
        QStringLiteral("420"));
    const QCommandLineOption framesOption({QStringLiteral("f"), QStringLiteral("frames")},
        QStringLiteral("Frame number N, or frames A to B (default 0)."), QStringLiteral("N|A-B"),
        QStringLiteral("0"));
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Output file name pattern (%n: frame number)."), QStringLiteral("pattern"));
    const QCommandLineOption noYOption(
        QStringLiteral("no-y"), QStringLiteral("Switch the Y plane off (it reads as 100)."));
    const QCommandLineOption noUOption(
        QStringLiteral("no-u"), QStringLiteral("Switch the U plane off (it reads as 128)."));
    const QCommandLineOption noVOption(
        QStringLiteral("no-v"), QStringLiteral("Switch the V plane off (it reads as 128)."));
    parser.addOptions({widthOption, heightOption, layoutOption, framesOption, outputOption,
        noYOption, noUOption, noVOption});

    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption))
        parser.showHelp(ExitOk);
    if (parser.isSet(versionOption))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return UsageError(QStringLiteral("No stream given."));
    if (positional.size() > 1)
        return UsageError(QStringLiteral("Only one stream can be given; unexpected: ")
            + positional.mid(1).join(u' '));
    const QString stream = positional.first();

    int width = 0;
    int height = 0;
    if (!parser.isSet(widthOption))
        return UsageError(QStringLiteral("The picture width (--width) is required."));
    if (!parser.isSet(heightOption))
        return UsageError(QStringLiteral("The picture height (--height) is required."));
    if (!ParseDimension(parser.value(widthOption), yuv::MaxWidth, width))
        return UsageError(QStringLiteral("Bad width \"%1\": it must be a number from 1 to %2.")
                              .arg(parser.value(widthOption))
                              .arg(yuv::MaxWidth));
    if (!ParseDimension(parser.value(heightOption), yuv::MaxHeight, height))
        return UsageError(QStringLiteral("Bad height \"%1\": it must be a number from 1 to %2.")
                              .arg(parser.value(heightOption))
                              .arg(yuv::MaxHeight));

    TYUVFormat format = YUV420;
    if (!ParseLayout(parser.value(layoutOption), format))
        return UsageError(QStringLiteral("Bad layout \"%1\": it must be 420, 422 or 444.")
                              .arg(parser.value(layoutOption)));

    TFrameRange range;
    if (!ParseFrameRange(parser.value(framesOption), range))
        return UsageError(QStringLiteral("Bad frames \"%1\": give a frame number N or a range "
                                         "A-B with A not above B.")
                              .arg(parser.value(framesOption)));

    const bool hasPattern = parser.isSet(outputOption);
    const QString pattern = parser.value(outputOption);
    if (hasPattern) {
        bool usesFrame = false;
        if (ExpandPattern(pattern, 0, &usesFrame).isEmpty())
            return UsageError(QStringLiteral("The output name is empty."));
        // Without the number every frame of a range would land in one file, each replacing the
        // one before it.
        if (range.First != range.Last && !usesFrame)
            return UsageError(QStringLiteral("A range of frames needs %n in the output name."));
    }

    TYUVReader reader;
    QStringList readerMessages;
    QObject::connect(&reader, &TYUVReader::ShowWarning,
        [&readerMessages](const QString &Msg) { readerMessages << Msg; });
    QObject::connect(&reader, &TYUVReader::ErrorOccured,
        [&readerMessages](const QString &Msg) { readerMessages << Msg; });

    // Planes are switched before a file is open, so that no frame is read for the switch alone.
    reader.SetYEnable(parser.isSet(noYOption) ? Qt::Unchecked : Qt::Checked);
    reader.SetUEnable(parser.isSet(noUOption) ? Qt::Unchecked : Qt::Checked);
    reader.SetVEnable(parser.isSet(noVOption) ? Qt::Unchecked : Qt::Checked);

    if (reader.OpenFile(stream) != 0) {
        Message(QStringLiteral("Error opening file: ") + stream);
        return ExitCannotOpen;
    }
    // Counts the frames and loads frame 0.
    reader.SetFileParams(width, height, format);
    const long long frameCount = reader.GetFramesCount();
    if (frameCount <= 0) {
        if (readerMessages.isEmpty())
            readerMessages << QStringLiteral("File too small. Frame count is 0.");
        for (const QString &msg : std::as_const(readerMessages))
            Message(msg);
        return ExitNoFrames;
    }
    for (const QString &msg : std::as_const(readerMessages))
        Message(msg);

    if (range.Last >= frameCount) {
        Message(QStringLiteral("Frame %1 is out of range: the stream holds %2 frame(s), 0 to %3.")
                    .arg(range.Last)
                    .arg(frameCount)
                    .arg(frameCount - 1));
        return ExitOutOfRange;
    }

    for (long long n = range.First; n <= range.Last; ++n) {
        // GotoPos ignores the frame already current, whose picture the buffer still holds.
        reader.GotoPos(static_cast<int>(n));
        if (reader.GetFramePos() != n) {
            Message(QStringLiteral("Frame %1 could not be read.").arg(n));
            return ExitWriteFailed;
        }
        const QString name = hasPattern ? ExpandPattern(pattern, n) : ProposedName(stream, n);
        // The snapshot replaces its file whole, which would swap the stream for a picture.
        if (IsSameFile(name, stream)) {
            Message(QStringLiteral("Refusing to replace the stream with a snapshot: ") + name);
            return ExitWriteFailed;
        }
        const TBmpResult result = WriteBmpFile(name, reader.GetRGBBuffer(), width, height);
        if (result != TBmpResult::Ok) {
            Message(BmpResultMessage(result, name));
            return ExitWriteFailed;
        }
        std::printf("%s\n", name.toLocal8Bit().constData());
    }
    return ExitOk;
}
