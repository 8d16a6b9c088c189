// The command-line snapshot tool's reading of a stream's name, run as a user runs it: the picture
// size and layout it takes from the file or folder name, the names it refuses, and what it says.

#include "ProcessRun.h"
#include "TestFiles.h"
#include "ToolRun.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

class TestCliNames : public QObject
{
    Q_OBJECT

private slots:
    void guessFromName_data();
    void guessFromName();
};

void TestCliNames::guessFromName_data()
{
    // Every stream holds 4,147,205 bytes (one 1920 x 1080 4:2:2 frame and 5 bytes) and is
    // named relative to the working folder; the tool runs with --info.
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<int>("Code");
    QTest::addColumn<QStringList>("Err"); // every line on standard error
    // width, height, layout, frame size, whole frames, trailing bytes; empty: nothing printed
    QTest::addColumn<QStringList>("Info");

    auto row = [](const char *Tag, const QString &Name, const QStringList &Args, int Code,
                   const QStringList &Err, const QStringList &Info) {
        QTest::newRow(Tag) << Name << Args << Code << Err << Info;
    };
    const QString assuming = Tool + QString("assuming %1 from the file name");
    const QString byDefault = " (layout 4:2:0 by default)";
    const QString noWidth = Tool + QString("The picture width (--width) is required.");
    const QString tryHelp = "Try 'tamrel-yuv-snap --help' for more information.";
    const QStringList cif {"352", "288", "4:2:0", "152064", "27", "41477"};

    row("width-by-height", "foreman_352x288.yuv", {}, 0, {assuming.arg("352x288") + byDefault},
        cif);
    row("size-rate-and-layout", "park_1920x1080_50fps_422.yuv", {}, 0,
        {assuming.arg("1920x1080 4:2:2")}, {"1920", "1080", "4:2:2", "4147200", "1", "5"});
    row("size-name-cif", "akiyo_cif.yuv", {}, 0, {assuming.arg("352x288") + byDefault}, cif);
    row("1080p-yuv444p-no-whole-frame", "clip_1080p_yuv444p.yuv", {}, 3,
        {assuming.arg("1920x1080 4:4:4")}, {"1920", "1080", "4:4:4", "6220800", "0", "4147205"});
    const QStringList hd420 {"1920", "1080", "4:2:0", "3110400", "1", "1036805"};
    const QStringList hd720 {"1280", "720", "4:2:0", "1382400", "3", "5"};
    row("size-in-folder-layout-in-file-name", "720p/clip_i420.yuv", {}, 0,
        {Tool + QString("assuming 1280x720 from the folder name and 4:2:0 from the file name")},
        hd720);
    row("size-with-rate", "crowd_run_1080p50.yuv", {}, 0, {assuming.arg("1920x1080") + byDefault},
        hd420);
    row("size-with-rate-in-folder-name", "720p60/clip.yuv", {}, 0,
        {Tool + QString("assuming 1280x720 from the folder name") + byDefault}, hd720);
    row("size-name-sif", "foreman_sif.yuv", {}, 0, {assuming.arg("352x240") + byDefault},
        {"352", "240", "4:2:0", "126720", "32", "92165"});
    auto refused = [&](const QString &Where, const QString &Word, const QString &What) {
        return QStringList {Tool
                + QString("The %1 says \"%2\": %3 cannot be read (only 8-bit planar Y, U, V "
                          "can); give --width, --height and --layout to read it regardless.")
                      .arg(Where, Word, What),
            tryHelp};
    };
    const QString deep = "samples of more than 8 bits";
    row("refused-10bit", "MarketPlace_1920x1080_60fps_10bit_420.yuv", {}, 1,
        refused("file name", "10bit", deep), {});
    row("refused-yuv420p10le", "enc_1920x1080_yuv420p10le.yuv", {}, 1,
        refused("file name", "yuv420p10le", deep), {});
    row("refused-p010-in-folder-name", "P010/clip_1920x1080_420.yuv", {}, 1,
        refused("folder name", "P010", deep), {});
    row("refused-nv12", "cam_nv12_1280x720.yuv", {"-l", "420"}, 1,
        refused("file name", "nv12", "a semi-planar layout (U and V interleaved)"), {});
    row("refused-yuyv", "capture_yuyv_640x480.yuv", {}, 1,
        refused("file name", "yuyv", "a packed layout (Y, U and V interleaved)"), {});
    row("refused-rgb24", "clip_rgb24_352x288.yuv", {}, 1,
        refused("file name", "rgb24", "RGB samples"), {});
    const QString two = "The file name gives two %1, \"%2\" and \"%3\"; give --width, --height "
                        "and --layout to say which.";
    row("refused-two-layouts", "clip_1920x1080_422_420.yuv", {}, 1,
        {Tool + two.arg("layouts", "422", "420"), tryHelp}, {});
    row("refused-two-sizes", "foreman_cif_1920x1080.yuv", {}, 1,
        {Tool + two.arg("sizes", "cif", "1920x1080"), tryHelp}, {});
    row("upper-case-qcif-dash", "QCIF-422.YUV", {}, 0, {assuming.arg("176x144 4:2:2")},
        {"176", "144", "4:2:2", "50688", "81", "41477"});
    row("size-name-4cif", "mobile.4cif.yuv", {}, 0, {assuming.arg("704x576") + byDefault},
        {"704", "576", "4:2:0", "608256", "6", "497669"});
    row("options-override-guess", "foreman_352x288.yuv", {"-W", "176", "-H", "144", "-l", "444"}, 0,
        {}, {"176", "144", "4:4:4", "76032", "54", "41477"});
    row("layout-option-size-guessed", "park_1920x1080_50fps_422.yuv", {"-l", "420"}, 0,
        {assuming.arg("1920x1080")}, {"1920", "1080", "4:2:0", "3110400", "1", "1036805"});
    row("width-option-height-guessed", "akiyo_cif.yuv", {"-W", "176"}, 0,
        {assuming.arg("height 288") + byDefault}, {"176", "288", "4:2:0", "76032", "54", "41477"});
    row("oversized-guess", "uhd_3840x2160.yuv", {}, 1,
        {assuming.arg("3840x2160") + byDefault,
            Tool + QString("Bad width \"3840\": it must be a number from 1 to 1920."), tryHelp},
        {});
    row("no-size-in-name", "clip_420.yuv", {}, 1, {assuming.arg("4:2:0"), noWidth, tryHelp}, {});
    row("size-names-only-as-whole-tokens", "scifi-sdk_576.yuv", {}, 1, {noWidth, tryHelp}, {});
}

void TestCliNames::guessFromName()
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
    const TProgramResult run = RunTool(QStringList {"--info"} << Args << Name, setup);
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

QTEST_GUILESS_MAIN(TestCliNames)
#include "tst_clinames.moc"
