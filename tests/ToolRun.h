#ifndef TOOLRUN_H
#define TOOLRUN_H

// Runs the command-line snapshot tool built with the tests (YUVSNAP_PATH, set by the build) with
// arguments passed byte for byte.

#include "ProcessRun.h"

#include <QStringList>

// What every message of the tool on standard error starts with.
inline const char *const Tool = "tamrel-yuv-snap: ";

inline testsupport::TProgramResult RunTool(
    const QList<QByteArray> &Args, const testsupport::TRunSetup &Setup = {})
{
    return testsupport::RunProgram(YUVSNAP_PATH, Args, Setup);
}

inline testsupport::TProgramResult RunTool(
    const QStringList &Args, const testsupport::TRunSetup &Setup = {})
{
    return RunTool(testsupport::EncodeNames(Args), Setup);
}

#endif // TOOLRUN_H
