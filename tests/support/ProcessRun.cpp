#include "ProcessRun.h"

#include <QFile>
#include <QProcess>

#include <algorithm>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

void StartProgram(
    QProcess &p, const QByteArray &program, const QList<QByteArray> &args, const TRunSetup &setup)
{
    QList<QByteArray> argv {program};
    argv += args;
    std::vector<char *> pointers;
    for (QByteArray &a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    // The test's environment with the setup's entries in place of any of the same name.
    QList<QByteArray> environment = setup.Environment;
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        if (std::none_of(environment.cbegin(), environment.cend(),
                [&name](const QByteArray &added) { return added.startsWith(name); }))
            environment << entry;
    }
    std::vector<char *> environmentPointers;
    for (QByteArray &e : environment)
        environmentPointers.push_back(e.data());
    environmentPointers.push_back(nullptr);

    p.setProgram(QFile::decodeName(program));
    if (!setup.WorkDir.isEmpty())
        p.setWorkingDirectory(setup.WorkDir);
    if (setup.Stdout >= 0)
        p.setStandardOutputFile(QProcess::nullDevice());
    // Runs in the child, which starts the program itself. Qt may start children the way vfork()
    // does, on the parent's stack; the function is therefore not instrumented by
    // AddressSanitizer, whose marks on that stack would outlive the child and trip the parent
    // later. Everything it needs is copied into it.
    char **argvData = pointers.data();
    char **envData = environmentPointers.data();
    const bool limited = setup.FileSizeLimit >= 0;
    const rlim_t fileSizeLimit = limited ? rlim_t(setup.FileSizeLimit) : RLIM_INFINITY;
    const int stdoutFd = setup.Stdout;
    p.setChildProcessModifier([ argvData, envData, limited, fileSizeLimit, stdoutFd ]()
            __attribute__((no_sanitize_address)) {
                const rlimit limit {fileSizeLimit, fileSizeLimit};
                if (limited && ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    ::_exit(126);
                if (stdoutFd >= 0)
                    ::dup2(stdoutFd, STDOUT_FILENO);
                ::execve(argvData[0], argvData, envData);
                ::_exit(127);
            });
    p.start();
}

TProgramResult FinishProgram(QProcess &p)
{
    TProgramResult run;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.Crashed = p.exitStatus() != QProcess::NormalExit;
    run.ExitCode = p.exitCode();
    run.Out = p.readAllStandardOutput();
    run.Err = p.readAllStandardError();
    return run;
}

TProgramResult RunProgram(
    const QByteArray &program, const QList<QByteArray> &args, const TRunSetup &setup)
{
    QProcess p;
    StartProgram(p, program, args, setup);
    return FinishProgram(p);
}

QList<QByteArray> EncodeNames(const QStringList &args)
{
    QList<QByteArray> encoded;
    for (const QString &a : args)
        encoded << QFile::encodeName(a);
    return encoded;
}

QByteArray ReadRawName(const QByteArray &path)
{
    QFile f;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return QByteArray();
    return f.readAll();
}

bool WriteRawName(const QByteArray &path, const QByteArray &bytes)
{
    QFile f;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd >= 0 && f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
        && f.write(bytes) == bytes.size() && f.flush();
}

qint64 MakeFullPipe(int fds[2])
{
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    if (::fcntl(fds[1], F_SETFL, O_NONBLOCK) != 0)
        return -1;
    const QByteArray filler(4096, 'x');
    qint64 filled = 0;
    for (qint64 n; (n = ::write(fds[1], filler.constData(), filler.size())) > 0;)
        filled += n;
    return ::fcntl(fds[1], F_SETFL, 0) == 0 ? filled : -1;
}

QByteArray ReadToEndAndClose(int fd)
{
    QByteArray out;
    char buffer[4096];
    for (qint64 n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    ::close(fd);
    return out;
}

} // namespace testsupport
