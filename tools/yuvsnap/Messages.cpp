#include "Messages.h"

#include "ExitCodes.h"

#include <cstdio>

const char *const ProgramName = "tamrel-yuv-snap";

namespace {

TMessageSink Sink = nullptr;

void Send(const QByteArray &Line)
{
    if (Sink) {
        Sink(Line);
        return;
    }
    const QByteArray text = Line + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
}

} // namespace

void SetMessageSink(TMessageSink NewSink)
{
    Sink = NewSink;
}

void Message(const QString &Text)
{
    Send(ProgramName + QByteArrayLiteral(": ") + Bytes(Text));
}

int UsageError(const QString &Text)
{
    Message(Text);
    Send(QByteArrayLiteral("Try '") + ProgramName
        + QByteArrayLiteral(" --help' for more information."));
    return ExitUsage;
}
