// The command-line snapshot tool, run as a user runs it: arguments in, BMP files, messages and an
// exit code out. Each file it writes is compared byte for byte with what the player's snapshot
// saves for the same frame: the snapshot writer applied to the frame as the conversion makes it.

#include "BmpWriter.h"
#include "YUVConversion.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char *const ToolPath = YUVSNAP_PATH;

int ChromaSize(int W, int H, TYUVFormat Format)
{
    switch (Format) {
    case YUV420:
        return (W * H) / 4;
    case YUV422:
        return (W * H) / 2;
    case YUV444:
        return W * H;
    }
    return 0;
}

// One frame's three planes as they lie in the file.
struct TFrame
{
    QByteArray Y, U, V;
    QByteArray Bytes() const { return Y + U + V; }
};

// Random samples, different for every frame and every seed, so that a frame read from a wrong
// offset, a swapped plane or a skipped switch shows in the output.
TFrame RandomFrame(int W, int H, TYUVFormat Format, quint32 Seed)
{
    QRandomGenerator rng(Seed);
    auto plane = [&rng](int size) {
        QByteArray p(size, Qt::Uninitialized);
        for (char &c : p)
            c = static_cast<char>(rng.bounded(256));
        return p;
    };
    TFrame f;
    f.Y = plane(W * H);
    f.U = plane(ChromaSize(W, H, Format));
    f.V = plane(ChromaSize(W, H, Format));
    return f;
}

QByteArray ReadAll(const QString &Path)
{
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &Path, const QByteArray &Data)
{
    QFile f(Path);
    return f.open(QIODevice::WriteOnly) && f.write(Data) == Data.size() && f.flush();
}

// What the player's snapshot holds for a frame: the conversion's RGB frame saved by the
// snapshot writer. The reader fills chroma reads past the stored plane (odd sizes) with the
// neutral 128, so the planes are padded the same way here.
QByteArray PlayerSnapshot(const TFrame &Frame, int W, int H, TYUVFormat Format,
    TPlaneSwitches Planes, const QString &ScratchPath)
{
    QByteArray u(yuv::MaxPlaneSize, char(128));
    QByteArray v(yuv::MaxPlaneSize, char(128));
    u.replace(0, Frame.U.size(), Frame.U);
    v.replace(0, Frame.V.size(), Frame.V);
    QByteArray rgb(3 * W * H, Qt::Uninitialized);
    auto bytes = [](const QByteArray &b) {
        return reinterpret_cast<const unsigned char *>(b.constData());
    };
    yuv::ConvertYUVToRGB(reinterpret_cast<unsigned char *>(rgb.data()), bytes(Frame.Y), bytes(u),
        bytes(v), W, H, Format, Planes);
    if (WriteBmpFile(ScratchPath, bytes(rgb), W, H) != TBmpResult::Ok)
        return QByteArray();
    const QByteArray file = ReadAll(ScratchPath);
    QFile::remove(ScratchPath);
    return file;
}

struct TRun
{
    int ExitCode = -1;
    bool Crashed = true;
    QByteArray Out;
    QByteArray Err;
};

TRun RunTool(const QStringList &Args, const QString &WorkDir = QString())
{
    QProcess p;
    p.setProgram(QString::fromLocal8Bit(ToolPath));
    p.setArguments(Args);
    if (!WorkDir.isEmpty())
        p.setWorkingDirectory(WorkDir);
    p.start();
    TRun run;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.Crashed = p.exitStatus() != QProcess::NormalExit;
    run.ExitCode = p.exitCode();
    run.Out = p.readAllStandardOutput();
    run.Err = p.readAllStandardError();
    return run;
}

QString LayoutArg(TYUVFormat Format)
{
    return Format == YUV420 ? "420" : (Format == YUV422 ? "422" : "444");
}

QStringList BmpFilesIn(const QString &Dir)
{
    return QDir(Dir).entryList({"*.bmp"}, QDir::Files, QDir::Name);
}

// A stream of Count random frames written into a folder.
struct TStream
{
    int W = 0;
    int H = 0;
    TYUVFormat Format = YUV420;
    QList<TFrame> Frames;

    TStream(int w, int h, TYUVFormat format, int count, quint32 seed)
        : W(w)
        , H(h)
        , Format(format)
    {
        for (int n = 0; n < count; ++n)
            Frames << RandomFrame(w, h, format, seed * 1000 + n);
    }
    QByteArray Bytes() const
    {
        QByteArray b;
        for (const TFrame &f : Frames)
            b += f.Bytes();
        return b;
    }
    QStringList SizeArgs() const
    {
        return {"-W", QString::number(W), "-H", QString::number(H), "-l", LayoutArg(Format)};
    }
};

// Checks that Dir holds exactly the files Expected, and that each holds what the player's
// snapshot of the frame listed beside it in Frames would.
void VerifyWrittenFrames(const QString &Dir, const QStringList &Expected, const QList<int> &Frames,
    const TStream &Stream)
{
    QStringList sortedExpected = Expected;
    sortedExpected.sort();
    QCOMPARE(BmpFilesIn(Dir), sortedExpected);
    const QString scratch = QDir::temp().filePath("tst_cli_reference.bmp");
    for (int i = 0; i < Expected.size(); ++i) {
        const QByteArray want = PlayerSnapshot(
            Stream.Frames[Frames[i]], Stream.W, Stream.H, Stream.Format, {}, scratch);
        QVERIFY2(ReadAll(QDir(Dir).filePath(Expected[i])) == want, qPrintable(Expected[i]));
    }
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void snapshotMatchesPlayer_data();
    void snapshotMatchesPlayer();
    void planeSwitches_data();
    void planeSwitches();
    void defaultNames_data();
    void defaultNames();
    void outputPattern_data();
    void outputPattern();
    void exitCodes_data();
    void exitCodes();
    void frameBeyondTwoGiB();
    void helpAndVersion();
};

void TestCli::snapshotMatchesPlayer_data()
{
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("Format");
    QTest::addColumn<int>("Count");
    QTest::addColumn<QString>("FrameArg"); // empty: no --frames option
    QTest::addColumn<int>("Expected");

    QTest::newRow("yuv420-176x144-default-frame-0") << 176 << 144 << int(YUV420) << 3 << "" << 0;
    QTest::newRow("yuv420-176x144-frame-2") << 176 << 144 << int(YUV420) << 3 << "2" << 2;
    QTest::newRow("yuv420-odd-5x3-frame-1") << 5 << 3 << int(YUV420) << 4 << "1" << 1;
    QTest::newRow("yuv422-odd-7x5-last-frame") << 7 << 5 << int(YUV422) << 4 << "3" << 3;
    QTest::newRow("yuv444-1x1-frame-6") << 1 << 1 << int(YUV444) << 7 << "6" << 6;
    QTest::newRow("yuv422-353x288-row-fill") << 353 << 288 << int(YUV422) << 2 << "1" << 1;
    QTest::newRow("yuv420-1920x1080-frame-1") << 1920 << 1080 << int(YUV420) << 2 << "1" << 1;
    QTest::newRow("yuv444-3x1-one-frame-range") << 3 << 1 << int(YUV444) << 5 << "4-4" << 4;
}

void TestCli::snapshotMatchesPlayer()
{
    QFETCH(int, W);
    QFETCH(int, H);
    QFETCH(int, Format);
    QFETCH(int, Count);
    QFETCH(QString, FrameArg);
    QFETCH(int, Expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream(W, H, TYUVFormat(Format), Count, W * 7 + H);
    const QString clip = dir.filePath("clip.yuv");
    QVERIFY(WriteAll(clip, stream.Bytes()));
    const QString out = dir.filePath("snap.bmp");

    QStringList args = stream.SizeArgs() << "-o" << out << clip;
    if (!FrameArg.isEmpty())
        args << "-f" << FrameArg;
    const TRun run = RunTool(args);

    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Err, QByteArray());
    QCOMPARE(run.Out, QFile::encodeName(out) + '\n');
    const QByteArray expected = PlayerSnapshot(
        stream.Frames[Expected], W, H, TYUVFormat(Format), {}, dir.filePath("reference.bmp"));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(ReadAll(out), expected);
}

void TestCli::planeSwitches_data()
{
    QTest::addColumn<int>("Format");
    QTest::addColumn<QStringList>("Flags");
    QTest::addColumn<bool>("Y");
    QTest::addColumn<bool>("U");
    QTest::addColumn<bool>("V");

    QTest::newRow("yuv420-no-y") << int(YUV420) << QStringList {"--no-y"} << false << true << true;
    QTest::newRow("yuv420-no-u") << int(YUV420) << QStringList {"--no-u"} << true << false << true;
    QTest::newRow("yuv422-no-v") << int(YUV422) << QStringList {"--no-v"} << true << true << false;
    QTest::newRow("yuv444-no-u-no-v")
        << int(YUV444) << QStringList {"--no-u", "--no-v"} << true << false << false;
    QTest::newRow("yuv420-no-y-no-v")
        << int(YUV420) << QStringList {"--no-v", "--no-y"} << false << true << false;
    QTest::newRow("yuv422-all-planes-off")
        << int(YUV422) << QStringList {"--no-y", "--no-u", "--no-v"} << false << false << false;
}

void TestCli::planeSwitches()
{
    QFETCH(int, Format);
    QFETCH(QStringList, Flags);
    QFETCH(bool, Y);
    QFETCH(bool, U);
    QFETCH(bool, V);

    const int W = 18;
    const int H = 10;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream(W, H, TYUVFormat(Format), 3, 42);
    const QString clip = dir.filePath("clip.yuv");
    QVERIFY(WriteAll(clip, stream.Bytes()));
    const QString out = dir.filePath("snap.bmp");

    const TRun run = RunTool(stream.SizeArgs() << Flags << "-f"
                                               << "1"
                                               << "-o" << out << clip);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Err, QByteArray());
    const QByteArray written = ReadAll(out);

    const QString scratch = dir.filePath("reference.bmp");
    TPlaneSwitches planes;
    planes.Y = Y;
    planes.U = U;
    planes.V = V;
    QCOMPARE(written, PlayerSnapshot(stream.Frames[1], W, H, TYUVFormat(Format), planes, scratch));
    // The switch took effect: the picture is not the one with every plane on.
    QVERIFY(written != PlayerSnapshot(stream.Frames[1], W, H, TYUVFormat(Format), {}, scratch));

    if (!Y && !U && !V) {
        // Luma 100 with neutral chroma is a flat grey of 100 in every channel.
        const int stride = (3 * W + 3) & ~3;
        QCOMPARE(written.size(), 54 + stride * H + 2);
        for (int row = 0; row < H; ++row)
            QCOMPARE(written.mid(54 + row * stride, 3 * W), QByteArray(3 * W, char(100)));
    }
}

void TestCli::defaultNames_data()
{
    QTest::addColumn<QString>("StreamName");
    QTest::addColumn<bool>("Relative"); // the stream named relative to the working folder
    QTest::addColumn<QString>("FrameArg");
    QTest::addColumn<QStringList>("Expected");
    QTest::addColumn<QList<int>>("Frames");

    QTest::newRow("default-frame-0")
        << "clip.yuv" << false << "" << QStringList {"clip_Frame#0.bmp"} << QList<int> {0};
    QStringList range;
    for (int n = 3; n <= 9; ++n)
        range << QStringLiteral("clip_Frame#%1.bmp").arg(n);
    QTest::newRow("range-3-9") << "clip.yuv" << false << "3-9" << range
                               << QList<int> {3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("range-from-frame-0")
        << "clip.yuv" << false << "0-1" << QStringList {"clip_Frame#0.bmp", "clip_Frame#1.bmp"}
        << QList<int> {0, 1};
    QTest::newRow("name-not-ending-in-yuv")
        << "clip.yuv420" << false << "3" << QStringList {"clip.yu_Frame#3.bmp"} << QList<int> {3};
    QTest::newRow("name-with-space-relative")
        << "my clip.yuv" << true << "10-11"
        << QStringList {"my clip_Frame#10.bmp", "my clip_Frame#11.bmp"} << QList<int> {10, 11};
}

void TestCli::defaultNames()
{
    QFETCH(QString, StreamName);
    QFETCH(bool, Relative);
    QFETCH(QString, FrameArg);
    QFETCH(QStringList, Expected);
    QFETCH(QList<int>, Frames);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream(6, 4, YUV420, 12, 7);
    QVERIFY(WriteAll(dir.filePath(StreamName), stream.Bytes()));

    QStringList args = stream.SizeArgs() << (Relative ? StreamName : dir.filePath(StreamName));
    if (!FrameArg.isEmpty())
        args << "--frames" << FrameArg;
    const TRun run = RunTool(args, dir.path());
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Err, QByteArray());

    // Exactly the expected files, beside the stream, and the names printed in frame order.
    QByteArray printed;
    for (const QString &name : Expected)
        printed += QFile::encodeName(Relative ? name : dir.filePath(name)) + '\n';
    QCOMPARE(run.Out, printed);
    VerifyWrittenFrames(dir.path(), Expected, Frames, stream);
}

void TestCli::outputPattern_data()
{
    QTest::addColumn<QString>("Pattern");
    QTest::addColumn<QString>("FrameArg");
    QTest::addColumn<QStringList>("Expected");
    QTest::addColumn<QList<int>>("Frames");

    QTest::newRow("number-in-pattern")
        << "shot_%n.bmp"
        << "2-4" << QStringList {"shot_2.bmp", "shot_3.bmp", "shot_4.bmp"} << QList<int> {2, 3, 4};
    QTest::newRow("percent-sign") << "a%%b_%n.bmp"
                                  << "1" << QStringList {"a%b_1.bmp"} << QList<int> {1};
    QTest::newRow("number-twice") << "%n-%n.bmp"
                                  << "4" << QStringList {"4-4.bmp"} << QList<int> {4};
    QTest::newRow("fixed-name-one-frame") << "fixed.bmp"
                                          << "3" << QStringList {"fixed.bmp"} << QList<int> {3};
    QTest::newRow("other-percent-kept") << "p%d_%n.bmp"
                                        << "0" << QStringList {"p%d_0.bmp"} << QList<int> {0};
}

void TestCli::outputPattern()
{
    QFETCH(QString, Pattern);
    QFETCH(QString, FrameArg);
    QFETCH(QStringList, Expected);
    QFETCH(QList<int>, Frames);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream(4, 2, YUV444, 5, 11);
    const QString clip = dir.filePath("clip.yuv");
    QVERIFY(WriteAll(clip, stream.Bytes()));

    const TRun run = RunTool(
        stream.SizeArgs() << "-f" << FrameArg << "--output" << dir.filePath(Pattern) << clip);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Err, QByteArray());
    VerifyWrittenFrames(dir.path(), Expected, Frames, stream);
}

void TestCli::exitCodes_data()
{
    // In the arguments, {dir} is a fresh folder holding {clip} (3 frames of 8 x 4 4:2:0, 48
    // bytes each), {short} (47 bytes: no whole frame), {empty} (0 bytes) and {partial} (3 frames
    // and half a fourth).
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<int>("Code");
    QTest::addColumn<QString>("Message"); // a line the tool prints on standard error

    const QStringList size {"-W", "8", "-H", "4"};
    auto with = [&size](QStringList more) { return QStringList(size) << more; };

    QTest::newRow("no-arguments") << QStringList {} << 1 << "tamrel-yuv-snap: No stream given.";
    QTest::newRow("no-stream") << size << 1 << "tamrel-yuv-snap: No stream given.";
    QTest::newRow("width-missing") << QStringList {"-H", "4", "{clip}"} << 1
                                   << "tamrel-yuv-snap: The picture width (--width) is required.";
    QTest::newRow("height-missing") << QStringList {"--width", "8",
        "{clip}"} << 1 << "tamrel-yuv-snap: The picture height (--height) is required.";
    QTest::newRow("width-zero") << QStringList {"-W", "0", "-H", "4", "{clip}"} << 1
                                << "tamrel-yuv-snap: Bad width \"0\": it must be a number from 1 "
                                   "to 1920.";
    QTest::newRow("width-1921") << QStringList {"-W", "1921", "-H", "4", "{clip}"} << 1
                                << "tamrel-yuv-snap: Bad width \"1921\": it must be a number from "
                                   "1 to 1920.";
    QTest::newRow("width-not-a-number") << QStringList {"-W", "8px", "-H", "4",
        "{clip}"} << 1 << "tamrel-yuv-snap: Bad width \"8px\": it must be a number from 1 to 1920.";
    QTest::newRow("width-huge") << QStringList {"-W", "99999999999", "-H", "4", "{clip}"} << 1
                                << "tamrel-yuv-snap: Bad width \"99999999999\": it must be a "
                                   "number from 1 to 1920.";
    QTest::newRow("height-1081") << QStringList {"-W", "8", "-H", "1081", "{clip}"} << 1
                                 << "tamrel-yuv-snap: Bad height \"1081\": it must be a number "
                                    "from 1 to 1080.";
    QTest::newRow("layout-423") << with({"-l", "423", "{clip}"}) << 1
                                << "tamrel-yuv-snap: Bad layout \"423\": it must be 420, 422 or "
                                   "444.";
    QTest::newRow("frames-not-a-number")
        << with({"-f", "x", "{clip}"}) << 1
        << "tamrel-yuv-snap: Bad frames \"x\": give a frame number N or a range A-B with A not "
           "above B.";
    QTest::newRow("frames-negative")
        << with({"-f", "-1", "{clip}"}) << 1
        << "tamrel-yuv-snap: Bad frames \"-1\": give a frame number N or a range A-B with A not "
           "above B.";
    QTest::newRow("frames-open-range")
        << with({"-f", "3-", "{clip}"}) << 1
        << "tamrel-yuv-snap: Bad frames \"3-\": give a frame number N or a range A-B with A not "
           "above B.";
    QTest::newRow("frames-reversed")
        << with({"-f", "2-1", "{clip}"}) << 1
        << "tamrel-yuv-snap: Bad frames \"2-1\": give a frame number N or a range A-B with A not "
           "above B.";
    QTest::newRow("unknown-option")
        << with({"--bogus", "{clip}"}) << 1 << "tamrel-yuv-snap: Unknown option 'bogus'.";
    QTest::newRow("two-streams") << with({"{clip}", "{short}"}) << 1
                                 << "tamrel-yuv-snap: Only one stream can be given; unexpected: "
                                    "{short}";
    QTest::newRow("range-into-one-name")
        << with({"-f", "0-1", "-o", "{dir}/one.bmp", "{clip}"}) << 1
        << "tamrel-yuv-snap: A range of frames needs %n in the output name.";
    QTest::newRow("empty-output-name")
        << with({"-o", "", "{clip}"}) << 1 << "tamrel-yuv-snap: The output name is empty.";

    QTest::newRow("stream-missing")
        << with({"{dir}/none.yuv"}) << 2 << "tamrel-yuv-snap: Error opening file: {dir}/none.yuv";
    QTest::newRow("stream-is-a-folder")
        << with({"{dir}"}) << 2 << "tamrel-yuv-snap: Error opening file: {dir}";

    QTest::newRow("stream-empty") << with({"{empty}"}) << 3
                                  << "tamrel-yuv-snap: File too small. Frame count is 0.";
    QTest::newRow("stream-one-byte-short")
        << with({"{short}"}) << 3 << "tamrel-yuv-snap: File too small. Frame count is 0.";
    QTest::newRow("stream-short-for-larger-size") << QStringList {"-W", "16", "-H", "4", "-l",
        "444", "{clip}"} << 3 << "tamrel-yuv-snap: File too small. Frame count is 0.";

    QTest::newRow("frame-past-end") << with({"-f", "3", "{clip}"}) << 4
                                    << "tamrel-yuv-snap: Frame 3 is out of range: the stream "
                                       "holds 3 frame(s), 0 to 2.";
    QTest::newRow("range-past-end-writes-nothing")
        << with({"-f", "1-3", "{clip}"}) << 4
        << "tamrel-yuv-snap: Frame 3 is out of range: the stream holds 3 frame(s), 0 to 2.";
    QTest::newRow("trailing-partial-frame-ignored")
        << with({"-f", "3", "{partial}"}) << 4
        << "tamrel-yuv-snap: Frame 3 is out of range: the stream holds 3 frame(s), 0 to 2.";
    QTest::newRow("frame-past-int-range")
        << with({"-f", "4294967296", "{clip}"}) << 4
        << "tamrel-yuv-snap: Frame 4294967296 is out of range: the stream holds 3 frame(s), 0 "
           "to 2.";

    QTest::newRow("output-folder-missing")
        << with({"-o", "{dir}/missing/x.bmp", "{clip}"}) << 5
        << "tamrel-yuv-snap: Unable to open file for saving: {dir}/missing/x.bmp";
    QTest::newRow("output-is-a-folder") << with({"-o", "{dir}", "{clip}"}) << 5
                                        << "tamrel-yuv-snap: Unable to open file for saving: {dir}";
    QTest::newRow("output-is-the-stream")
        << with({"-o", "{clip}", "{clip}"}) << 5
        << "tamrel-yuv-snap: Refusing to replace the stream with a snapshot: {clip}";
    if (QFile::exists("/dev/full"))
        QTest::newRow("output-device-full") << with({"-o", "/dev/full", "{clip}"}) << 5
                                            << "tamrel-yuv-snap: Error writing file: /dev/full";
}

void TestCli::exitCodes()
{
    QFETCH(QStringList, Args);
    QFETCH(int, Code);
    QFETCH(QString, Message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream(8, 4, YUV420, 4, 3);
    const QByteArray clipBytes = stream.Bytes().left(3 * 48);
    QVERIFY(WriteAll(dir.filePath("clip.yuv"), clipBytes));
    QVERIFY(WriteAll(dir.filePath("short.yuv"), clipBytes.left(47)));
    QVERIFY(WriteAll(dir.filePath("empty.yuv"), QByteArray()));
    QVERIFY(WriteAll(dir.filePath("partial.yuv"), stream.Bytes().left(3 * 48 + 24)));

    auto expand = [&dir](QString s) {
        return s.replace("{clip}", dir.filePath("clip.yuv"))
            .replace("{short}", dir.filePath("short.yuv"))
            .replace("{empty}", dir.filePath("empty.yuv"))
            .replace("{partial}", dir.filePath("partial.yuv"))
            .replace("{dir}", dir.path());
    };
    QStringList args;
    for (const QString &a : Args)
        args << expand(a);

    const TRun run = RunTool(args, dir.path());
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, Code);
    const QStringList errLines = QString::fromLocal8Bit(run.Err).split('\n');
    QVERIFY2(errLines.contains(expand(Message)), run.Err.constData());
    if (Code == 1)
        QVERIFY(errLines.contains("Try 'tamrel-yuv-snap --help' for more information."));
    QCOMPARE(run.Out, QByteArray());
    // A failed run leaves no snapshot behind, and the stream untouched.
    QCOMPARE(BmpFilesIn(dir.path()), QStringList());
    QCOMPARE(ReadAll(dir.filePath("clip.yuv")), clipBytes);
}

void TestCli::frameBeyondTwoGiB()
{
    // Frame 400 of a 1920 x 1080 4:4:4 stream starts past 2^31 bytes: the seek must be 64-bit.
    // The file is sparse; only the last frame holds data.
    const int W = 1920, H = 1080;
    const qint64 frameSize = 3LL * W * H;
    const int last = 400;
    QVERIFY(frameSize * last > (1LL << 31));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString clip = dir.filePath("big.yuv");
    const TFrame frame = RandomFrame(W, H, YUV444, 99);
    {
        const int fd = ::open(QFile::encodeName(clip).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        const QByteArray bytes = frame.Bytes();
        const bool ok = ::ftruncate(fd, frameSize * last) == 0
            && ::pwrite(fd, bytes.constData(), bytes.size(), frameSize * last) == bytes.size();
        ::close(fd);
        if (!ok)
            QSKIP("this file system cannot hold a sparse file of 2.5 GB");
    }
    const QString out = dir.filePath("last.bmp");
    const TRun run
        = RunTool({"-W", "1920", "-H", "1080", "-l", "444", "-f", "400", "-o", out, clip});
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(ReadAll(out), PlayerSnapshot(frame, W, H, YUV444, {}, dir.filePath("reference.bmp")));
}

void TestCli::helpAndVersion()
{
    const TRun help = RunTool({"--help"});
    QVERIFY(!help.Crashed);
    QCOMPARE(help.ExitCode, 0);
    QCOMPARE(help.Err, QByteArray());
    for (const char *text : {"--width", "--height", "--layout", "--frames", "--output", "--no-y",
             "--no-u", "--no-v", "Exit codes:", "_Frame#"})
        QVERIFY2(help.Out.contains(text), text);

    const TRun version = RunTool({"--version"});
    QCOMPARE(version.ExitCode, 0);
    QVERIFY2(version.Out.startsWith("tamrel-yuv-snap "), version.Out.constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
