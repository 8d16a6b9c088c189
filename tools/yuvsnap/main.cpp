// tamrel-yuv-snap: writes chosen frames of a raw YUV stream as BMP files without a window.
//
// The frames come from the player's own frame source (TYUVReader) and are saved by the player's
// own snapshot writer (WriteBmpFile), so a file written here holds the same bytes as the
// player's snapshot of the same frame with the same planes switched on.

#include "Options.h"
#include "Run.h"
#include "SafeFileWriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>

namespace {

// A snapshot cut short by a signal leaves no temporary file; then the signal ends the program as
// it would have without the handler.
void RemoveTemporaryAndDie(int Signal)
{
    RemovePendingTemporaryFile();
    std::signal(Signal, SIG_DFL);
    std::raise(Signal);
}

} // namespace

int main(int argc, char **argv)
{
    // A file-size limit makes a write fail (and be reported) instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller ignores (nohup) stays ignored.
        struct sigaction current
        {
        };
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            std::signal(signal, RemoveTemporaryAndDie);
    }
    // Each written file's name goes out as soon as the file is complete.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QCoreApplication app(argc, argv);
    // The raw bytes of each argument (see Messages.h), not Qt's UTF-8 reading of them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLatin1(argv[i]);

    const TParseResult parsed = ParseArguments(arguments);
    if (parsed.ExitCode)
        return *parsed.ExitCode;
    return Run(parsed.Options);
}
