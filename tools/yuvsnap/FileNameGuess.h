#ifndef YUVSNAP_FILENAMEGUESS_H
#define YUVSNAP_FILENAMEGUESS_H

#include <QString>

// Which part of a stream's path a value was read from.
enum class TNameSource
{
    None,
    FileName,
    FolderName,
};

// "file name" or "folder name", for messages.
QString NameSourceText(TNameSource Source);

// Picture parameters read from a stream's name, as the texts an option would have given.
struct TNameGuess
{
    QString Width; // decimal digits; empty when the name gives no size
    QString Height;
    TNameSource SizeFrom = TNameSource::None;
    QString Layout; // "420", "422" or "444"; empty when the name gives none
    TNameSource LayoutFrom = TNameSource::None;
    // Set when the name states what the tool cannot read (samples deeper than 8 bits, a
    // semi-planar, packed or RGB layout) or states two different sizes or layouts: the reason,
    // quoting the words as written. The values above are then empty.
    QString Refusal;

    bool HasSize() const { return !Width.isEmpty(); }
};

// Reads the words of the file name, then those of the folder holding it (words are separated by
// '_', '-', '.', ' ' and '/'; case does not matter). The folder name is consulted only for what
// the file name does not state: its size, its layout and its sample depth each. Sizes: "WxH"
// (also "WxHp" and "WxHp50"), qcif 176x144, cif 352x288, sif 352x240, 4cif 704x576, sd 720x576,
// and 576p, 720p, 1080p, 2160p with or without a frame rate ("1080p50"). Layouts: 420, 422, 444,
// yuv420p, yuv422p, yuv444p, yuv420, yuv422, yuv444, i420, i422, i444, iyuv. Depth: 8bit. The
// words refused are listed in FileNameGuess.cpp. The numbers are not checked against any limit.
TNameGuess GuessFromFileName(const QString &Path);

#endif // YUVSNAP_FILENAMEGUESS_H
