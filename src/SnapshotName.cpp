#include "SnapshotName.h"

#include <QFile>

namespace {

constexpr int CharactersChopped = 4;

QString Suffix(qint64 Frame)
{
    return QStringLiteral("_Frame#") + QString::number(Frame) + QStringLiteral(".bmp");
}

// Bytes of the last character of Bytes[0, End): a whole UTF-8 sequence ending at End, or else the
// single byte before End.
qsizetype LastCharacterSize(const QByteArray &Bytes, qsizetype End)
{
    for (qsizetype size = 2; size <= 4 && size <= End; ++size) {
        const QByteArray tail = Bytes.mid(End - size, size);
        const QString decoded = QString::fromUtf8(tail);
        if (!decoded.contains(QChar::ReplacementCharacter) && decoded.toUtf8() == tail
            && decoded.toUcs4().size() == 1)
            return size;
    }
    return 1;
}

} // namespace

QString ProposedSnapshotName(const QString &StreamPath, qint64 Frame)
{
    QString name = StreamPath;
    name.chop(CharactersChopped);
    return name + Suffix(Frame);
}

QByteArray ProposedSnapshotName(const QByteArray &StreamPath, qint64 Frame)
{
    const QString decoded = QFile::decodeName(StreamPath);
    if (QFile::encodeName(decoded) == StreamPath)
        return QFile::encodeName(ProposedSnapshotName(decoded, Frame));

    qsizetype end = StreamPath.size();
    for (int i = 0; i < CharactersChopped && end > 0; ++i)
        end -= LastCharacterSize(StreamPath, end);
    return StreamPath.left(end) + Suffix(Frame).toUtf8();
}
