#ifndef YUVSNAP_MESSAGES_H
#define YUVSNAP_MESSAGES_H

#include <QByteArray>
#include <QString>

// The tool's texts hold file names exactly as the file system has them, and those need not be
// valid UTF-8. So the arguments are taken as Latin-1, one character per byte, every message is
// built in that same form, and Bytes() gives back exactly the bytes to print or to pass to the
// file system. The fixed texts are ASCII, which reads the same either way.
inline QByteArray Bytes(const QString &Text)
{
    return Text.toLatin1();
}
inline QString FromBytes(const QByteArray &Bytes)
{
    return QString::fromLatin1(Bytes);
}

extern const char *const ProgramName;

// Where the lines of Message() and UsageError() go, each without its newline: standard error
// while none is set. The option parser's fuzz target takes them instead.
using TMessageSink = void (*)(const QByteArray &Line);
void SetMessageSink(TMessageSink Sink);

// "tamrel-yuv-snap: Text" on standard error.
void Message(const QString &Text);
// Message(Text), a pointer to --help, and the usage exit code.
int UsageError(const QString &Text);

#endif // YUVSNAP_MESSAGES_H
