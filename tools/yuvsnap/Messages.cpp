#include "Messages.h"

#include "ExitCodes.h"

#include <cstdio>

const char *const ProgramName = "tamrel-yuv-snap";

void Message(const QString &Text)
{
    std::fprintf(stderr, "%s: %s\n", ProgramName, Bytes(Text).constData());
}

int UsageError(const QString &Text)
{
    Message(Text);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", ProgramName);
    return ExitUsage;
}
