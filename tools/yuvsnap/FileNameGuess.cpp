#include "FileNameGuess.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

struct TNamedSize
{
    const char *Name;
    const char *Width;
    const char *Height;
};

constexpr TNamedSize NamedSizes[] = {
    {"qcif", "176", "144"},
    {"cif", "352", "288"},
    {"4cif", "704", "576"},
    {"sd", "720", "576"},
    {"576p", "720", "576"},
    {"720p", "1280", "720"},
    {"1080p", "1920", "1080"},
};

struct TNamedLayout
{
    const char *Name;
    const char *Layout;
};

constexpr TNamedLayout NamedLayouts[] = {
    {"420", "420"},
    {"422", "422"},
    {"444", "444"},
    {"yuv420p", "420"},
    {"yuv422p", "422"},
    {"yuv444p", "444"},
    {"i420", "420"},
};

bool GuessSize(const QString &Token, TNameGuess &Guess)
{
    static const QRegularExpression widthByHeight(QStringLiteral("^(\\d+)x(\\d+)$"));
    const QRegularExpressionMatch m = widthByHeight.match(Token);
    if (m.hasMatch()) {
        Guess.Width = m.captured(1);
        Guess.Height = m.captured(2);
        return true;
    }
    for (const TNamedSize &size : NamedSizes) {
        if (Token == QLatin1String(size.Name)) {
            Guess.Width = QLatin1String(size.Width);
            Guess.Height = QLatin1String(size.Height);
            return true;
        }
    }
    return false;
}

bool GuessLayout(const QString &Token, TNameGuess &Guess)
{
    for (const TNamedLayout &layout : NamedLayouts) {
        if (Token == QLatin1String(layout.Name)) {
            Guess.Layout = QLatin1String(layout.Layout);
            return true;
        }
    }
    return false;
}

// The tokens of the file name, then those of the folder holding it.
QStringList NameTokens(const QString &Path)
{
    static const QRegularExpression separators(QStringLiteral("[_.\\-]"));
    const QStringList components = Path.toLower().split(u'/', Qt::SkipEmptyParts);
    QStringList tokens;
    for (qsizetype i = components.size() - 1; i >= 0 && i >= components.size() - 2; --i)
        tokens += components[i].split(separators, Qt::SkipEmptyParts);
    return tokens;
}

} // namespace

TNameGuess GuessFromFileName(const QString &Path)
{
    TNameGuess guess;
    for (const QString &token : NameTokens(Path)) {
        if (!guess.HasSize() && GuessSize(token, guess))
            continue;
        if (guess.Layout.isEmpty())
            GuessLayout(token, guess);
    }
    return guess;
}
