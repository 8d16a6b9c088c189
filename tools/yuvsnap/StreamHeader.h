#ifndef YUVSNAP_STREAMHEADER_H
#define YUVSNAP_STREAMHEADER_H

#include <QByteArray>

// Whether the file Name (as the file system holds it) starts with the signature of a YUV4MPEG2
// stream, "YUV4MPEG2 ": such a file has a header and per-frame markers, and read as a raw
// stream its header would become pixels and shift every frame. False when it cannot be read.
bool HasYuv4Mpeg2Signature(const QByteArray &Name);

#endif // YUVSNAP_STREAMHEADER_H
