#ifndef BMPWRITER_H
#define BMPWRITER_H

#include <QByteArray>
#include <QString>

#include <cstddef>

// Outcome of a snapshot save.
enum class TBmpResult
{
    Ok,
    OpenFailed, // the file could not be created or opened (or is a folder, FIFO, socket or block
                // device)
    NoMemory, // the working buffer could not be allocated; nothing was created
    WriteFailed, // a write, flush or sync failed; an existing file keeps its old content
    BadSize, // the picture is not 1..1920 x 1..1080 or there is no picture
};

// Saves a W x H picture as an uncompressed 24-bit BMP file: a 14-byte file header, a 40-byte
// information header, H rows of 3*W bytes rounded up to a multiple of 4 (pixels in the order
// B, G, R, then zero fill), and two trailing zero bytes that both size fields count.
//
// pRGB is the player's RGB frame buffer layout: 3 bytes a pixel in the order R, G, B, rows of
// exactly 3*W bytes, the bottom picture row first. The rows go to the file in that order, so the
// height field is positive (bottom-up rows).
//
// FileName is given as the file system holds it (QFile::encodeName of a name the user picked);
// the file is written by WriteWholeFile, which replaces an existing file only by a complete one
// and writes through a symbolic link to its target. The whole file is built in memory before
// anything is created, so a failed allocation leaves no trace.
TBmpResult WriteBmpFile(const QByteArray &FileName, const unsigned char *pRGB, int W, int H);

// Lays out the whole file of a supported W x H picture in dst, which holds 54 + stride * H + 2
// bytes, stride being 3 * W rounded up to a multiple of 4. WriteBmpFile writes what this builds.
void BuildBmpFile(unsigned char *dst, const unsigned char *pRGB, int W, int H, size_t stride);

// The text the main window shows in its error box for a failed save of FileName; empty for Ok.
QString BmpResultMessage(TBmpResult Result, const QString &FileName);

// A short untranslated name of the result ("Ok", "OpenFailed", ...), for logs and test output.
const char *BmpResultName(TBmpResult Result);

#endif // BMPWRITER_H
