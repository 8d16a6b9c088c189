#include "ExitCodes.h"

namespace {

struct TExitCodeMeaning
{
    TExitCode Code;
    const char *Meaning;
};

constexpr TExitCodeMeaning Meanings[] = {
    {ExitOk, "all frames written (with --info: the stream holds a whole frame)"},
    {ExitUsage, "usage error (bad or missing arguments)"},
    {ExitCannotOpen, "the stream cannot be opened, or is not a raw stream"},
    {ExitNoFrames, "the stream holds no whole frame"},
    {ExitOutOfRange, "a frame number is out of range"},
    {ExitWriteFailed, "a snapshot, or standard output, could not be written"},
    {ExitReadFailed, "a frame could not be read whole (read error or shortened stream)"},
};

} // namespace

QString ExitCodeTable()
{
    QString table = QStringLiteral("Exit codes:\n");
    for (const TExitCodeMeaning &entry : Meanings)
        table
            += QStringLiteral("  %1  %2\n").arg(int(entry.Code)).arg(QLatin1String(entry.Meaning));
    return table;
}
