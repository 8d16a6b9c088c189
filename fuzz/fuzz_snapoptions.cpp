// Fuzz target for the snapshot tool's command line: the option parser, the judging of the picture
// options, and the reading of stream names. All of it is pure (no file is opened), so an input
// costs microseconds.
//
// The parser must end every command line with a usage error (and its two lines of message), with
// --help or --version, or with options that hold together: frames in order, an output pattern
// that names each frame of a range apart. Judging the picture must give a size within the frame
// buffers and a known layout, or a usage error; given all three picture options, it must take
// them as they are and read no name. The last argument is also read as a stream's path, and its
// reading must be well formed and must not change when the ASCII letters change case and the
// word separators are swapped for one another, nor when a folder is put in front of its folder.
//
// Input layout (scripts/make_fuzz_corpus.py writes seeds in it): the arguments, Latin-1,
// separated by NUL bytes.

#include "ExitCodes.h"
#include "FileNameGuess.h"
#include "FuzzInput.h"
#include "Messages.h"
#include "Options.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <string>

namespace {

int MessageLines = 0;
QByteArray LastLine;

void CountLine(const QByteArray &Line)
{
    ++MessageLines;
    LastLine = Line;
}

std::string Text(const QString &S)
{
    return S.toStdString();
}

// The option's number as ParseDimension reads it; -1 when it is not one.
int Number(const std::optional<QString> &Text)
{
    bool ok = false;
    const int value = Text ? Text->toInt(&ok) : -1;
    return ok ? value : -1;
}

bool SameGuess(const TNameGuess &A, const TNameGuess &B, Qt::CaseSensitivity RefusalCase)
{
    return A.Width == B.Width && A.Height == B.Height && A.SizeFrom == B.SizeFrom
        && A.Layout == B.Layout && A.LayoutFrom == B.LayoutFrom
        && A.Refusal.compare(B.Refusal, RefusalCase) == 0;
}

bool AllDigits(const QString &S)
{
    for (const QChar c : S) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

void CheckGuess(const QString &Path)
{
    const TNameGuess guess = GuessFromFileName(Path);
    const std::string pathText = Text(Path);
    const char *path = pathText.c_str();
    if (!guess.Refusal.isEmpty()) {
        if (!guess.Width.isEmpty() || !guess.Layout.isEmpty() || guess.SizeFrom != TNameSource::None
            || guess.LayoutFrom != TNameSource::None)
            Fail("\"%s\": refused, yet values are set", path);
        // The word quoted first is one of the path's words as written.
        const qsizetype open = guess.Refusal.indexOf(u'"');
        const qsizetype close = guess.Refusal.indexOf(u'"', open + 1);
        if (open < 0 || close <= open + 1
            || !Path.contains(guess.Refusal.mid(open + 1, close - open - 1)))
            Fail("\"%s\": the refusal does not quote a word of the path: %s", path,
                Text(guess.Refusal).c_str());
    } else {
        const bool sized = guess.SizeFrom != TNameSource::None;
        if (guess.Width.isEmpty() == sized || guess.Height.isEmpty() == sized
            || !AllDigits(guess.Width) || !AllDigits(guess.Height))
            Fail("\"%s\": bad size %s x %s", path, Text(guess.Width).c_str(),
                Text(guess.Height).c_str());
        const bool laidOut = guess.LayoutFrom != TNameSource::None;
        const bool known
            = guess.Layout == u"420" || guess.Layout == u"422" || guess.Layout == u"444";
        if (known != laidOut || (!known && !guess.Layout.isEmpty()))
            Fail("\"%s\": bad layout \"%s\"", path, Text(guess.Layout).c_str());
    }

    // ASCII letters in the other case, the separators swapped for one another, and one more
    // folder in front of the folder.
    QString other = Path;
    for (QChar &c : other) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 'a' + 'A');
        else if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() - 'A' + 'a');
        else if (c == u'-' || c == u'.' || c == u' ')
            c = u'_';
        else if (c == u'_')
            c = u'-';
    }
    if (!SameGuess(guess, GuessFromFileName(QStringLiteral("z/") + other), Qt::CaseInsensitive))
        Fail("\"%s\": read otherwise with other letter case and separators, below one more "
             "folder",
            path);
}

void CheckCommandLine(const QStringList &Arguments)
{
    MessageLines = 0;
    TParseResult parsed = ParseArguments(Arguments);
    if (parsed.ExitCode) {
        if (*parsed.ExitCode == ExitUsage
            && (MessageLines < 2 || !LastLine.startsWith("Try 'tamrel-yuv-snap --help'")))
            Fail("usage error with %d message lines", MessageLines);
        if (*parsed.ExitCode != ExitUsage && *parsed.ExitCode != ExitOk)
            Fail("the parser ended with exit code %d", *parsed.ExitCode);
        return;
    }
    TOptions &options = parsed.Options;
    if (MessageLines != 0)
        Fail("options accepted with %d message lines", MessageLines);
    if (options.Frames.First < 0 || options.Frames.First > options.Frames.Last)
        Fail("frames %lld to %lld accepted", static_cast<long long>(options.Frames.First),
            static_cast<long long>(options.Frames.Last));
    if (options.OutputPattern) {
        bool usesFrame = false;
        if (ExpandPattern(*options.OutputPattern, options.Frames.First, &usesFrame).isEmpty())
            Fail("an empty output name accepted");
        if (options.Frames.First != options.Frames.Last && !usesFrame)
            Fail("a range into one output name accepted");
    }

    const TPictureOptions given = options.Picture;
    const std::optional<int> code = ResolvePicture(options);
    if (code) {
        if (*code != ExitUsage || MessageLines < 2)
            Fail("picture refused with exit code %d and %d message lines", *code, MessageLines);
        return;
    }
    if (options.Width < 1 || options.Width > yuv::MaxWidth || options.Height < 1
        || options.Height > yuv::MaxHeight
        || (options.Format != YUV420 && options.Format != YUV422 && options.Format != YUV444))
        Fail("picture %d x %d, layout %d accepted", options.Width, options.Height,
            int(options.Format));
    if (MessageLines > 1)
        Fail("picture accepted with %d message lines", MessageLines);
    if (given.Width && given.Height && given.Layout
        && (MessageLines != 0 || options.Width != Number(given.Width)
            || options.Height != Number(given.Height)))
        Fail("the name was read although every picture option was given");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_snapoptions";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // --help and --version print to standard output; the messages are counted instead.
    if (!std::freopen("/dev/null", "w", stdout))
        Fail("cannot send standard output to /dev/null");
    SetMessageSink(&CountLine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList arguments
        = QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
              .split(QChar(0));
    CheckCommandLine(arguments);
    // The last argument is most often the stream.
    CheckGuess(arguments.last());
    return 0;
}
