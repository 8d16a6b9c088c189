#ifndef PROCESSRUN_H
#define PROCESSRUN_H

// Programs run as a user runs them, with arguments and file names given as bytes (which need not
// be valid UTF-8): the exit code and both output streams collected, the process optionally given
// a working folder, a file-size limit or a prepared standard output.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QProcess;

namespace testsupport {

// What a finished program left behind.
struct TProgramResult
{
    int ExitCode = -1;
    bool Crashed = true; // also when it did not finish in time
    QByteArray Out;
    QByteArray Err;
};

// How the process is set up beyond its arguments.
struct TRunSetup
{
    QString WorkDir; // empty: the test's own
    qint64 FileSizeLimit = -1; // RLIMIT_FSIZE in bytes; negative: none
    int Stdout = -1; // a descriptor to be the program's standard output instead of a pipe
    QList<QByteArray> Environment; // NAME=value entries added to the test's own environment
};

// Starts program with args passed byte for byte. QProcess would pass them through UTF-8.
void StartProgram(
    QProcess &p, const QByteArray &program, const QList<QByteArray> &args, const TRunSetup &setup);

// Waits for a program started by StartProgram and collects what it left.
TProgramResult FinishProgram(QProcess &p);

TProgramResult RunProgram(
    const QByteArray &program, const QList<QByteArray> &args, const TRunSetup &setup = {});

// Arguments as the file system encodes names.
QList<QByteArray> EncodeNames(const QStringList &args);

// A whole file by a name as the file system holds it, or an empty array when it cannot be read.
QByteArray ReadRawName(const QByteArray &path);

// Writes (or replaces) a file with exactly bytes, by a name as the file system holds it.
bool WriteRawName(const QByteArray &path, const QByteArray &bytes);

// Makes a pipe (both ends close-on-exec) whose buffer is full, so that a writer to fds[1] blocks
// until the reader drains it. Returns how many bytes it holds, or -1 on failure.
qint64 MakeFullPipe(int fds[2]);

// Everything left to read from fd, which is then closed.
QByteArray ReadToEndAndClose(int fd);

} // namespace testsupport

#endif // PROCESSRUN_H
