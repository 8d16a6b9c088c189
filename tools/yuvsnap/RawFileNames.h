#ifndef YUVSNAP_RAWFILENAMES_H
#define YUVSNAP_RAWFILENAMES_H

#include <QByteArray>
#include <QString>

class TYUVReader;

// File names as the file system holds them. Qt converts names from and to UTF-8, so a name that
// is not valid UTF-8 cannot pass through a QString; such a stream is reached here through a file
// descriptor of the file itself (/proc/self/fd), and every name that is valid goes to Qt as it
// is. Snapshots need none of this: the writer takes names as bytes.

// Opens the stream Name in Reader; false when the reader refuses it.
bool OpenStream(TYUVReader &Reader, const QByteArray &Name);

// Why Name cannot be read as a stream, as a short text for a message (Latin-1 form, see
// Messages.h); empty when it can be opened after all.
QString OpenFailureReason(const QByteArray &Name);

// The size in bytes of the stream Name (a regular file or a block device); -1 when unknown.
qint64 StreamSize(const QByteArray &Name);

// Whether A and B name the same existing file.
bool IsSameFile(const QByteArray &A, const QByteArray &B);

#endif // YUVSNAP_RAWFILENAMES_H
