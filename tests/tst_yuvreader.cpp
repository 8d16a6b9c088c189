#include "ReaderModel.h"
#include "TYUVReader.h"
#include "TestFiles.h"
#include "TestRows.h"

#include <QMetaMethod>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

constexpr TPattern Marked = TPattern::Marked;

// Every signal of one reader, in emission order, as text. A NewFrameReady whose pointer is not the
// reader's RGB buffer is logged as such, so every list comparison also checks the pointer.
class TSignalLog
{
public:
    explicit TSignalLog(TYUVReader &r)
    {
        QObject::connect(&r, &TYUVReader::NewFrameReady, &Context, [this, &r](uchar *p, int n) {
            Entries << QStringLiteral("NewFrameReady(%1)%2")
                           .arg(n)
                           .arg(p == r.GetRGBBuffer() ? "" : " elsewhere");
        });
        QObject::connect(&r, &TYUVReader::NewPictureParams, &Context, [this](int w, int h, int l) {
            Entries << QStringLiteral("NewPictureParams(%1,%2,%3)").arg(w).arg(h).arg(l);
        });
        QObject::connect(&r, &TYUVReader::NewFrameNumber, &Context,
            [this](int n) { Entries << QStringLiteral("NewFrameNumber(%1)").arg(n); });
        QObject::connect(&r, &TYUVReader::EndOfFileReached, &Context,
            [this] { Entries << QStringLiteral("EndOfFileReached"); });
        QObject::connect(&r, &TYUVReader::ErrorOccured, &Context,
            [this](const QString &m) { Entries << "ErrorOccured(" + m + ")"; });
        QObject::connect(&r, &TYUVReader::ShowWarning, &Context,
            [this](const QString &m) { Entries << "ShowWarning(" + m + ")"; });
    }
    QStringList Take() { return std::exchange(Entries, {}); }

private:
    QObject Context;
    QStringList Entries;
};

const auto Ready = [](int n) { return QStringLiteral("NewFrameReady(%1)").arg(n); };
const auto Number = [](int n) { return QStringLiteral("NewFrameNumber(%1)").arg(n); };
const auto Loaded = [](int n) { return QStringList {Number(n), Ready(n)}; };
const auto Params = [](int w, int h, int last) {
    return QStringList {QStringLiteral("NewPictureParams(%1,%2,%3)").arg(w).arg(h).arg(last)};
};
const QStringList Eof {QStringLiteral("EndOfFileReached")};
const QStringList None;

// Pixel (x, y), y from the top, of the reader's bottom-up RGB buffer, as "R,G,B".
QString PixelAt(const TYUVReader &reader, int W, int H, int x, int y)
{
    const uchar *p = reader.GetRGBBuffer() + 3 * (W * (H - 1 - y) + x);
    return QStringLiteral("%1,%2,%3").arg(p[0]).arg(p[1]).arg(p[2]);
}
QString ReferenceRGB(int y, int u, int v)
{
    const TRGB p = ReferencePixel(y, u, v);
    return QStringLiteral("%1,%2,%3").arg(p.R).arg(p.G).arg(p.B);
}

// How many of this process's descriptors refer to the file at path.
int DescriptorsOn(const QString &path)
{
    struct stat want, st;
    if (::stat(QFile::encodeName(path).constData(), &want) != 0)
        return -1;
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd)
        count += ::fstat(fd, &st) == 0 && st.st_dev == want.st_dev && st.st_ino == want.st_ino;
    return count;
}

// Runs a space-separated list of slot calls like "GotoPos:3 Next End".
void Act(TYUVReader &reader, const QString &actions)
{
    for (const QString &action : actions.split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = action.split(':');
        if (parts[0] == "GotoPos")
            reader.GotoPos(parts.value(1).toInt());
        else
            QVERIFY(QMetaObject::invokeMethod(&reader, parts[0].toLatin1().constData()));
    }
}

// A stream file in a temporary folder and a reader that has opened it and, unless told not to,
// described it with the file's own layout.
struct TOpenStream
{
    TTempDir Dir;
    TLayout L;
    QByteArray Bytes;
    QString Path;
    TYUVReader Reader;
    TOpenStream(const TLayout &l, const QByteArray &bytes, bool describe = true)
        : L(l)
        , Bytes(bytes)
        , Path(Dir.Write("stream.yuv", bytes))
    {
        if (describe && Reader.OpenFile(Path) == 0)
            Reader.SetFileParams(l.W, l.H, l.Format);
    }
    // frames Marked frames of the layout, opened and described.
    TOpenStream(const TLayout &l, int frames)
        : TOpenStream(l, StreamBytes(l, frames, Marked))
    { }
    // The frame in the reader's RGB buffer, for the layout the test last gave.
    QByteArray Shown() const
    {
        return QByteArray(reinterpret_cast<const char *>(Reader.GetRGBBuffer()), 3 * L.W * L.H);
    }
    QByteArray Model(qint64 n, TPlaneSwitches planes = {}) const
    {
        return TModelFrame(BytesOf(Bytes), L, n, planes).Rgb();
    }
};

} // namespace

class TestYUVReader : public QObject
{
    Q_OBJECT

private slots:
    void construction()
    {
        TYUVReader reader;
        QCOMPARE(reader.GetFramesCount(), -1);
        QCOMPARE(reader.GetFramePos(), -1);
        QVERIFY(!reader.isFileOpen());
        QVERIFY(reader.GetRGBBuffer() != nullptr);
    }

    // Receivers connect by these textual signatures, and the method indexes are part of the
    // interface: signals 0..5, then slots 6..13.
    void metaObjectOrder()
    {
        const QMetaObject &mo = TYUVReader::staticMetaObject;
        QStringList methods;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            const QMetaMethod m = mo.method(i);
            methods << QStringLiteral("%1 %2 %3 %4")
                           .arg(i - mo.methodOffset())
                           .arg(m.methodType() == QMetaMethod::Signal ? "signal" : "slot")
                           .arg(QString::fromLatin1(m.methodSignature()),
                               QString::fromLatin1(m.parameterNames().join(',')));
        }
        const struct
        {
            const char *type, *signature, *names;
        } expected[] = {{"signal", "NewFrameReady(unsigned char*,int)", "pRGB,FrameNumber"},
            {"signal", "NewPictureParams(int,int,int)", "W,H,FrameCount"},
            {"signal", "NewFrameNumber(int)", "Num"}, {"signal", "EndOfFileReached()", ""},
            {"signal", "ErrorOccured(QString)", "ErrMsg"},
            {"signal", "ShowWarning(QString)", "Msg"}, {"slot", "GotoPos(int)", "Pos"},
            {"slot", "Previous()", ""}, {"slot", "Next()", ""}, {"slot", "Start()", ""},
            {"slot", "End()", ""}, {"slot", "SetYEnable(int)", "State"},
            {"slot", "SetUEnable(int)", "State"}, {"slot", "SetVEnable(int)", "State"}};
        QStringList wanted;
        for (const auto &[type, signature, names] : expected)
            wanted << QStringLiteral("%1 %2 %3 %4")
                          .arg(wanted.size())
                          .arg(type, QMetaObject::normalizedSignature(signature), names);
        QCOMPARE(methods, wanted);
    }

    void frameCount_data()
    {
        QTest::addColumn<TLayout>("layout");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("extraBytes");
        QTest::addColumn<int>("frameSize");
        const TLayout small {4, 2, YUV420}, cif {352, 288, YUV420};
        QTest::newRow("420-4x2-exact-5") << small << 5 << 0 << 12;
        QTest::newRow("420-4x2-5-plus-one-byte") << small << 5 << 1 << 12;
        QTest::newRow("420-4x2-one-short-of-6") << small << 5 << 11 << 12;
        QTest::newRow("420-odd-5x3") << TLayout {5, 3, YUV420} << 4 << 7 << 21;
        QTest::newRow("422-odd-3x3") << TLayout {3, 3, YUV422} << 3 << 16 << 17;
        QTest::newRow("444-5x3") << TLayout {5, 3, YUV444} << 7 << 44 << 45;
        QTest::newRow("420-1x1-one-byte-frames") << TLayout {1, 1, YUV420} << 9 << 0 << 1;
        QTest::newRow("420-352x288-exact-3") << cif << 3 << 0 << 152064;
        QTest::newRow("420-352x288-one-short-of-3") << cif << 2 << 152063 << 152064;
    }

    // The count, the announced geometry and the order of what SetFileParams emits; the first and
    // the last frame are the file's.
    void frameCount()
    {
        QFETCH(TLayout, layout);
        QFETCH(int, frames);
        QFETCH(int, extraBytes);
        QFETCH(int, frameSize);
        // Written out per row rather than computed: this checks the product's plane sizes, which
        // every other test takes from it.
        QCOMPARE(layout.FrameSize(), frameSize);
        TOpenStream s(layout, StreamBytes(layout, frames, Marked, extraBytes), false);
        TSignalLog log(s.Reader);
        QCOMPARE(s.Reader.OpenFile(s.Path), 0);
        QVERIFY(s.Reader.isFileOpen());
        QCOMPARE(s.Reader.GetFramePos(), 0);
        s.Reader.SetFileParams(layout.W, layout.H, layout.Format);
        QCOMPARE(log.Take(), Params(layout.W, layout.H, frames - 1) + Loaded(0));
        QCOMPARE(s.Reader.GetFramesCount(), frames);
        QCOMPARE(s.Reader.GetFramePos(), 0);
        QCOMPARE(s.Shown(), s.Model(0));
        s.Reader.End();
        QCOMPARE(s.Shown(), s.Model(frames - 1));
    }

    void fileShorterThanOneFrame_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("one-byte") << 1;
        QTest::newRow("mid-u-plane") << 17;
        QTest::newRow("one-byte-short") << 23;
    }

    // Frame 0 is what the file holds and black beyond it, never the previous file's samples.
    void fileShorterThanOneFrame()
    {
        QFETCH(int, size);
        TOpenStream s({4, 4, YUV420}, 3);
        s.Reader.GotoPos(2);
        TSignalLog log(s.Reader);
        s.Bytes = FrameBytes(s.L, 0, Marked).left(size);
        QCOMPARE(s.Reader.OpenFile(s.Dir.Write("short.yuv", s.Bytes)), 0);
        s.Reader.SetFileParams(4, 4, YUV420);
        const QString warning = "ShowWarning(File too small. Frame count is 0.)";
        QCOMPARE(log.Take(), QStringList {warning} + Params(4, 4, -1) + Loaded(0));
        QCOMPARE(s.Reader.GetFramesCount(), 0);
        QCOMPARE(s.Shown(), s.Model(0));

        Act(s.Reader, "GotoPos:0 Previous");
        QCOMPARE(log.Take(), None);
        QCOMPARE(s.Reader.GetFramePos(), 0);
        s.Reader.Next();
        QCOMPARE(log.Take(), Eof);
        QCOMPARE(s.Reader.GetFramePos(), -1);
        s.Reader.End();
        QCOMPARE(log.Take(), Eof + Loaded(-1));
        QCOMPARE(s.Reader.GetFramePos(), -1);
        QCOMPARE(s.Shown(), s.Model(0));
        s.Reader.Start();
        QCOMPARE(log.Take(), Loaded(0));
    }

    void secondSetFileParams_data()
    {
        QTest::addColumn<TLayout>("first");
        QTest::addColumn<TLayout>("second");
        QTest::addColumn<int>("count");
        QTest::newRow("420-to-444") << TLayout {4, 4, YUV420} << TLayout {4, 4, YUV444} << 3;
        QTest::newRow("444-to-420-wider") << TLayout {4, 4, YUV444} << TLayout {6, 2, YUV420} << 16;
        QTest::newRow("422-to-odd-422") << TLayout {4, 4, YUV422} << TLayout {3, 3, YUV422} << 11;
        QTest::newRow("same-layout") << TLayout {4, 4, YUV420} << TLayout {4, 4, YUV420} << 6;
    }

    // The same six frames read with another layout: recounted, announced, frame 0 shown.
    void secondSetFileParams()
    {
        QFETCH(TLayout, first);
        QFETCH(TLayout, second);
        QFETCH(int, count);
        TOpenStream s(first, 6);
        s.Reader.GotoPos(4);
        TSignalLog log(s.Reader);
        s.Reader.SetFileParams(second.W, second.H, second.Format);
        s.L = second;
        QCOMPARE(log.Take(), Params(second.W, second.H, count - 1) + Loaded(0));
        QCOMPARE(s.Reader.GetFramesCount(), count);
        QCOMPARE(s.Reader.GetFramePos(), 0);
        QCOMPARE(s.Shown(), s.Model(0));
        s.Reader.End();
        QCOMPARE(s.Shown(), s.Model(count - 1));
    }

    void fileGrowsAfterSetFileParams()
    {
        const TLayout l {4, 2, YUV422};
        TOpenStream s(l, 2);
        TSignalLog log(s.Reader);
        QVERIFY(!s.Dir.Write("stream.yuv", StreamBytes(l, 5, Marked)).isEmpty());
        QCOMPARE(s.Reader.GetFramesCount(), 2);
        Act(s.Reader, "GotoPos:3 Next Next");
        QCOMPARE(log.Take(), Loaded(1) << Eof);
        s.Reader.SetFileParams(l.W, l.H, l.Format);
        QCOMPARE(log.Take(), Params(4, 2, 4) + Loaded(0));
    }

    void unsupportedSize_data() { AddUnsupportedSizeRows(); }

    // Refused with one warning naming the size and the limits; the previous state stays.
    void unsupportedSize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        TOpenStream s({4, 4, YUV420}, 5);
        s.Reader.GotoPos(2);
        TSignalLog log(s.Reader);
        s.Reader.SetFileParams(width, height, YUV444);
        const QStringList entries = log.Take();
        QCOMPARE(entries.size(), 1);
        for (const QString &part : {QStringLiteral("ShowWarning("), QString::number(width),
                 QString::number(height), QStringLiteral("1920"), QStringLiteral("1080")})
            QVERIFY2(entries[0].contains(part), qPrintable(entries[0]));
        QCOMPARE(s.Reader.GetFramesCount(), 5);
        QCOMPARE(s.Reader.GetFramePos(), 2);
        QCOMPARE(s.Shown(), s.Model(2));
        s.Reader.Next();
        QCOMPARE(log.Take(), Loaded(3));
        QCOMPARE(s.Shown(), s.Model(3));
    }

    void navigation_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("to");
        QTest::addColumn<QStringList>("emitted");
        const QString o = "open", c = "closed", f = "fresh";
        QTest::newRow("open-start-from-4") << o << 4 << "Start" << 0 << Loaded(0);
        QTest::newRow("open-start-at-0-again") << o << 0 << "Start" << 0 << Loaded(0);
        QTest::newRow("open-end-from-1") << o << 1 << "End" << 5 << Eof + Loaded(5);
        QTest::newRow("open-end-at-last-again") << o << 5 << "End" << 5 << Eof + Loaded(5);
        QTest::newRow("open-next-from-2") << o << 2 << "Next" << 3 << Loaded(3);
        QTest::newRow("open-next-at-last") << o << 5 << "Next" << 5 << Eof;
        QTest::newRow("open-previous-from-3") << o << 3 << "Previous" << 2 << Loaded(2);
        QTest::newRow("open-previous-at-0") << o << 0 << "Previous" << 0 << None;
        QTest::newRow("open-goto-forward") << o << 1 << "GotoPos:4" << 4 << Loaded(4);
        QTest::newRow("open-goto-back-to-0") << o << 4 << "GotoPos:0" << 0 << Loaded(0);
        QTest::newRow("open-goto-last") << o << 0 << "GotoPos:5" << 5 << Loaded(5);
        QTest::newRow("open-goto-current") << o << 3 << "GotoPos:3" << 3 << None;
        QTest::newRow("open-goto-minus-1") << o << 3 << "GotoPos:-1" << 3 << None;
        QTest::newRow("open-goto-frames-count") << o << 3 << "GotoPos:6" << 3 << None;
        QTest::newRow("open-goto-int-max") << o << 3 << "GotoPos:2147483647" << 3 << None;
        QTest::newRow("closed-next") << c << 4 << "Next" << 1 << None;
        QTest::newRow("closed-goto-previous") << c << 4 << "GotoPos:3 Previous" << 2 << None;
        QTest::newRow("closed-end") << c << 4 << "End" << 5 << None;
        QTest::newRow("closed-next-at-last") << c << 4 << "GotoPos:5 Next" << 5 << Eof;
        QTest::newRow("closed-previous-at-0") << c << 4 << "Previous" << 0 << None;
        QTest::newRow("fresh-start") << f << -1 << "Start" << 0 << None;
        QTest::newRow("fresh-end") << f << -1 << "End" << -2 << None;
        QTest::newRow("fresh-next") << f << -1 << "Next" << -2 << Eof;
        QTest::newRow("fresh-previous") << f << -1 << "Previous" << 0 << None;
        QTest::newRow("fresh-goto-0") << f << -1 << "GotoPos:0" << -1 << None;
    }

    // 29-byte frames (5 x 3 4:2:2) start at odd offsets. Without a file (closed after reaching
    // from, or never opened) only the position moves and nothing is read into the buffer.
    void navigation()
    {
        QFETCH(QString, state);
        QFETCH(int, from);
        QFETCH(QString, action);
        QFETCH(int, to);
        QFETCH(QStringList, emitted);
        TOpenStream s({5, 3, YUV422}, StreamBytes({5, 3, YUV422}, 6, Marked, 20), state != "fresh");
        s.Reader.GotoPos(from);
        QCOMPARE(s.Reader.GetFramePos(), from);
        if (state == "closed")
            s.Reader.CloseFile(); // back to position 0, the count kept
        const QByteArray before = s.Shown();
        TSignalLog log(s.Reader);
        Act(s.Reader, action);
        QCOMPARE(log.Take(), emitted);
        QCOMPARE(s.Reader.GetFramePos(), to);
        QCOMPARE(s.Reader.GetFramesCount(), state == "fresh" ? -1 : 6);
        QCOMPARE(s.Reader.isFileOpen(), state == "open");
        QCOMPARE(s.Shown(), emitted.contains(Ready(to)) ? s.Model(to) : before);
        if (state == "open")
            QCOMPARE(s.Shown(), s.Model(to));
    }

    // A receiver of NewPictureParams that moves to another frame, as the window's slider does
    // when its range shrinks, loads with the new geometry; frame 0 still comes last.
    void gotoInsideNewPictureParams()
    {
        TOpenStream s({4, 4, YUV420}, 8);
        s.Reader.GotoPos(7);
        TSignalLog log(s.Reader);
        int countSeen = 0;
        QList<QByteArray> framesSeen;
        QObject context;
        connect(&s.Reader, &TYUVReader::NewPictureParams, &context, [&](int, int, int last) {
            countSeen = s.Reader.GetFramesCount();
            s.Reader.GotoPos(std::min(7, last));
        });
        connect(&s.Reader, &TYUVReader::NewFrameReady, &context, [&] { framesSeen << s.Shown(); });
        s.L = {4, 4, YUV444};
        s.Reader.SetFileParams(4, 4, YUV444);
        QCOMPARE(log.Take(), Params(4, 4, 3) + Loaded(3) + Loaded(0));
        QCOMPARE(countSeen, 4);
        QCOMPARE(framesSeen.size(), 2);
        QCOMPARE(framesSeen[0], s.Model(3));
        QCOMPARE(framesSeen[1], s.Model(0));
        QCOMPARE(s.Reader.GetFramePos(), 0);
    }

    void openFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("opens");
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("directory") << "directory" << false;
        QTest::newRow("fifo") << "fifo" << false;
        QTest::newRow("socket") << "socket" << false;
        QTest::newRow("dev-null") << "/dev/null" << false;
        QTest::newRow("dev-zero") << "/dev/zero" << false;
        QTest::newRow("cyrillic-name") << "Кадры.yuv" << true;
        QTest::newRow("cjk-name") << "视频帧.yuv" << true;
        QTest::newRow("reopen-same") << "stream.yuv" << true;
    }

    // The previous file is closed first, whatever follows, and nothing is emitted; only regular
    // files open. A reader blocked on the FIFO is released by opening its other end.
    void openFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, opens);
        TOpenStream s({4, 4, YUV420}, 3);
        s.Reader.GotoPos(1);
        QCOMPARE(DescriptorsOn(s.Path), 1);
        QString target = name.startsWith('/') ? name : s.Dir.Path(name);
        const QByteArray native = QFile::encodeName(target);
        if (name == "directory") {
            QVERIFY(QDir().mkdir(target));
        } else if (name == "fifo") {
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        } else if (name == "socket") {
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, native.constData(), sizeof address.sun_path);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ::close(fd);
        } else if (opens && target != s.Path) {
            QCOMPARE(s.Dir.Write(name, StreamBytes(s.L, 2, Marked)), target);
        }
        TSignalLog log(s.Reader);
        auto result = std::async(std::launch::async, [&] { return s.Reader.OpenFile(target); });
        if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ::close(::open(native.constData(), O_WRONLY | O_NONBLOCK));
            QFAIL("OpenFile blocked");
        }
        QCOMPARE(result.get(), opens ? 0 : -1);
        QCOMPARE(log.Take(), None);
        QCOMPARE(s.Reader.isFileOpen(), opens);
        QCOMPARE(DescriptorsOn(s.Path), target == s.Path ? 1 : 0);
        QCOMPARE(s.Reader.GetFramePos(), 0);
        QCOMPARE(s.Reader.GetFramesCount(), 3);
        if (opens) {
            s.Reader.SetFileParams(4, 4, YUV420);
            QCOMPARE(s.Reader.GetFramesCount(), target == s.Path ? 3 : 2);
            QCOMPARE(s.Shown(), s.Model(0));
        } else {
            s.Reader.Next();
            QCOMPARE(s.Reader.GetFramePos(), 1);
            QCOMPARE(log.Take(), None);
        }
    }

    void destructionClosesFile()
    {
        TTempDir dir;
        const QString path = dir.Write("s.yuv", StreamBytes({4, 4, YUV420}, 2, Marked));
        auto *reader = new TYUVReader;
        QCOMPARE(reader->OpenFile(path), 0);
        reader->SetFileParams(4, 4, YUV420);
        QCOMPARE(DescriptorsOn(path), 1);
        delete reader;
        QCOMPARE(DescriptorsOn(path), 0);
    }

    void planeSwitch_data()
    {
        QTest::addColumn<char>("plane");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("on");
        for (char plane : {'Y', 'U', 'V'}) {
            QTest::addRow("%c-unchecked", plane) << plane << 0 << false;
            QTest::addRow("%c-partially-checked", plane) << plane << 1 << false;
            QTest::addRow("%c-checked", plane) << plane << 2 << true;
        }
    }

    // One NewFrameReady for the unchanged position, and the frame is read from the file again:
    // bytes changed on disk show at the next switch.
    // The whole file is smaller than a stream buffer, so a buffered reader would show old bytes.
    void planeSwitch()
    {
        QFETCH(char, plane);
        QFETCH(int, state);
        QFETCH(bool, on);
        TOpenStream s({3, 2, YUV444}, 3);
        s.Reader.GotoPos(1);
        TSignalLog log(s.Reader);
        const auto slot = plane == 'Y'
            ? &TYUVReader::SetYEnable
            : (plane == 'U' ? &TYUVReader::SetUEnable : &TYUVReader::SetVEnable);
        TPlaneSwitches planes;
        (plane == 'Y' ? planes.Y : (plane == 'U' ? planes.U : planes.V)) = on;

        (s.Reader.*slot)(state);
        QCOMPARE(log.Take(), QStringList {Ready(1)});
        QCOMPARE(s.Reader.GetFramePos(), 1);
        QCOMPARE(s.Shown(), s.Model(1, planes));
        s.Bytes.replace(s.L.FrameSize(), s.L.FrameSize(), FrameBytes(s.L, 9, Marked));
        QCOMPARE(s.Dir.Write("stream.yuv", s.Bytes), s.Path);
        (s.Reader.*slot)(state);
        QCOMPARE(log.Take(), QStringList {Ready(1)});
        QCOMPARE(s.Shown(), s.Model(1, planes));
        (s.Reader.*slot)(Qt::Checked);
        QCOMPARE(s.Shown(), s.Model(1));
    }

    // Without a file a switch emits nothing, but it holds for the next file.
    void planeSwitchWithoutFile()
    {
        TOpenStream s({2, 2, YUV444}, StreamBytes({2, 2, YUV444}, 2, Marked), false);
        TSignalLog log(s.Reader);
        s.Reader.SetYEnable(0);
        s.Reader.SetVEnable(1);
        QCOMPARE(log.Take(), None);
        QCOMPARE(s.Reader.OpenFile(s.Path), 0);
        s.Reader.SetFileParams(2, 2, YUV444);
        s.Reader.CloseFile();
        s.Reader.SetUEnable(0);
        QCOMPARE(log.Take(), Params(2, 2, 1) + Loaded(0));
        QCOMPARE(s.Shown(), s.Model(0, {false, true, false}));
    }

    void truncatedWhileOpen_data()
    {
        QTest::addColumn<int>("keep");
        QTest::newRow("nothing-of-frame-1") << 0;
        QTest::newRow("mid-luma") << 5;
        QTest::newRow("luma-only") << 16;
        QTest::newRow("mid-u") << 18;
        QTest::newRow("mid-v") << 22;
    }

    // The count stays; what the file no longer holds reads as black, not as the frame before.
    void truncatedWhileOpen()
    {
        QFETCH(int, keep);
        TOpenStream s({4, 4, YUV420}, 4);
        s.Reader.GotoPos(3);
        TSignalLog log(s.Reader);
        QVERIFY(QFile::resize(s.Path, s.L.FrameSize() + keep));
        s.Bytes.truncate(s.L.FrameSize() + keep);
        s.Reader.GotoPos(1);
        QCOMPARE(log.Take(), Loaded(1));
        QCOMPARE(s.Shown(), s.Model(1));
        s.Reader.Next();
        QCOMPARE(s.Shown(), QByteArray(3 * 4 * 4, 0));
        s.Reader.End();
        QCOMPARE(log.Take(), Loaded(2) << Eof << Loaded(3));
        QCOMPARE(s.Reader.GetFramesCount(), 4);
    }

    void largeFile444_data()
    {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<int>("frame");
        QTest::addColumn<bool>("marked");
        QTest::newRow("frame-300-below-2GiB") << "GotoPos:300" << 300 << true;
        QTest::newRow("frame-400-beyond-2GiB") << "GotoPos:400" << 400 << true;
        QTest::newRow("frame-700-beyond-4GiB") << "GotoPos:700" << 700 << true;
        QTest::newRow("frame-699-unmarked") << "GotoPos:700 Previous" << 699 << false;
        QTest::newRow("last-719-by-end") << "End" << 719 << true;
    }

    // 720 frames of 1920 x 1080 4:4:4, 4,478,976,000 bytes, sparse. A marked frame carries its
    // own samples at the first and the last pixel of each plane; the rest reads as zeros.
    void largeFile444()
    {
        QFETCH(QString, actions);
        QFETCH(int, frame);
        QFETCH(bool, marked);
        const qint64 plane = 1920 * 1080, frameSize = 3 * plane;
        QList<QPair<qint64, QByteArray>> markers;
        for (qint64 n : {300, 400, 700, 719}) {
            for (qint64 at : {n * frameSize, n * frameSize + plane - 1}) {
                markers.append({at, QByteArray(1, char(SampleBaseY(n)))});
                markers.append({at + plane, QByteArray(1, char(SampleBaseU(n)))});
                markers.append({at + 2 * plane, QByteArray(1, char(SampleBaseV(n)))});
            }
        }
        TTempDir dir;
        const QString path = dir.WriteSparse("large.yuv", 720 * frameSize, markers);
        if (path.isEmpty())
            QSKIP("This file system cannot hold a sparse file over 4 GiB");
        TYUVReader reader;
        TSignalLog log(reader);
        QCOMPARE(reader.OpenFile(path), 0);
        reader.SetFileParams(1920, 1080, YUV444);
        QCOMPARE(log.Take(), Params(1920, 1080, 719) + Loaded(0));
        Act(reader, actions);
        QCOMPARE(reader.GetFramePos(), frame);
        const QStringList entries = log.Take();
        QCOMPARE(entries.mid(entries.size() - 2), Loaded(frame));
        const QString zeros = ReferenceRGB(0, 0, 0);
        const QString mark = marked
            ? ReferenceRGB(SampleBaseY(frame), SampleBaseU(frame), SampleBaseV(frame))
            : zeros;
        QCOMPARE(PixelAt(reader, 1920, 1080, 0, 0), mark);
        QCOMPARE(PixelAt(reader, 1920, 1080, 1919, 1079), mark);
        QCOMPARE(PixelAt(reader, 1920, 1080, 1, 0), zeros);
        QCOMPARE(PixelAt(reader, 1920, 1080, 960, 540), zeros);
    }

    void oneByteFramesClampCount_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("int-max-bytes") << qint64(INT_MAX);
        QTest::newRow("2GiB-would-wrap-negative") << (qint64(1) << 31);
        QTest::newRow("4GiB-plus-5-would-wrap-to-5") << (qint64(1) << 32) + 5;
        QTest::newRow("8GiB-would-wrap-to-0") << (qint64(1) << 33);
    }

    // 1 x 1 4:2:0 frames are one luma byte, so a count can exceed an int: it is held at INT_MAX,
    // and the last reachable frame, INT_MAX - 1, is read from its own byte.
    void oneByteFramesClampCount()
    {
        QFETCH(qint64, size);
        QList<QPair<qint64, QByteArray>> markers
            = {{0, "\x3c"}, {INT_MAX - 2, "\x96"}, {INT_MAX - 1, "\xc8"}};
        if (size > INT_MAX)
            markers.append({INT_MAX, "\xfa"});
        TTempDir dir;
        const QString path = dir.WriteSparse("tiny.yuv", size, markers);
        if (path.isEmpty())
            QSKIP("This file system cannot hold a sparse file over 2 GiB");
        const int last = INT_MAX - 1;
        TYUVReader reader;
        TSignalLog log(reader);
        QCOMPARE(reader.OpenFile(path), 0);
        reader.SetFileParams(1, 1, YUV420);
        QCOMPARE(log.Take(), Params(1, 1, last) + Loaded(0));
        QCOMPARE(reader.GetFramesCount(), INT_MAX);
        const auto grey = [](int y) { return ReferenceRGB(y, 128, 128); };
        QCOMPARE(PixelAt(reader, 1, 1, 0, 0), grey(0x3c));
        reader.End();
        QCOMPARE(log.Take(), Eof + Loaded(last));
        QCOMPARE(PixelAt(reader, 1, 1, 0, 0), grey(0xc8));
        reader.Previous();
        QCOMPARE(PixelAt(reader, 1, 1, 0, 0), grey(0x96));
        Act(reader, "Next Next GotoPos:2147483647");
        QCOMPARE(PixelAt(reader, 1, 1, 0, 0), grey(0xc8));
        QCOMPARE(log.Take(), Loaded(last - 1) + Loaded(last) << Eof);
        QCOMPARE(reader.GetFramePos(), last);
        reader.GotoPos(1000);
        QCOMPARE(PixelAt(reader, 1, 1, 0, 0), grey(0));
    }
};

QTEST_GUILESS_MAIN(TestYUVReader)
#include "tst_yuvreader.moc"
