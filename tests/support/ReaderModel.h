#ifndef READERMODEL_H
#define READERMODEL_H

// The frame load of the frame source as it must behave, modelled on the file's bytes: the planes
// of frame n read in file order, a luma byte the file does not provide read as 0 and a chroma
// byte as 128, converted by the independent reference. With odd sizes the chroma of the last
// pixels lies past the stored plane and reads as 128 too.

#include "ReferenceConversion.h"
#include "TestFiles.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <vector>

namespace testsupport {

// count bytes of a file from offset at, as a read sees them: fill where the file has ended.
using TByteSource = std::function<std::vector<uint8_t>(qint64 at, int count, uint8_t fill)>;

// A byte source over a file held in memory.
TByteSource BytesOf(const QByteArray &file);

class TModelFrame
{
public:
    TModelFrame(
        const TByteSource &file, const TLayout &layout, qint64 n, TPlaneSwitches planes = {});

    // Pixel (x, row), row counted from the top.
    TRGB Pixel(int x, int row) const;
    // The whole frame as the RGB buffer holds it: 3*W*H bytes, rows bottom-up.
    QByteArray Rgb() const;

private:
    TLayout L;
    TPlaneSwitches Planes;
    std::vector<uint8_t> Y, U, V;
};

} // namespace testsupport

#endif // READERMODEL_H
