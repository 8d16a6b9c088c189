// The command-line snapshot tool, run as a user runs it: arguments in, BMP files, messages and an
// exit code out (its reading of stream names: tst_clinames). Each file it writes is compared byte
// for byte with what the player's snapshot saves for the same frame: the snapshot writer applied to
// the frame as the reference conversion makes it.

#include "BmpWriter.h"
#include "ProcessRun.h"
#include "ReferenceConversion.h"
#include "TestFiles.h"
#include "ToolRun.h"
#include "YUVConversion.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

const char *const SourceDir = YUVPLAYER_SOURCE_DIR;

// What the player's snapshot holds for a frame: the reference conversion of the frame saved by
// the snapshot writer. The reader fills chroma reads past the stored plane (odd sizes) with the
// neutral 128, so the planes are padded the same way here. Empty when it cannot be written.
QByteArray PlayerSnapshot(const QByteArray &Frame, const TLayout &L, TPlaneSwitches Planes)
{
    QByteArray u(yuv::MaxPlaneSize, char(128));
    QByteArray v(yuv::MaxPlaneSize, char(128));
    u.replace(0, L.UVSize(), Frame.mid(L.YSize(), L.UVSize()));
    v.replace(0, L.UVSize(), Frame.mid(L.YSize() + L.UVSize(), L.UVSize()));
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(L.W) * L.H);
    auto bytes = [](const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.data()); };
    ReferenceFrame(rgb, bytes(Frame), bytes(u), bytes(v), L.W, L.H, L.Format, Planes);
    const QTemporaryDir scratch;
    const QString path = scratch.filePath("reference.bmp");
    const bool written
        = WriteBmpFile(QFile::encodeName(path), rgb.data(), L.W, L.H) == TBmpResult::Ok;
    return written ? ReadAll(path) : QByteArray();
}

QString LayoutArg(TYUVFormat Format)
{
    return Format == YUV420 ? "420" : (Format == YUV422 ? "422" : "444");
}

QStringList BmpFilesIn(const QString &Dir)
{
    return QDir(Dir).entryList({"*.bmp"}, QDir::Files, QDir::Name);
}

// A stream of Count random frames.
struct TStream
{
    TLayout Layout;
    int Count = 0;
    quint32 Seed = 1;

    QByteArray Frame(int N) const { return FrameBytes(Layout, N, TPattern::Random, Seed); }
    QByteArray Bytes() const { return StreamBytes(Layout, Count, TPattern::Random, 0, Seed); }
    QStringList SizeArgs() const
    {
        return {"-W", QString::number(Layout.W), "-H", QString::number(Layout.H), "-l",
            LayoutArg(Layout.Format)};
    }
    QByteArray Snapshot(int N, TPlaneSwitches Planes = {}) const
    {
        return PlayerSnapshot(Frame(N), Layout, Planes);
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
    for (int i = 0; i < Expected.size(); ++i) {
        QVERIFY2(ReadAll(QDir(Dir).filePath(Expected[i])) == Stream.Snapshot(Frames[i]),
            qPrintable(Expected[i]));
    }
}

// The exit-code table of a text: "code meaning" pairs, with groff's \- read as a dash and table
// bars dropped, so that --help, the README and the manual page compare as plain text.
QStringList ExitCodeRows(const QString &Text, const QRegularExpression &Row)
{
    QStringList rows;
    QRegularExpressionMatchIterator it = Row.globalMatch(Text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        rows << m.captured(1) + ' ' + m.captured(2).trimmed().replace("\\-", "-");
    }
    return rows;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void snapshotMatchesPlayer_data();
    void snapshotMatchesPlayer();
    void outputNames_data();
    void outputNames();
    void rawFileNames_data();
    void rawFileNames();
    void exitCodes_data();
    void exitCodes();
    void streamShortenedWhileWriting();
    void frameBeyondTwoGiB();
    void helpAndVersion();
    void exitCodesDocumented_data();
    void exitCodesDocumented();
};

void TestCli::snapshotMatchesPlayer_data()
{
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("Format");
    QTest::addColumn<int>("Count");
    QTest::addColumn<QString>("FrameArg"); // empty: no --frames option
    QTest::addColumn<QStringList>("Flags"); // plane switches
    QTest::addColumn<int>("Expected");

    auto row = [](const char *Tag, int W, int H, TYUVFormat Format, int Count,
                   const QString &FrameArg, const QStringList &Flags, int Expected) {
        QTest::newRow(Tag) << W << H << int(Format) << Count << FrameArg << Flags << Expected;
    };
    row("yuv420-176x144-default-frame-0", 176, 144, YUV420, 3, "", {}, 0);
    row("yuv420-176x144-frame-2", 176, 144, YUV420, 3, "2", {}, 2);
    row("yuv420-odd-5x3-frame-1", 5, 3, YUV420, 4, "1", {}, 1);
    row("yuv422-odd-7x5-last-frame", 7, 5, YUV422, 4, "3", {}, 3);
    row("yuv444-1x1-frame-6", 1, 1, YUV444, 7, "6", {}, 6);
    row("yuv422-353x288-row-fill", 353, 288, YUV422, 2, "1", {}, 1);
    row("yuv420-1920x1080-frame-1", 1920, 1080, YUV420, 2, "1", {}, 1);
    row("yuv444-3x1-one-frame-range", 3, 1, YUV444, 5, "4-4", {}, 4);
    row("frame-number-leading-zeros", 3, 1, YUV444, 5, "003", {}, 3);
    row("yuv420-no-y", 18, 10, YUV420, 3, "1", {"--no-y"}, 1);
    row("yuv420-no-u", 18, 10, YUV420, 3, "1", {"--no-u"}, 1);
    row("yuv422-no-v", 18, 10, YUV422, 3, "1", {"--no-v"}, 1);
    row("yuv444-no-u-no-v", 18, 10, YUV444, 3, "1", {"--no-u", "--no-v"}, 1);
    row("yuv420-no-y-no-v", 18, 10, YUV420, 3, "1", {"--no-v", "--no-y"}, 1);
    row("yuv422-all-planes-off", 18, 10, YUV422, 3, "1", {"--no-y", "--no-u", "--no-v"}, 1);
}

void TestCli::snapshotMatchesPlayer()
{
    QFETCH(int, W);
    QFETCH(int, H);
    QFETCH(int, Format);
    QFETCH(int, Count);
    QFETCH(QString, FrameArg);
    QFETCH(QStringList, Flags);
    QFETCH(int, Expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream {{W, H, TYUVFormat(Format)}, Count, quint32(W * 7 + H)};
    const QString clip = dir.filePath("clip.yuv");
    QVERIFY(WriteAll(clip, stream.Bytes()));
    const QString out = dir.filePath("snap.bmp");

    QStringList args = stream.SizeArgs() << Flags << "-o" << out << clip;
    if (!FrameArg.isEmpty())
        args << "-f" << FrameArg;
    const TProgramResult run = RunTool(args);

    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Err, QByteArray());
    QCOMPARE(run.Out, QFile::encodeName(out) + '\n');
    TPlaneSwitches planes;
    planes.Y = !Flags.contains("--no-y");
    planes.U = !Flags.contains("--no-u");
    planes.V = !Flags.contains("--no-v");
    const QByteArray expected = stream.Snapshot(Expected, planes);
    QVERIFY(!expected.isEmpty());
    const QByteArray written = ReadAll(out);
    QCOMPARE(written, expected);
    if (Flags.isEmpty())
        return;

    // The switch took effect: the picture is not the one with every plane on.
    QVERIFY(written != stream.Snapshot(Expected));
    if (!planes.Y && !planes.U && !planes.V) {
        // Luma 100 with neutral chroma is a flat grey of 100 in every channel.
        const int stride = (3 * W + 3) & ~3;
        QCOMPARE(written.size(), 54 + stride * H + 2);
        for (int row = 0; row < H; ++row)
            QCOMPARE(written.mid(54 + row * stride, 3 * W), QByteArray(3 * W, char(100)));
    }
}

void TestCli::outputNames_data()
{
    QTest::addColumn<QString>("StreamName");
    QTest::addColumn<bool>("Relative"); // the stream named relative to the working folder
    QTest::addColumn<QString>("FrameArg"); // empty: no --frames option
    QTest::addColumn<QString>("Pattern"); // --output in the stream's folder; empty: none
    QTest::addColumn<QStringList>("Expected");
    QTest::addColumn<QList<int>>("Frames");

    auto row = [](const char *Tag, const QString &StreamName, bool Relative,
                   const QString &FrameArg, const QString &Pattern, const QStringList &Expected,
                   const QList<int> &Frames) {
        QTest::newRow(Tag) << StreamName << Relative << FrameArg << Pattern << Expected << Frames;
    };
    row("default-frame-0", "clip.yuv", false, "", "", {"clip_Frame#0.bmp"}, {0});
    QStringList range;
    for (int n = 3; n <= 9; ++n)
        range << QStringLiteral("clip_Frame#%1.bmp").arg(n);
    row("range-3-9", "clip.yuv", false, "3-9", "", range, {3, 4, 5, 6, 7, 8, 9});
    row("range-from-frame-0", "clip.yuv", false, "0-1", "",
        {"clip_Frame#0.bmp", "clip_Frame#1.bmp"}, {0, 1});
    row("name-not-ending-in-yuv", "clip.yuv420", false, "3", "", {"clip.yu_Frame#3.bmp"}, {3});
    row("name-with-space-relative", "my clip.yuv", true, "10-11", "",
        {"my clip_Frame#10.bmp", "my clip_Frame#11.bmp"}, {10, 11});
    // Four characters, not four bytes, go: the two-byte letters count once each.
    row("name-ending-in-non-ascii", QString::fromUtf8("clip\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"),
        false, "1", "", {"clip_Frame#1.bmp"}, {1});
    row("pattern-number", "clip.yuv", false, "2-4", "shot_%n.bmp",
        {"shot_2.bmp", "shot_3.bmp", "shot_4.bmp"}, {2, 3, 4});
    row("pattern-percent-sign", "clip.yuv", false, "1", "a%%b_%n.bmp", {"a%b_1.bmp"}, {1});
    row("pattern-number-twice", "clip.yuv", false, "4", "%n-%n.bmp", {"4-4.bmp"}, {4});
    row("pattern-fixed-name-one-frame", "clip.yuv", false, "3", "fixed.bmp", {"fixed.bmp"}, {3});
    row("pattern-other-percent-kept", "clip.yuv", false, "0", "p%d_%n.bmp", {"p%d_0.bmp"}, {0});
}

void TestCli::outputNames()
{
    QFETCH(QString, StreamName);
    QFETCH(bool, Relative);
    QFETCH(QString, FrameArg);
    QFETCH(QString, Pattern);
    QFETCH(QStringList, Expected);
    QFETCH(QList<int>, Frames);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream {{6, 4, YUV420}, 12, 7};
    QVERIFY(WriteAll(dir.filePath(StreamName), stream.Bytes()));

    QStringList args = stream.SizeArgs() << (Relative ? StreamName : dir.filePath(StreamName));
    if (!FrameArg.isEmpty())
        args << "--frames" << FrameArg;
    if (!Pattern.isEmpty())
        args << "--output" << dir.filePath(Pattern);
    TRunSetup setup;
    setup.WorkDir = dir.path();
    const TProgramResult run = RunTool(args, setup);
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

void TestCli::rawFileNames_data()
{
    // Names as bytes, relative to a fresh folder that is the working folder; none of the bytes
    // 0xfe and 0xff can occur in UTF-8.
    QTest::addColumn<QByteArray>("Folder"); // created first unless empty
    QTest::addColumn<QByteArray>("Stream");
    QTest::addColumn<QByteArray>("Output"); // empty: the default name
    QTest::addColumn<QByteArray>("Written");

    auto row = [](const char *Tag, const char *Folder, const char *Stream, const char *Output,
                   const char *Written) {
        QTest::newRow(Tag) << QByteArray(Folder) << QByteArray(Stream) << QByteArray(Output)
                           << QByteArray(Written);
    };
    row("stream-name-not-utf8", "", "clip\xff\xfe.yuv", "", "clip\xff\xfe_Frame#1.bmp");
    row("stream-name-not-utf8-short-suffix", "", "clip.y\xff\xfe", "", "clip_Frame#1.bmp");
    row("output-name-not-utf8", "", "clip.yuv", "o\xff\xfe_%n.bmp", "o\xff\xfe_1.bmp");
    row("output-replaces-not-utf8-file", "", "clip.yuv", "old\xff.bmp", "old\xff.bmp");
    row("folder-name-not-utf8", "d\xfe", "d\xfe/clip.yuv", "", "d\xfe/clip_Frame#1.bmp");
}

void TestCli::rawFileNames()
{
    QFETCH(QByteArray, Folder);
    QFETCH(QByteArray, Stream);
    QFETCH(QByteArray, Output);
    QFETCH(QByteArray, Written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray root = QFile::encodeName(dir.path()) + '/';
    // QTemporaryDir removes files by their names read through UTF-8, which misses these.
    const auto removeRawNames = qScopeGuard([&] {
        for (const QByteArray &name : {Stream, Written, QByteArray("old\xff.bmp")})
            ::unlink((root + name).constData());
        if (!Folder.isEmpty())
            ::rmdir((root + Folder).constData());
    });
    if (!Folder.isEmpty())
        QVERIFY(::mkdir((root + Folder).constData(), 0755) == 0);
    const TStream stream {{6, 4, YUV422}, 3, 21};
    QVERIFY(WriteRawName(root + Stream, stream.Bytes()));
    // An existing file for a snapshot to replace.
    QVERIFY(WriteRawName(root + "old\xff.bmp", "old"));

    QList<QByteArray> args {"-W", "6", "-H", "4", "-l", "422", "-f", "1", Stream};
    if (!Output.isEmpty())
        args << "-o" << Output;
    TRunSetup setup;
    setup.WorkDir = dir.path();
    const TProgramResult run = RunTool(args, setup);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.Err, QByteArray());
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Out, Written + '\n');
    QCOMPARE(ReadRawName(root + Written), stream.Snapshot(1));
    QCOMPARE(ReadRawName(root + Stream), stream.Bytes());
}

void TestCli::exitCodes_data()
{
    // In the arguments, {dir} is a fresh folder holding {clip} (3 frames of 8 x 4 4:2:0, 48
    // bytes each), {short} (47 bytes: no whole frame), {empty} (0 bytes), {partial} (3 frames
    // and half a fourth), {fifo} (a named pipe), {y4m} ({clip} after a YUV4MPEG2 header) and
    // {old} (a file that is not a snapshot). {huge} is a sparse stream of 2^31 frames of 1 x 1
    // 4:2:0.
    // {limit-file-size} is no argument: the tool runs with a file-size limit of 100 bytes;
    // nor is {stdout-full}: the tool's standard output is /dev/full.
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<int>("Code");
    QTest::addColumn<QString>("Message"); // a line the tool prints on standard error, unprefixed

    // Most rows give the picture size and add more.
    auto row = [](const char *Tag, const QStringList &More, int Code, const QString &Message) {
        QTest::newRow(Tag) << (QStringList {"-W", "8", "-H", "4"} << More) << Code << Message;
    };
    auto rowAsIs = [](const char *Tag, const QStringList &Args, int Code, const QString &Message) {
        QTest::newRow(Tag) << Args << Code << Message;
    };
    const QString badWidth = "Bad width \"%1\": it must be a number from 1 to 1920.";
    const QString badLayout = "Bad layout \"%1\": it must be 420, 422 or 444.";
    const QString badFrames
        = "Bad frames \"%1\": give a frame number N or a range A-B with A not above B.";
    const QString outOfRange = "Frame %1 is out of range: the stream holds 3 frame(s), 0 to 2.";
    const QString notAStream = "Error opening file: %1 (not a regular file or block device; a "
                               "pipe, socket or character device cannot be read as a stream)";
    const QString tooSmall = "File too small. Frame count is 0.";
    const QString cannotSave = "Unable to open file for saving: ";
    const QString huge = "18446744073709551616"; // 2^64

    rowAsIs("no-arguments", {}, 1, "No stream given.");
    row("no-stream", {}, 1, "No stream given.");
    rowAsIs("width-missing", {"-H", "4", "{clip}"}, 1, "The picture width (--width) is required.");
    rowAsIs("height-missing", {"--width", "8", "{clip}"}, 1,
        "The picture height (--height) is required.");
    for (const char *width : {"0", "1921", "8px", "99999999999"}) {
        rowAsIs(qPrintable(QStringLiteral("width-%1").arg(width)),
            {"-W", width, "-H", "4", "{clip}"}, 1, badWidth.arg(width));
    }
    rowAsIs("height-1081", {"-W", "8", "-H", "1081", "{clip}"}, 1,
        "Bad height \"1081\": it must be a number from 1 to 1080.");
    row("layout-423", {"-l", "423", "{clip}"}, 1, badLayout.arg("423"));
    row("layout-empty", {"-l", "", "{clip}"}, 1, badLayout.arg(""));
    row("frames-not-a-number", {"-f", "x", "{clip}"}, 1, badFrames.arg("x"));
    row("frames-negative", {"-f", "-1", "{clip}"}, 1, badFrames.arg("-1"));
    row("frames-open-range", {"-f", "3-", "{clip}"}, 1, badFrames.arg("3-"));
    row("frames-reversed", {"-f", "2-1", "{clip}"}, 1, badFrames.arg("2-1"));
    const QString reversedHuge = "18446744073709551617-" + huge;
    row("frames-reversed-beyond-64-bits", {"-f", reversedHuge, "{clip}"}, 1,
        badFrames.arg(reversedHuge));
    row("unknown-option", {"--bogus", "{clip}"}, 1, "Unknown option 'bogus'.");
    row("two-streams", {"{clip}", "{short}"}, 1,
        "Only one stream can be given; unexpected: {short}");
    row("range-into-one-name", {"-f", "0-1", "-o", "{dir}/one.bmp", "{clip}"}, 1,
        "A range of frames needs %n in the output name.");
    row("empty-output-name", {"-o", "", "{clip}"}, 1, "The output name is empty.");

    row("stream-missing", {"{dir}/none.yuv"}, 2,
        "Error opening file: {dir}/none.yuv (No such file or directory)");
    rowAsIs("stream-missing-size-missing", {"{dir}/none.yuv"}, 2,
        "Error opening file: {dir}/none.yuv (No such file or directory)");
    row("stream-with-yuv4mpeg2-header", {"{y4m}"}, 2,
        "{y4m} has a YUV4MPEG2 header: it is not a raw stream and cannot be read.");
    row("stream-is-a-folder", {"{dir}"}, 2, "Error opening file: {dir} (it is a folder)");
    row("stream-is-a-fifo", {"{fifo}"}, 2, notAStream.arg("{fifo}"));
    row("stream-is-a-character-device", {"/dev/null"}, 2, notAStream.arg("/dev/null"));

    row("stream-empty", {"{empty}"}, 3, tooSmall);
    row("stream-one-byte-short", {"{short}"}, 3, tooSmall);
    rowAsIs("stream-short-for-larger-size", {"-W", "16", "-H", "4", "-l", "444", "{clip}"}, 3,
        tooSmall);

    row("frame-past-end", {"-f", "3", "{clip}"}, 4, outOfRange.arg("3"));
    row("range-past-end-writes-nothing", {"-f", "1-3", "{clip}"}, 4, outOfRange.arg("3"));
    row("trailing-partial-frame-ignored", {"-f", "3", "{partial}"}, 4, outOfRange.arg("3"));
    row("frame-past-int-range", {"-f", "4294967296", "{clip}"}, 4, outOfRange.arg("4294967296"));
    row("frame-past-64-bits", {"-f", huge, "{clip}"}, 4, outOfRange.arg(huge));
    row("range-end-past-64-bits", {"-f", "0-000099999999999999999999", "{clip}"}, 4,
        outOfRange.arg("99999999999999999999"));

    row("output-folder-missing", {"-o", "{dir}/missing/x.bmp", "{clip}"}, 5,
        cannotSave + "{dir}/missing/x.bmp");
    row("output-is-a-folder", {"-o", "{dir}", "{clip}"}, 5, cannotSave + "{dir}");
    const QString longName = "{dir}/" + QString(300, 'a') + ".bmp";
    row("output-name-too-long", {"-o", longName, "{clip}"}, 5, cannotSave + longName);
    row("output-is-the-stream", {"-o", "{clip}", "{clip}"}, 5,
        "Refusing to replace the stream with a snapshot: {clip}");
    row("output-over-file-size-limit-keeps-old-file",
        {"{limit-file-size}", "-o", "{old}", "{clip}"}, 5, "Error writing file: {old}");
    if (QFile::exists("/dev/full")) {
        row("output-device-full", {"-o", "/dev/full", "{clip}"}, 5,
            "Error writing file: /dev/full");
        const QString noRoom = "Error writing standard output: No space left on device";
        row("info-to-full-stdout", {"{stdout-full}", "--info", "{clip}"}, 5, noRoom);
        row("names-to-full-stdout", {"{stdout-full}", "-o", "/dev/null", "{clip}"}, 5, noRoom);
    }
    rowAsIs("frame-past-reachable-frames", {"-W", "1", "-H", "1", "-f", "2147483647", "{huge}"}, 4,
        "Frame 2147483647 is out of range: the stream holds 2147483648 frames, of which only the "
        "first 2147483647 (0 to 2147483646) can be reached.");
}

void TestCli::exitCodes()
{
    QFETCH(QStringList, Args);
    QFETCH(int, Code);
    QFETCH(QString, Message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream {{8, 4, YUV420}, 4, 3};
    const QByteArray clipBytes = stream.Bytes().left(3 * 48);
    QVERIFY(WriteAll(dir.filePath("clip.yuv"), clipBytes));
    QVERIFY(WriteAll(dir.filePath("short.yuv"), clipBytes.left(47)));
    QVERIFY(WriteAll(dir.filePath("empty.yuv"), QByteArray()));
    QVERIFY(WriteAll(dir.filePath("partial.yuv"), stream.Bytes().left(3 * 48 + 24)));
    QVERIFY(WriteAll(dir.filePath("old.dat"), "old"));
    QVERIFY(WriteAll(dir.filePath("y4m.yuv"), "YUV4MPEG2 W8 H4 F25:1\nFRAME\n" + clipBytes));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo.yuv")).constData(), 0644) == 0);

    if (Args.contains("{huge}")
        && !WriteSparse(dir.filePath("huge.yuv"), qint64(yuv::FrameSize(1, 1, YUV420)) << 31, {}))
        QSKIP("this file system cannot hold a sparse file of 6 GB");
    auto expand = [&dir](QString s) {
        for (const char *name : {"clip.yuv", "short.yuv", "empty.yuv", "partial.yuv", "fifo.yuv",
                 "huge.yuv", "y4m.yuv"})
            s.replace(QStringLiteral("{%1}").arg(QString(name).chopped(4)), dir.filePath(name));
        return s.replace("{old}", dir.filePath("old.dat")).replace("{dir}", dir.path());
    };
    TRunSetup setup;
    setup.WorkDir = dir.path();
    if (Args.removeAll("{limit-file-size}") > 0)
        setup.FileSizeLimit = 100;
    const int full = Args.removeAll("{stdout-full}") > 0 ? ::open("/dev/full", O_WRONLY) : -1;
    const auto closeFull = qScopeGuard([full] {
        if (full >= 0)
            ::close(full);
    });
    setup.Stdout = full;
    QStringList args;
    for (const QString &a : Args)
        args << expand(a);

    const TProgramResult run = RunTool(args, setup);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, Code);
    const QStringList errLines = QString::fromLocal8Bit(run.Err).split('\n');
    QVERIFY2(errLines.contains(Tool + expand(Message)), run.Err.constData());
    if (Code == 1)
        QVERIFY(errLines.contains("Try 'tamrel-yuv-snap --help' for more information."));
    QCOMPARE(run.Out, QByteArray());
    // A failed run leaves no snapshot behind, and the stream and other files untouched.
    QCOMPARE(BmpFilesIn(dir.path()), QStringList());
    QCOMPARE(ReadAll(dir.filePath("clip.yuv")), clipBytes);
    QCOMPARE(ReadAll(dir.filePath("old.dat")), QByteArray("old"));
}

void TestCli::streamShortenedWhileWriting()
{
    // The tool's standard output is a pipe that is full before the tool starts. The tool prints
    // each name when its file is complete, so it waits in printing the first name while the
    // test cuts the stream to two and a half frames; then the pipe is drained.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const TStream stream {{16, 8, YUV420}, 6, 9};
    const QString clip = dir.filePath("clip.yuv");
    QVERIFY(WriteAll(clip, stream.Bytes()));

    int fds[2];
    const qint64 filled = MakeFullPipe(fds);
    QVERIFY(filled > 0);
    QProcess p;
    TRunSetup setup;
    setup.Stdout = fds[1];
    StartProgram(p, YUVSNAP_PATH,
        EncodeNames({"-W", "16", "-H", "8", "-f", "0-5", "-o", dir.filePath("out_%n.bmp"), clip}),
        setup);
    ::close(fds[1]);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("out_0.bmp")), 60000);
    QVERIFY(
        ::truncate(QFile::encodeName(clip).constData(), stream.Layout.FrameSize() * 5 / 2) == 0);

    const QByteArray out = ReadToEndAndClose(fds[0]);
    const TProgramResult run = FinishProgram(p);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 6);
    QCOMPARE(QString::fromLocal8Bit(run.Err), Tool + ("Error reading frame 2 of " + clip) + '\n');
    QCOMPARE(out.mid(filled),
        QFile::encodeName(dir.filePath("out_0.bmp")) + '\n'
            + QFile::encodeName(dir.filePath("out_1.bmp")) + '\n');
    // The frames read whole stay; the frame cut short is not written.
    VerifyWrittenFrames(dir.path(), {"out_0.bmp", "out_1.bmp"}, {0, 1}, stream);
}

void TestCli::frameBeyondTwoGiB()
{
    // Frame 400 of a 1920 x 1080 4:4:4 stream starts past 2^31 bytes: the seek must be 64-bit.
    // The file is sparse; only the last frame holds data.
    const TStream stream {{1920, 1080, YUV444}, 401, 99};
    const qint64 frameSize = stream.Layout.FrameSize();
    const int last = 400;
    QVERIFY(frameSize * last > (1LL << 31));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString clip = dir.filePath("big.yuv");
    if (!WriteSparse(clip, frameSize * (last + 1), {{frameSize * last, stream.Frame(last)}}))
        QSKIP("this file system cannot hold a sparse file of 2.5 GB");
    const QString out = dir.filePath("last.bmp");
    const TProgramResult run
        = RunTool({"-W", "1920", "-H", "1080", "-l", "444", "-f", "400", "-o", out, clip});
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(ReadAll(out), stream.Snapshot(last));
}

void TestCli::helpAndVersion()
{
    const TProgramResult help = RunTool(QStringList {"--help"});
    QVERIFY(!help.Crashed);
    QCOMPARE(help.ExitCode, 0);
    QCOMPARE(help.Err, QByteArray());
    for (const char *text : {"--width", "--height", "--layout", "--frames", "--output", "--no-y",
             "--no-u", "--no-v", "--info", "Exit codes:", "_Frame#"})
        QVERIFY2(help.Out.contains(text), text);

    const TProgramResult version = RunTool(QStringList {"--version"});
    QCOMPARE(version.ExitCode, 0);
    QVERIFY2(version.Out.startsWith("tamrel-yuv-snap "), version.Out.constData());
}

void TestCli::exitCodesDocumented_data()
{
    // The README and the manual page copy the table --help prints; how each writes a row.
    QTest::addColumn<QString>("File");
    QTest::addColumn<QString>("Row");

    QTest::newRow("readme") << "README.md"
                            << "^\\| (\\d+) \\| (.+) \\|$";
    QTest::newRow("manual-page") << "docs/man/tamrel-yuv-snap.1"
                                 << "^\\.TP\\n\\.B (\\d+)\\n(.+)$";
}

void TestCli::exitCodesDocumented()
{
    QFETCH(QString, File);
    QFETCH(QString, Row);

    const TProgramResult help = RunTool(QStringList {"--help"});
    QCOMPARE(help.ExitCode, 0);
    const QString helpText = QString::fromUtf8(help.Out);
    const QStringList expected = ExitCodeRows(helpText.mid(helpText.indexOf("Exit codes:")),
        QRegularExpression("^  (\\d+)  (.+)$", QRegularExpression::MultilineOption));
    QVERIFY(expected.size() >= 7);

    const QString text = QString::fromUtf8(ReadAll(QDir(SourceDir).filePath(File)));
    QVERIFY2(!text.isEmpty(), qPrintable(File));
    QCOMPARE(
        ExitCodeRows(text, QRegularExpression(Row, QRegularExpression::MultilineOption)), expected);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
