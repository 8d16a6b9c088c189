#ifndef SNAPSHOTNAME_H
#define SNAPSHOTNAME_H

#include <QByteArray>
#include <QString>

// The file name proposed for a snapshot of frame Frame of the stream StreamPath, the same in the
// player's save dialog and in the command-line tool: the stream's path less its last four
// characters, whatever they are (".yuv" for a usual name; a shorter path becomes empty), then
// "_Frame#", the frame number in decimal and ".bmp". /v/clip.yuv, frame 17: /v/clip_Frame#17.bmp.
QString ProposedSnapshotName(const QString &StreamPath, qint64 Frame);

// The same for a path held as the file system's bytes, which need not be valid in the file-name
// encoding (UTF-8). A path that is valid gets exactly the name above; in one that is not, every
// byte that is not part of a valid UTF-8 sequence counts as one character.
QByteArray ProposedSnapshotName(const QByteArray &StreamPath, qint64 Frame);

#endif // SNAPSHOTNAME_H
