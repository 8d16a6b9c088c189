#ifndef YUVSNAP_FILENAMEGUESS_H
#define YUVSNAP_FILENAMEGUESS_H

#include <QString>

// Picture parameters read from a stream's name, as the texts an option would have given.
struct TNameGuess
{
    QString Width; // decimal digits; empty when the name gives no size
    QString Height;
    QString Layout; // "420", "422" or "444"; empty when the name gives none

    bool HasSize() const { return !Width.isEmpty(); }
};

// Looks for a picture size and a chroma layout in the tokens of the file name, then in those of
// the folder holding it (tokens are separated by '_', '-', '.' and '/'; case does not matter).
// Sizes: "WxH" and the names qcif 176x144, cif 352x288, 4cif 704x576, sd and 576p 720x576, 720p
// 1280x720, 1080p 1920x1080. Layouts: 420, 422, 444, yuv420p, yuv422p, yuv444p, i420. The first
// size and the first layout found win. The numbers are not checked against any limit.
TNameGuess GuessFromFileName(const QString &Path);

#endif // YUVSNAP_FILENAMEGUESS_H
