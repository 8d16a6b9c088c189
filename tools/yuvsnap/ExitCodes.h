#ifndef YUVSNAP_EXITCODES_H
#define YUVSNAP_EXITCODES_H

#include <QString>

enum TExitCode
{
    ExitOk = 0,
    ExitUsage = 1,
    ExitCannotOpen = 2,
    ExitNoFrames = 3,
    ExitOutOfRange = 4,
    ExitWriteFailed = 5,
    ExitReadFailed = 6,
};

// The exit codes with their meanings, as --help lists them. The README and the manual page
// copy this table; a test checks that the three agree.
QString ExitCodeTable();

#endif // YUVSNAP_EXITCODES_H
