#ifndef SAFEFILEWRITER_H
#define SAFEFILEWRITER_H

#include <QByteArray>

#include <cstddef>

// Outcome of writing a whole file.
enum class TFileWriteResult
{
    Ok,
    OpenFailed, // the name cannot be written: no such folder, a folder, FIFO, socket or block
                // device, a name too long, no permission
    WriteFailed, // a write, sync or the final rename failed; an existing file is unchanged
};

// Writes Size bytes of Data as the whole content of the file Name, given as the file system holds
// it (any bytes; the name is never decoded).
//
// A symbolic link is written through to its target, which a dangling link creates. A regular file
// (or a new name) is replaced only by a complete file: the data go to a temporary file that the
// writer creates beside the target under a random name (O_EXCL, O_NOFOLLOW, readable by the owner
// only), synced, given the old file's owner and permission bits (never set-user-ID, set-group-ID
// or sticky), and renamed over the target; the folder is synced last. On any failure the
// temporary is removed and an existing file keeps its content.
//
// Where the folder refuses new files but the existing file is writable, the file is rewritten in
// place, and only after its new size has been reserved on disk: a full disk or a file-size limit
// leaves the old bytes as they were.
//
// A character device is written directly; a folder, FIFO, socket or block device is refused.
TFileWriteResult WriteWholeFile(const QByteArray &Name, const unsigned char *Data, size_t Size);

// Removes the temporary file of a write in progress, if there is one. Async-signal-safe: meant
// for a handler of the signals that end a program, so that an interrupted write leaves nothing.
void RemovePendingTemporaryFile();

#endif // SAFEFILEWRITER_H
