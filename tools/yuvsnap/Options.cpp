#include "Options.h"

#include "ExitCodes.h"
#include "FileNameGuess.h"
#include "Messages.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const char *const Description
    = "Writes frames of a raw planar YUV stream (8-bit Y, U and V planes, no header) as 24-bit\n"
      "BMP files: the same files the player's snapshot button saves for those frames.\n"
      "\n"
      "Frames are numbered from 0. --frames takes one number (5) or an inclusive range (3-9).\n"
      "\n"
      "Without --width, --height or --layout the value is taken from the stream's name, or from\n"
      "the name of the folder holding it for what the file name does not say: WxH (352x288),\n"
      "qcif, cif, sif, 4cif, sd, 576p, 720p, 1080p, 2160p, also with a frame rate (1080p50), for\n"
      "the size; 420, 422, 444, yuv420p, yuv422p, yuv444p, yuv420, yuv422, yuv444, i420, i422,\n"
      "i444 or iyuv for the layout. Options always win. What is taken from a name is said on\n"
      "standard error. A name that says what cannot be read (10bit, p010, yuv420p10le, nv12,\n"
      "yuyv, rgb24, ...; the manual page lists the words) or gives two sizes or two layouts is\n"
      "refused, unless --width, --height and --layout are all given. A stream that starts with\n"
      "a YUV4MPEG2 header is refused.\n"
      "\n"
      "Output names: by default the stream's name without its last four characters, then\n"
      "\"_Frame#\", the frame number and \".bmp\" (clip.yuv, frame 5: clip_Frame#5.bmp, beside\n"
      "the stream). In an --output pattern, %n stands for the frame number and %% for a percent\n"
      "sign; a range needs %n in the pattern. Existing files are replaced. The name of each file\n"
      "written is printed on standard output once the file is complete; messages go to standard\n"
      "error. A frame that cannot be read whole is not written; the files already written stay.\n"
      "\n"
      "Examples:\n"
      "  tamrel-yuv-snap -W 352 -H 288 -l 420 -f 3-9 clip.yuv\n"
      "  tamrel-yuv-snap -f 10 foreman_cif.yuv      (352x288 4:2:0 from the name)\n"
      "  tamrel-yuv-snap --info park_1920x1080_422.yuv\n";

struct TParser
{
    QCommandLineParser Parser;
    QCommandLineOption Help = Parser.addHelpOption();
    QCommandLineOption Version = Parser.addVersionOption();
    QCommandLineOption Width {{"W", "width"},
        QStringLiteral("Picture width in pixels, 1 to %1 (default: from the name).")
            .arg(yuv::MaxWidth),
        "pixels"};
    QCommandLineOption Height {{"H", "height"},
        QStringLiteral("Picture height in pixels, 1 to %1 (default: from the name).")
            .arg(yuv::MaxHeight),
        "pixels"};
    QCommandLineOption Layout {{"l", "layout"},
        "Chroma layout: 420, 422 or 444 (default: from the name, else 420).", "layout", "420"};
    QCommandLineOption Frames {
        {"f", "frames"}, "Frame number N, or frames A to B (default 0).", "N|A-B", "0"};
    QCommandLineOption Output {
        {"o", "output"}, "Output file name pattern (%n: frame number).", "pattern"};
    QCommandLineOption NoY {"no-y", "Switch the Y plane off (it reads as 100)."};
    QCommandLineOption NoU {"no-u", "Switch the U plane off (it reads as 128)."};
    QCommandLineOption NoV {"no-v", "Switch the V plane off (it reads as 128)."};
    QCommandLineOption Info {"info",
        "Print the picture size, layout, frame size in bytes, whole frames and trailing bytes "
        "of the stream instead of writing frames."};

    TParser()
    {
        Parser.addPositionalArgument("file", "The raw YUV stream.");
        Parser.addOptions({Width, Height, Layout, Frames, Output, NoY, NoU, NoV, Info});
    }
};

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

QString WithoutLeadingZeros(const QString &Digits)
{
    qsizetype zeros = 0;
    while (zeros + 1 < Digits.size() && Digits[zeros] == u'0')
        ++zeros;
    return Digits.mid(zeros);
}

// Digits without leading zeros, held at the largest 64-bit number when larger.
qint64 SaturatedNumber(const QString &Digits)
{
    bool ok = false;
    const qint64 value = Digits.toLongLong(&ok);
    return ok ? value : LLONG_MAX;
}

bool NotAbove(const QString &A, const QString &B)
{
    return A.size() != B.size() ? A.size() < B.size() : A <= B;
}

// "N" or "A-B" with A <= B, decimal digits only, of any length.
bool ParseFrameRange(const QString &Text, TFrameRange &Range)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
    const QRegularExpressionMatch m = pattern.match(Text);
    if (!m.hasMatch())
        return false;
    const QString first = WithoutLeadingZeros(m.captured(1));
    const QString last = m.hasCaptured(2) ? WithoutLeadingZeros(m.captured(2)) : first;
    Range.First = SaturatedNumber(first);
    Range.Last = SaturatedNumber(last);
    Range.LastText = last;
    return NotAbove(first, last);
}

// "4:2:0" for the layout text "420", and so on.
QString DescribeLayout(const QString &Layout)
{
    TYUVFormat format = YUV420;
    ParseLayout(Layout, format);
    return LayoutName(format);
}

// "1920x1080 from the folder name and 4:2:0 from the file name"; one source named once.
QString DescribeGuess(const QStringList &Values, const QList<TNameSource> &Sources)
{
    if (Sources.size() == 2 && Sources[0] != Sources[1]) {
        return QStringLiteral("%1 from the %2 and %3 from the %4")
            .arg(Values[0], NameSourceText(Sources[0]), Values[1], NameSourceText(Sources[1]));
    }
    return QStringLiteral("%1 from the %2").arg(Values.join(u' '), NameSourceText(Sources[0]));
}

// The texts of --width, --height and --layout, each taken from the stream's name when its option
// is not given; what the name gave is said on standard error.
std::optional<int> PictureTexts(
    const TPictureOptions &Given, const TNameGuess &Guess, TPictureOptions &Texts)
{
    if (!Guess.Refusal.isEmpty())
        return UsageError(Guess.Refusal);
    Texts = Given;
    const bool widthGuessed = Guess.HasSize() && !Given.Width;
    const bool heightGuessed = Guess.HasSize() && !Given.Height;
    const bool layoutGuessed = !Guess.Layout.isEmpty() && !Given.Layout;
    QStringList guessed;
    QList<TNameSource> sources;
    if (widthGuessed && heightGuessed)
        guessed << QStringLiteral("%1x%2").arg(Guess.Width, Guess.Height);
    else if (widthGuessed)
        guessed << QStringLiteral("width %1").arg(Guess.Width);
    else if (heightGuessed)
        guessed << QStringLiteral("height %1").arg(Guess.Height);
    if (!guessed.isEmpty())
        sources << Guess.SizeFrom;
    if (layoutGuessed) {
        guessed << DescribeLayout(Guess.Layout);
        sources << Guess.LayoutFrom;
    }
    if (guessed.isEmpty())
        return std::nullopt;

    if (widthGuessed)
        Texts.Width = Guess.Width;
    if (heightGuessed)
        Texts.Height = Guess.Height;
    if (layoutGuessed)
        Texts.Layout = Guess.Layout;
    Message(QStringLiteral("assuming %1%2")
                .arg(DescribeGuess(guessed, sources),
                    Texts.Layout ? QString() : QStringLiteral(" (layout 4:2:0 by default)")));
    return std::nullopt;
}

// The stream's path for reading its name: made absolute and without "." and ".." steps, so that
// the folder holding the stream is named even when the path does not name it.
QString PathToRead(const QByteArray &Stream)
{
    QString path = FromBytes(Stream);
    if (!path.startsWith(u'/')) {
        char *cwd = ::getcwd(nullptr, 0);
        if (cwd)
            path = FromBytes(cwd) + u'/' + path;
        std::free(cwd);
    }
    return QDir::cleanPath(path);
}

// --frames and --output, and whether the two fit together.
std::optional<int> ParseOutput(const TParser &P, TOptions &Options)
{
    const QCommandLineParser &parser = P.Parser;
    if (!ParseFrameRange(parser.value(P.Frames), Options.Frames))
        return UsageError(QStringLiteral("Bad frames \"%1\": give a frame number N or a range "
                                         "A-B with A not above B.")
                              .arg(parser.value(P.Frames)));
    if (!parser.isSet(P.Output))
        return std::nullopt;
    const QByteArray pattern = Bytes(parser.value(P.Output));
    bool usesFrame = false;
    if (ExpandPattern(pattern, 0, &usesFrame).isEmpty())
        return UsageError(QStringLiteral("The output name is empty."));
    // Without the number every frame of a range would land in one file, each replacing the one
    // before it.
    if (Options.Frames.First != Options.Frames.Last && !usesFrame)
        return UsageError(QStringLiteral("A range of frames needs %n in the output name."));
    Options.OutputPattern = pattern;
    return std::nullopt;
}

} // namespace

QString LayoutName(TYUVFormat Format)
{
    switch (Format) {
    case YUV420:
        return QStringLiteral("4:2:0");
    case YUV422:
        return QStringLiteral("4:2:2");
    case YUV444:
        return QStringLiteral("4:4:4");
    }
    return QString();
}

QByteArray ExpandPattern(const QByteArray &Pattern, qint64 Frame, bool *UsesFrame)
{
    QByteArray out;
    bool usesFrame = false;
    for (qsizetype i = 0; i < Pattern.size(); ++i) {
        const char next = i + 1 < Pattern.size() ? Pattern[i + 1] : '\0';
        if (Pattern[i] == '%' && next == 'n') {
            out += QByteArray::number(Frame);
            usesFrame = true;
            ++i;
        } else if (Pattern[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else {
            out += Pattern[i];
        }
    }
    if (UsesFrame)
        *UsesFrame = usesFrame;
    return out;
}

std::optional<int> ResolvePicture(TOptions &Options)
{
    const TPictureOptions &given = Options.Picture;
    const bool allGiven = given.Width && given.Height && given.Layout;
    TPictureOptions texts;
    const TNameGuess guess
        = allGiven ? TNameGuess() : GuessFromFileName(PathToRead(Options.Stream));
    if (const std::optional<int> code = PictureTexts(given, guess, texts))
        return code;
    if (!texts.Width)
        return UsageError(QStringLiteral("The picture width (--width) is required."));
    if (!texts.Height)
        return UsageError(QStringLiteral("The picture height (--height) is required."));
    if (!ParseDimension(*texts.Width, yuv::MaxWidth, Options.Width))
        return UsageError(QStringLiteral("Bad width \"%1\": it must be a number from 1 to %2.")
                              .arg(*texts.Width)
                              .arg(yuv::MaxWidth));
    if (!ParseDimension(*texts.Height, yuv::MaxHeight, Options.Height))
        return UsageError(QStringLiteral("Bad height \"%1\": it must be a number from 1 to %2.")
                              .arg(*texts.Height)
                              .arg(yuv::MaxHeight));
    const QString layout = texts.Layout.value_or(QStringLiteral("420"));
    if (!ParseLayout(layout, Options.Format))
        return UsageError(
            QStringLiteral("Bad layout \"%1\": it must be 420, 422 or 444.").arg(layout));
    return std::nullopt;
}

TParseResult ParseArguments(const QStringList &Arguments)
{
    TParser p;
    TParseResult result;
    QStringList withProgram = Arguments;
    withProgram.prepend(QString::fromLatin1(ProgramName));
    if (!p.Parser.parse(withProgram)) {
        result.ExitCode = UsageError(p.Parser.errorText());
        return result;
    }
    if (p.Parser.isSet(p.Help)) {
        // Built only here: most command lines never need the long text.
        p.Parser.setApplicationDescription(
            QString::fromLatin1(Description) + '\n' + ExitCodeTable().trimmed());
        // Not in the byte form of Messages.h: the usage line holds the program path as Qt read it.
        std::fputs(p.Parser.helpText().toLocal8Bit().constData(), stdout);
        result.ExitCode = ExitOk;
        return result;
    }
    if (p.Parser.isSet(p.Version)) {
        std::printf("%s %s\n", ProgramName, YUVPLAYER_VERSION);
        result.ExitCode = ExitOk;
        return result;
    }

    const QStringList positional = p.Parser.positionalArguments();
    if (positional.isEmpty()) {
        result.ExitCode = UsageError(QStringLiteral("No stream given."));
        return result;
    }
    if (positional.size() > 1) {
        result.ExitCode = UsageError(QStringLiteral("Only one stream can be given; unexpected: ")
            + positional.mid(1).join(u' '));
        return result;
    }
    TOptions &options = result.Options;
    options.Stream = Bytes(positional.first());
    options.Info = p.Parser.isSet(p.Info);
    options.Planes = {!p.Parser.isSet(p.NoY), !p.Parser.isSet(p.NoU), !p.Parser.isSet(p.NoV)};
    auto given = [&p](const QCommandLineOption &Option) {
        return p.Parser.isSet(Option) ? std::optional<QString>(p.Parser.value(Option))
                                      : std::nullopt;
    };
    options.Picture = {given(p.Width), given(p.Height), given(p.Layout)};
    result.ExitCode = ParseOutput(p, options);
    return result;
}
