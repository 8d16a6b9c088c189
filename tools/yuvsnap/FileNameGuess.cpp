#include "FileNameGuess.h"

#include <QRegularExpression>
#include <QStringView>

#include <array>
#include <optional>

namespace {

enum TProperty
{
    Size,
    Layout,
    Depth,
    PropertyCount,
};

// What one word states about one property: a value ("1920x1080", "422", "8"), or why what it
// names cannot be read.
struct TStatement
{
    TProperty Property = Size;
    QString Value;
    const char *Unreadable = nullptr;
};

// Why the words of each kind refused cannot be read. A high-depth word such as p010 or
// yuv420p10le is refused for its depth alone.
constexpr const char *Deep = "samples of more than 8 bits";
constexpr const char *SemiPlanar = "a semi-planar layout (U and V interleaved)";
constexpr const char *Packed = "a packed layout (Y, U and V interleaved)";
constexpr const char *Rgb = "RGB samples";

// The words without a digit that mean something, and the words with one that need no pattern.
struct TNamedWord
{
    const char *Word;
    TProperty Property;
    const char *Value; // for a word refused, nullptr
    const char *Unreadable = nullptr;
};

constexpr TNamedWord NamedWords[] = {
    {"qcif", Size, "176x144"},
    {"cif", Size, "352x288"},
    {"sif", Size, "352x240"},
    {"4cif", Size, "704x576"},
    {"sd", Size, "720x576"},
    {"420", Layout, "420"},
    {"422", Layout, "422"},
    {"444", Layout, "444"},
    {"yuv420p", Layout, "420"},
    {"yuv422p", Layout, "422"},
    {"yuv444p", Layout, "444"},
    {"yuv420", Layout, "420"},
    {"yuv422", Layout, "422"},
    {"yuv444", Layout, "444"},
    {"i420", Layout, "420"},
    {"i422", Layout, "422"},
    {"i444", Layout, "444"},
    {"iyuv", Layout, "420"},
    {"8bit", Depth, "8"},
    {"8bits", Depth, "8"},
    {"yuyv", Layout, nullptr, Packed},
    {"uyvy", Layout, nullptr, Packed},
    {"yvyu", Layout, nullptr, Packed},
    {"vyuy", Layout, nullptr, Packed},
    {"rgb", Layout, nullptr, Rgb},
    {"bgr", Layout, nullptr, Rgb},
    {"rgba", Layout, nullptr, Rgb},
    {"bgra", Layout, nullptr, Rgb},
    {"argb", Layout, nullptr, Rgb},
    {"abgr", Layout, nullptr, Rgb},
    {"gbrp", Layout, nullptr, Rgb},
};

// The other words refused, all holding a digit, one named group of PatternWords per kind.
struct TUnreadableKind
{
    const char *Group;
    TProperty Property;
    const char *Reason;
};

constexpr TUnreadableKind UnreadableKinds[] = {
    {"depth", Depth, Deep},
    {"semiplanar", Layout, SemiPlanar},
    {"packed", Layout, Packed},
    {"rgb", Layout, Rgb},
    {"yvu", Layout, "planes in the order Y, V, U"},
};

// The sizes ("WxH", optionally with "p" and a frame rate; "<lines>p" with an optional frame
// rate) and the words refused that hold a digit, one named group per kind, in one pattern.
const QRegularExpression &PatternWords()
{
    static const QRegularExpression words(
        QStringLiteral("^(?:(?<w>\\d+)x(?<h>\\d+)(?:p\\d*)?|(?<lines>576|720|1080|2160)p\\d*"
                       "|(?<depth>(?:9|1[0-6])bits?|(?:yuv|i)?4(?:20|22|44)p(?:9|1[0246])(?:le|be)?"
                       "|p[024]1[026])"
                       "|(?<semiplanar>nv(?:12|21|16|61|24|42))"
                       "|(?<packed>(?:yuyv|yuy2|uyvy|yvyu|vyuy)422|yuy2|v210)"
                       "|(?<rgb>(?:rgb|bgr)(?:24|32|48))"
                       "|(?<yvu>yv12|yv16))$"));
    return words;
}

// Every word PatternWords matches holds a digit; most words of a name hold none and skip it.
bool HasDigit(QStringView Word)
{
    for (const QChar c : Word) {
        if (c >= u'0' && c <= u'9')
            return true;
    }
    return false;
}

// What Word (lower case) states, if anything.
std::optional<TStatement> Statement(QStringView Word)
{
    for (const TNamedWord &named : NamedWords) {
        if (Word != QLatin1String(named.Word))
            continue;
        return named.Unreadable ? TStatement {named.Property, Word.toString(), named.Unreadable}
                                : TStatement {named.Property, QLatin1String(named.Value)};
    }
    if (!HasDigit(Word))
        return std::nullopt;
    const QRegularExpressionMatch m = PatternWords().match(Word);
    if (!m.hasMatch())
        return std::nullopt;
    if (m.hasCaptured(u"w"))
        return TStatement {Size, m.captured(u"w") + u'x' + m.captured(u"h")};
    const QString lines = m.captured(u"lines");
    if (!lines.isEmpty()) {
        const char *width = lines == u"576" ? "720"
            : lines == u"720"               ? "1280"
            : lines == u"1080"              ? "1920"
                                            : "3840";
        return TStatement {Size, QLatin1String(width) + u'x' + lines};
    }
    for (const TUnreadableKind &kind : UnreadableKinds) {
        if (m.hasCaptured(QLatin1String(kind.Group)))
            return TStatement {kind.Property, Word.toString(), kind.Reason};
    }
    return std::nullopt;
}

// What one name (the file's or the folder's) states about one property: the first word that
// states it, the first word naming something unreadable, and the first word that contradicts the
// first one. Words are kept as written, for messages.
struct TReading
{
    QString Word;
    QString Value;
    QString UnreadableWord;
    const char *Reason = nullptr;
    QString OtherWord;
};

using TNameReading = std::array<TReading, PropertyCount>;

bool IsSeparator(QChar C)
{
    return C == u'_' || C == u'.' || C == u'-' || C == u' ';
}

TNameReading ReadName(QStringView Name)
{
    TNameReading reading;
    // Every word read is ASCII, so only ASCII letters are lowered: the words keep their places
    // in Name, which the messages quote.
    QString lower = Name.toString();
    for (QChar &c : lower) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i <= lower.size(); ++i) {
        if (i < lower.size() && !IsSeparator(lower[i]))
            continue;
        const std::optional<TStatement> statement
            = Statement(QStringView(lower).mid(start, i - start));
        const qsizetype wordStart = start;
        start = i + 1;
        if (!statement)
            continue;
        const QString word = Name.mid(wordStart, i - wordStart).toString();
        TReading &r = reading[statement->Property];
        if (statement->Unreadable && r.UnreadableWord.isEmpty()) {
            r.UnreadableWord = word;
            r.Reason = statement->Unreadable;
        }
        if (r.Word.isEmpty()) {
            r.Word = word;
            r.Value = statement->Value;
        } else if (r.OtherWord.isEmpty() && statement->Value != r.Value) {
            r.OtherWord = word;
        }
    }
    return reading;
}

// The last non-empty component of Path, which then loses it.
QStringView LastComponent(QStringView &Path)
{
    while (Path.endsWith(u'/'))
        Path.chop(1);
    const qsizetype slash = Path.lastIndexOf(u'/');
    const QStringView last = Path.mid(slash + 1);
    Path.truncate(slash < 0 ? 0 : slash);
    return last;
}

} // namespace

QString NameSourceText(TNameSource Source)
{
    return Source == TNameSource::FolderName ? QStringLiteral("folder name")
                                             : QStringLiteral("file name");
}

TNameGuess GuessFromFileName(const QString &Path)
{
    QStringView rest(Path);
    const QStringView fileName = LastComponent(rest);
    const TNameReading file = ReadName(fileName);
    const TNameReading folder = ReadName(LastComponent(rest));

    // Each property from the file name when it states it, else from the folder name.
    std::array<const TReading *, PropertyCount> chosen;
    std::array<TNameSource, PropertyCount> sources;
    for (int p = 0; p < PropertyCount; ++p) {
        const bool inFile = !file[p].Word.isEmpty();
        chosen[p] = inFile ? &file[p] : &folder[p];
        sources[p] = chosen[p]->Word.isEmpty()
            ? TNameSource::None
            : (inFile ? TNameSource::FileName : TNameSource::FolderName);
    }

    TNameGuess guess;
    const QString regardless
        = QStringLiteral("; give --width, --height and --layout to read it regardless.");
    for (int p = 0; p < PropertyCount && guess.Refusal.isEmpty(); ++p) {
        if (chosen[p]->Reason) {
            guess.Refusal = QStringLiteral("The %1 says \"%2\": %3 cannot be read (only 8-bit "
                                           "planar Y, U, V can)")
                                .arg(NameSourceText(sources[p]), chosen[p]->UnreadableWord,
                                    QLatin1String(chosen[p]->Reason))
                + regardless;
        }
    }
    const char *const plurals[] = {"sizes", "layouts", "sample depths"};
    for (int p = 0; p < PropertyCount && guess.Refusal.isEmpty(); ++p) {
        if (!chosen[p]->OtherWord.isEmpty()) {
            guess.Refusal = QStringLiteral("The %1 gives two %2, \"%3\" and \"%4\"")
                                .arg(NameSourceText(sources[p]), QLatin1String(plurals[p]),
                                    chosen[p]->Word, chosen[p]->OtherWord)
                + QStringLiteral("; give --width, --height and --layout to say which.");
        }
    }
    if (!guess.Refusal.isEmpty())
        return guess;

    if (sources[Size] != TNameSource::None) {
        const qsizetype x = chosen[Size]->Value.indexOf(u'x');
        guess.Width = chosen[Size]->Value.left(x);
        guess.Height = chosen[Size]->Value.mid(x + 1);
        guess.SizeFrom = sources[Size];
    }
    guess.Layout = chosen[Layout]->Value;
    guess.LayoutFrom = sources[Layout];
    return guess;
}
