// The command-line snapshot tool, run as a user runs it: arguments in, BMP files, messages and an
// exit code out. Each file it writes is compared byte for byte with what the player's snapshot
// saves for the same frame: the snapshot writer applied to the frame as the reference conversion
// makes it.

#include "BmpWriter.h"
#include "ReferenceConversion.h"
#include "TestFiles.h"
#include "YUVConversion.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

const char *const ToolPath = YUVSNAP_PATH;
const char *const SourceDir = YUVPLAYER_SOURCE_DIR;

// What the player's snapshot holds for a frame: the reference conversion of the frame saved by
// the snapshot writer. The reader fills chroma reads past the stored plane (odd sizes) with the
// neutral 128, so the planes are padded the same way here.
QByteArray PlayerSnapshot(
    const QByteArray &Frame, const TLayout &L, TPlaneSwitches Planes, const QString &ScratchPath)
{
    QByteArray u(yuv::MaxPlaneSize, char(128));
    QByteArray v(yuv::MaxPlaneSize, char(128));
    u.replace(0, L.UVSize(), Frame.mid(L.YSize(), L.UVSize()));
    v.replace(0, L.UVSize(), Frame.mid(L.YSize() + L.UVSize(), L.UVSize()));
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(L.W) * L.H);
    auto bytes = [](const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.data()); };
    ReferenceFrame(rgb, bytes(Frame), bytes(u), bytes(v), L.W, L.H, L.Format, Planes);
    if (WriteBmpFile(ScratchPath, rgb.data(), L.W, L.H) != TBmpResult::Ok)
        return QByteArray();
    const QByteArray file = ReadAll(ScratchPath);
    QFile::remove(ScratchPath);
    return file;
}

// File contents by names as the file system holds them, which need not be valid UTF-8.
QByteArray ReadRaw(const QByteArray &Path)
{
    QFile f;
    const int fd = ::open(Path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return QByteArray();
    return f.readAll();
}
bool WriteRaw(const QByteArray &Path, const QByteArray &Data)
{
    QFile f;
    const int fd = ::open(Path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd >= 0 && f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
        && f.write(Data) == Data.size() && f.flush();
}

struct TRun
{
    int ExitCode = -1;
    bool Crashed = true;
    QByteArray Out;
    QByteArray Err;
};

// How the tool's process is set up beyond its arguments.
struct TRunSetup
{
    QString WorkDir;
    rlim_t FileSizeLimit = RLIM_INFINITY; // RLIMIT_FSIZE, in bytes
    int Stdout = -1; // a descriptor to be the tool's standard output instead of a pipe
};

// Starts the tool with arguments given as bytes. QProcess would pass them through UTF-8, which
// changes names that are not valid UTF-8, so the child starts the tool itself.
void StartTool(QProcess &P, const QList<QByteArray> &Args, const TRunSetup &Setup)
{
    QList<QByteArray> argv {QByteArray(ToolPath)};
    argv += Args;
    std::vector<char *> pointers;
    for (QByteArray &a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    P.setProgram(QString::fromLocal8Bit(ToolPath));
    if (!Setup.WorkDir.isEmpty())
        P.setWorkingDirectory(Setup.WorkDir);
    if (Setup.Stdout >= 0)
        P.setStandardOutputFile(QProcess::nullDevice());
    // Runs in the child before the tool starts. Qt may start children the way vfork() does, on
    // the parent's stack; the function is therefore not instrumented by AddressSanitizer, whose
    // marks on that stack would outlive the child and trip the parent later. Everything it needs
    // is copied into it.
    char **argvData = pointers.data();
    const rlim_t fileSizeLimit = Setup.FileSizeLimit;
    const int stdoutFd = Setup.Stdout;
    P.setChildProcessModifier(
        [ argvData, fileSizeLimit, stdoutFd ]() __attribute__((no_sanitize_address)) {
            const rlimit limit {fileSizeLimit, fileSizeLimit};
            if (fileSizeLimit != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(126);
            if (stdoutFd >= 0)
                ::dup2(stdoutFd, STDOUT_FILENO);
            ::execv(argvData[0], argvData);
            ::_exit(127);
        });
    P.start();
}

TRun FinishTool(QProcess &P)
{
    TRun run;
    if (!P.waitForFinished(120000)) {
        P.kill();
        P.waitForFinished();
        return run;
    }
    run.Crashed = P.exitStatus() != QProcess::NormalExit;
    run.ExitCode = P.exitCode();
    run.Out = P.readAllStandardOutput();
    run.Err = P.readAllStandardError();
    return run;
}

TRun RunTool(const QList<QByteArray> &Args, const TRunSetup &Setup = {})
{
    QProcess p;
    StartTool(p, Args, Setup);
    return FinishTool(p);
}

TRun RunTool(const QStringList &Args, const TRunSetup &Setup = {})
{
    QList<QByteArray> args;
    for (const QString &a : Args)
        args << QFile::encodeName(a);
    return RunTool(args, Setup);
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
    QByteArray Snapshot(int N, const QString &ScratchPath, TPlaneSwitches Planes = {}) const
    {
        return PlayerSnapshot(Frame(N), Layout, Planes, ScratchPath);
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
        QVERIFY2(ReadAll(QDir(Dir).filePath(Expected[i])) == Stream.Snapshot(Frames[i], scratch),
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
    void planeSwitches_data();
    void planeSwitches();
    void defaultNames_data();
    void defaultNames();
    void outputPattern_data();
    void outputPattern();
    void rawFileNames_data();
    void rawFileNames();
    void guessFromName_data();
    void guessFromName();
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
    QTest::addColumn<int>("Expected");

    QTest::newRow("yuv420-176x144-default-frame-0") << 176 << 144 << int(YUV420) << 3 << "" << 0;
    QTest::newRow("yuv420-176x144-frame-2") << 176 << 144 << int(YUV420) << 3 << "2" << 2;
    QTest::newRow("yuv420-odd-5x3-frame-1") << 5 << 3 << int(YUV420) << 4 << "1" << 1;
    QTest::newRow("yuv422-odd-7x5-last-frame") << 7 << 5 << int(YUV422) << 4 << "3" << 3;
    QTest::newRow("yuv444-1x1-frame-6") << 1 << 1 << int(YUV444) << 7 << "6" << 6;
    QTest::newRow("yuv422-353x288-row-fill") << 353 << 288 << int(YUV422) << 2 << "1" << 1;
    QTest::newRow("yuv420-1920x1080-frame-1") << 1920 << 1080 << int(YUV420) << 2 << "1" << 1;
    QTest::newRow("yuv444-3x1-one-frame-range") << 3 << 1 << int(YUV444) << 5 << "4-4" << 4;
    QTest::newRow("frame-number-leading-zeros") << 3 << 1 << int(YUV444) << 5 << "003" << 3;
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
    const TStream stream {{W, H, TYUVFormat(Format)}, Count, quint32(W * 7 + H)};
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
    const QByteArray expected = stream.Snapshot(Expected, dir.filePath("reference.bmp"));
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
    const TStream stream {{W, H, TYUVFormat(Format)}, 3, 42};
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
    QCOMPARE(written, stream.Snapshot(1, scratch, planes));
    // The switch took effect: the picture is not the one with every plane on.
    QVERIFY(written != stream.Snapshot(1, scratch));

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
    // Four characters, not four bytes, go: the two-byte letters count once each.
    QTest::newRow("name-ending-in-non-ascii")
        << QString::fromUtf8("clip\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9") << false << "1"
        << QStringList {"clip_Frame#1.bmp"} << QList<int> {1};
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
    const TStream stream {{6, 4, YUV420}, 12, 7};
    QVERIFY(WriteAll(dir.filePath(StreamName), stream.Bytes()));

    QStringList args = stream.SizeArgs() << (Relative ? StreamName : dir.filePath(StreamName));
    if (!FrameArg.isEmpty())
        args << "--frames" << FrameArg;
    TRunSetup setup;
    setup.WorkDir = dir.path();
    const TRun run = RunTool(args, setup);
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
    const TStream stream {{4, 2, YUV444}, 5, 11};
    const QString clip = dir.filePath("clip.yuv");
    QVERIFY(WriteAll(clip, stream.Bytes()));

    const TRun run = RunTool(
        stream.SizeArgs() << "-f" << FrameArg << "--output" << dir.filePath(Pattern) << clip);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Err, QByteArray());
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

    QTest::newRow("stream-name-not-utf8") << QByteArray() << QByteArray("clip\xff\xfe.yuv")
                                          << QByteArray() << QByteArray("clip\xff\xfe_Frame#1.bmp");
    QTest::newRow("stream-name-not-utf8-short-suffix")
        << QByteArray() << QByteArray("clip.y\xff\xfe") << QByteArray()
        << QByteArray("clip_Frame#1.bmp");
    QTest::newRow("output-name-not-utf8")
        << QByteArray() << QByteArray("clip.yuv") << QByteArray("o\xff\xfe_%n.bmp")
        << QByteArray("o\xff\xfe_1.bmp");
    QTest::newRow("output-replaces-not-utf8-file")
        << QByteArray() << QByteArray("clip.yuv") << QByteArray("old\xff.bmp")
        << QByteArray("old\xff.bmp");
    QTest::newRow("folder-name-not-utf8") << QByteArray("d\xfe") << QByteArray("d\xfe/clip.yuv")
                                          << QByteArray() << QByteArray("d\xfe/clip_Frame#1.bmp");
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
    QVERIFY(WriteRaw(root + Stream, stream.Bytes()));
    // An existing file for a snapshot to replace.
    QVERIFY(WriteRaw(root + "old\xff.bmp", "old"));

    QList<QByteArray> args {"-W", "6", "-H", "4", "-l", "422", "-f", "1", Stream};
    if (!Output.isEmpty())
        args << "-o" << Output;
    TRunSetup setup;
    setup.WorkDir = dir.path();
    const TRun run = RunTool(args, setup);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.Err, QByteArray());
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Out, Written + '\n');
    QCOMPARE(ReadRaw(root + Written), stream.Snapshot(1, dir.filePath("reference.bmp")));
    QCOMPARE(ReadRaw(root + Stream), stream.Bytes());
}

void TestCli::guessFromName_data()
{
    // Every stream holds 4,147,205 bytes (one 1920 x 1080 4:2:2 frame and 5 bytes) and is
    // named relative to the working folder; the tool runs with --info.
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<int>("Code");
    QTest::addColumn<QStringList>("Err"); // every line on standard error
    // width, height, layout, frame size, whole frames, trailing bytes; empty: nothing printed
    QTest::addColumn<QStringList>("Info");

    const QString assuming = "tamrel-yuv-snap: assuming %1 from the file name";
    const QString byDefault = " (layout 4:2:0 by default)";
    const QString tryHelp = "Try 'tamrel-yuv-snap --help' for more information.";
    const QStringList cif {"352", "288", "4:2:0", "152064", "27", "41477"};

    QTest::newRow("width-by-height") << "foreman_352x288.yuv" << QStringList() << 0
                                     << QStringList {assuming.arg("352x288") + byDefault} << cif;
    QTest::newRow("size-rate-and-layout")
        << "park_1920x1080_50fps_422.yuv" << QStringList() << 0
        << QStringList {assuming.arg("1920x1080 4:2:2")}
        << QStringList {"1920", "1080", "4:2:2", "4147200", "1", "5"};
    QTest::newRow("size-name-cif") << "akiyo_cif.yuv" << QStringList() << 0
                                   << QStringList {assuming.arg("352x288") + byDefault} << cif;
    QTest::newRow("1080p-yuv444p-no-whole-frame")
        << "clip_1080p_yuv444p.yuv" << QStringList() << 3
        << QStringList {assuming.arg("1920x1080 4:4:4")}
        << QStringList {"1920", "1080", "4:4:4", "6220800", "0", "4147205"};
    QTest::newRow("size-in-folder-name")
        << "720p/clip_i420.yuv" << QStringList() << 0
        << QStringList {assuming.arg("1280x720 4:2:0")}
        << QStringList {"1280", "720", "4:2:0", "1382400", "3", "5"};
    QTest::newRow("upper-case-qcif-dash")
        << "QCIF-422.YUV" << QStringList() << 0 << QStringList {assuming.arg("176x144 4:2:2")}
        << QStringList {"176", "144", "4:2:2", "50688", "81", "41477"};
    QTest::newRow("size-name-4cif") << "mobile.4cif.yuv" << QStringList() << 0
                                    << QStringList {assuming.arg("704x576") + byDefault}
                                    << QStringList {"704", "576", "4:2:0", "608256", "6", "497669"};
    QTest::newRow("options-override-guess")
        << "foreman_352x288.yuv" << QStringList {"-W", "176", "-H", "144", "-l", "444"} << 0
        << QStringList() << QStringList {"176", "144", "4:4:4", "76032", "54", "41477"};
    QTest::newRow("layout-option-size-guessed")
        << "park_1920x1080_50fps_422.yuv" << QStringList {"-l", "420"} << 0
        << QStringList {assuming.arg("1920x1080")}
        << QStringList {"1920", "1080", "4:2:0", "3110400", "1", "1036805"};
    QTest::newRow("width-option-height-guessed")
        << "akiyo_cif.yuv" << QStringList {"-W", "176"} << 0
        << QStringList {assuming.arg("height 288") + byDefault}
        << QStringList {"176", "288", "4:2:0", "76032", "54", "41477"};
    QTest::newRow("oversized-guess")
        << "uhd_3840x2160.yuv" << QStringList() << 1
        << QStringList {assuming.arg("3840x2160") + byDefault,
               "tamrel-yuv-snap: Bad width \"3840\": it must be a number from 1 to 1920.", tryHelp}
        << QStringList();
    QTest::newRow("no-size-in-name")
        << "clip_420.yuv" << QStringList() << 1
        << QStringList {assuming.arg("4:2:0"),
               "tamrel-yuv-snap: The picture width (--width) is required.", tryHelp}
        << QStringList();
    QTest::newRow("size-names-only-as-whole-tokens")
        << "scifi-sdk_576.yuv" << QStringList() << 1
        << QStringList {"tamrel-yuv-snap: The picture width (--width) is required.", tryHelp}
        << QStringList();
}

void TestCli::guessFromName()
{
    QFETCH(QString, Name);
    QFETCH(QStringList, Args);
    QFETCH(int, Code);
    QFETCH(QStringList, Err);
    QFETCH(QStringList, Info);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QFileInfo(Name).path()));
    QVERIFY(WriteSparse(dir.filePath(Name), 4147205, {}));

    TRunSetup setup;
    setup.WorkDir = dir.path();
    const TRun run = RunTool(QStringList {"--info"} << Args << Name, setup);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, Code);
    QCOMPARE(QString::fromUtf8(run.Err), Err.isEmpty() ? QString() : Err.join('\n') + '\n');
    QString info;
    const QStringList labels {"width: %1", "height: %1", "layout: %1", "frame size: %1 bytes",
        "whole frames: %1", "trailing bytes: %1"};
    for (qsizetype i = 0; i < Info.size(); ++i)
        info += labels[i].arg(Info[i]) + '\n';
    QCOMPARE(QString::fromUtf8(run.Out), info);
}

void TestCli::exitCodes_data()
{
    // In the arguments, {dir} is a fresh folder holding {clip} (3 frames of 8 x 4 4:2:0, 48
    // bytes each), {short} (47 bytes: no whole frame), {empty} (0 bytes), {partial} (3 frames
    // and half a fourth), {fifo} (a named pipe) and {old} (a file that is not a snapshot).
    // {limit-file-size} is no argument: the tool runs with a file-size limit of 100 bytes.
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<int>("Code");
    QTest::addColumn<QString>("Message"); // a line the tool prints on standard error

    const QStringList size {"-W", "8", "-H", "4"};
    auto with = [&size](QStringList more) { return QStringList(size) << more; };
    const QString badFrames = "tamrel-yuv-snap: Bad frames \"%1\": give a frame number N or a "
                              "range A-B with A not above B.";
    const QString outOfRange = "tamrel-yuv-snap: Frame %1 is out of range: the stream holds 3 "
                               "frame(s), 0 to 2.";
    const QString notAStream = " (not a regular file or block device; a pipe, socket or "
                               "character device cannot be read as a stream)";

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
    QTest::newRow("layout-empty") << with({"-l", "",
        "{clip}"}) << 1 << "tamrel-yuv-snap: Bad layout \"\": it must be 420, 422 or 444.";
    QTest::newRow("frames-not-a-number") << with({"-f", "x", "{clip}"}) << 1 << badFrames.arg("x");
    QTest::newRow("frames-negative") << with({"-f", "-1", "{clip}"}) << 1 << badFrames.arg("-1");
    QTest::newRow("frames-open-range") << with({"-f", "3-", "{clip}"}) << 1 << badFrames.arg("3-");
    QTest::newRow("frames-reversed") << with({"-f", "2-1", "{clip}"}) << 1 << badFrames.arg("2-1");
    QTest::newRow("frames-reversed-beyond-64-bits")
        << with({"-f", "18446744073709551617-18446744073709551616", "{clip}"}) << 1
        << badFrames.arg("18446744073709551617-18446744073709551616");
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
        << with({"{dir}/none.yuv"}) << 2
        << "tamrel-yuv-snap: Error opening file: {dir}/none.yuv (No such file or directory)";
    QTest::newRow("stream-is-a-folder")
        << with({"{dir}"}) << 2 << "tamrel-yuv-snap: Error opening file: {dir} (it is a folder)";
    QTest::newRow("stream-is-a-fifo")
        << with({"{fifo}"}) << 2 << "tamrel-yuv-snap: Error opening file: {fifo}" + notAStream;
    QTest::newRow("stream-is-a-character-device") << with(
        {"/dev/null"}) << 2 << "tamrel-yuv-snap: Error opening file: /dev/null" + notAStream;

    QTest::newRow("stream-empty") << with({"{empty}"}) << 3
                                  << "tamrel-yuv-snap: File too small. Frame count is 0.";
    QTest::newRow("stream-one-byte-short")
        << with({"{short}"}) << 3 << "tamrel-yuv-snap: File too small. Frame count is 0.";
    QTest::newRow("stream-short-for-larger-size") << QStringList {"-W", "16", "-H", "4", "-l",
        "444", "{clip}"} << 3 << "tamrel-yuv-snap: File too small. Frame count is 0.";

    QTest::newRow("frame-past-end") << with({"-f", "3", "{clip}"}) << 4 << outOfRange.arg("3");
    QTest::newRow("range-past-end-writes-nothing")
        << with({"-f", "1-3", "{clip}"}) << 4 << outOfRange.arg("3");
    QTest::newRow("trailing-partial-frame-ignored")
        << with({"-f", "3", "{partial}"}) << 4 << outOfRange.arg("3");
    QTest::newRow("frame-past-int-range")
        << with({"-f", "4294967296", "{clip}"}) << 4 << outOfRange.arg("4294967296");
    QTest::newRow("frame-past-64-bits") << with({"-f", "18446744073709551616", "{clip}"}) << 4
                                        << outOfRange.arg("18446744073709551616");
    QTest::newRow("range-end-past-64-bits") << with({"-f", "0-000099999999999999999999", "{clip}"})
                                            << 4 << outOfRange.arg("99999999999999999999");

    QTest::newRow("output-folder-missing")
        << with({"-o", "{dir}/missing/x.bmp", "{clip}"}) << 5
        << "tamrel-yuv-snap: Unable to open file for saving: {dir}/missing/x.bmp";
    QTest::newRow("output-is-a-folder") << with({"-o", "{dir}", "{clip}"}) << 5
                                        << "tamrel-yuv-snap: Unable to open file for saving: {dir}";
    const QString longName = "{dir}/" + QString(300, 'a') + ".bmp";
    QTest::newRow("output-name-too-long")
        << with({"-o", longName, "{clip}"}) << 5
        << "tamrel-yuv-snap: Unable to open file for saving: " + longName;
    QTest::newRow("output-is-the-stream")
        << with({"-o", "{clip}", "{clip}"}) << 5
        << "tamrel-yuv-snap: Refusing to replace the stream with a snapshot: {clip}";
    QTest::newRow("output-over-file-size-limit-keeps-old-file")
        << with({"{limit-file-size}", "-o", "{old}", "{clip}"}) << 5
        << "tamrel-yuv-snap: Error writing file: {old}";
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
    const TStream stream {{8, 4, YUV420}, 4, 3};
    const QByteArray clipBytes = stream.Bytes().left(3 * 48);
    QVERIFY(WriteAll(dir.filePath("clip.yuv"), clipBytes));
    QVERIFY(WriteAll(dir.filePath("short.yuv"), clipBytes.left(47)));
    QVERIFY(WriteAll(dir.filePath("empty.yuv"), QByteArray()));
    QVERIFY(WriteAll(dir.filePath("partial.yuv"), stream.Bytes().left(3 * 48 + 24)));
    QVERIFY(WriteAll(dir.filePath("old.dat"), "old"));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo.yuv")).constData(), 0644) == 0);

    auto expand = [&dir](QString s) {
        return s.replace("{clip}", dir.filePath("clip.yuv"))
            .replace("{short}", dir.filePath("short.yuv"))
            .replace("{empty}", dir.filePath("empty.yuv"))
            .replace("{partial}", dir.filePath("partial.yuv"))
            .replace("{fifo}", dir.filePath("fifo.yuv"))
            .replace("{old}", dir.filePath("old.dat"))
            .replace("{dir}", dir.path());
    };
    TRunSetup setup;
    setup.WorkDir = dir.path();
    if (Args.removeAll("{limit-file-size}") > 0)
        setup.FileSizeLimit = 100;
    QStringList args;
    for (const QString &a : Args)
        args << expand(a);

    const TRun run = RunTool(args, setup);
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, Code);
    const QStringList errLines = QString::fromLocal8Bit(run.Err).split('\n');
    QVERIFY2(errLines.contains(expand(Message)), run.Err.constData());
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
    QVERIFY(::pipe2(fds, O_CLOEXEC) == 0);
    QVERIFY(::fcntl(fds[1], F_SETFL, O_NONBLOCK) == 0);
    const QByteArray filler(4096, 'x');
    qint64 filled = 0;
    for (qint64 n; (n = ::write(fds[1], filler.constData(), filler.size())) > 0;)
        filled += n;
    QVERIFY(::fcntl(fds[1], F_SETFL, 0) == 0);

    QProcess p;
    TRunSetup setup;
    setup.Stdout = fds[1];
    const QList<QByteArray> args {"-W", "16", "-H", "8", "-f", "0-5", "-o",
        QFile::encodeName(dir.filePath("out_%n.bmp")), QFile::encodeName(clip)};
    StartTool(p, args, setup);
    ::close(fds[1]);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("out_0.bmp")), 60000);
    QVERIFY(
        ::truncate(QFile::encodeName(clip).constData(), stream.Layout.FrameSize() * 5 / 2) == 0);

    QByteArray out;
    char buffer[4096];
    for (qint64 n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    ::close(fds[0]);
    const TRun run = FinishTool(p);

    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 6);
    QCOMPARE(QString::fromLocal8Bit(run.Err),
        "tamrel-yuv-snap: Error reading frame 2 of " + clip + '\n');
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
    const TRun run
        = RunTool({"-W", "1920", "-H", "1080", "-l", "444", "-f", "400", "-o", out, clip});
    QVERIFY(!run.Crashed);
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(ReadAll(out), stream.Snapshot(last, dir.filePath("reference.bmp")));
}

void TestCli::helpAndVersion()
{
    const TRun help = RunTool(QStringList {"--help"});
    QVERIFY(!help.Crashed);
    QCOMPARE(help.ExitCode, 0);
    QCOMPARE(help.Err, QByteArray());
    for (const char *text : {"--width", "--height", "--layout", "--frames", "--output", "--no-y",
             "--no-u", "--no-v", "--info", "Exit codes:", "_Frame#"})
        QVERIFY2(help.Out.contains(text), text);

    const TRun version = RunTool(QStringList {"--version"});
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

    const TRun help = RunTool(QStringList {"--help"});
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
