// The snapshot button: the name it proposes, the file it writes and what it does when it cannot.

#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace testsupport;

class TestSnapshot : public QObject, TWindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void proposedSnapshotName_data();
    void proposedSnapshotName();
    void snapshotWithoutStream_data();
    void snapshotWithoutStream();
    void snapshotMatchesScreen();
    void snapshotFailureKeepsFile_data();
    void snapshotFailureKeepsFile();
    void snapshotNonAsciiName_data();
    void snapshotNonAsciiName();

private:
    QString SaveSnapshotAs(const QString &target, bool expectError);
};

void TestSnapshot::init()
{
    NewWindow(true);
}

void TestSnapshot::cleanup()
{
    Window.reset();
}

// Clicks the snapshot button and answers the save dialog with target. Returns what the error box
// said ("Title: text"), when one is expected.
QString TestSnapshot::SaveSnapshotAs(const QString &target, bool expectError)
{
    QString error;
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        if (expectError) {
            WhenModal<QMessageBox>([&](QMessageBox *box) {
                error = box->windowTitle() + ": " + box->text();
                box->button(QMessageBox::Ok)->click();
            });
        }
        // done() rather than accept(): Qt's own dialog refuses a folder that does not exist.
        d->selectFile(target);
        static_cast<QDialog *>(d)->done(QDialog::Accepted);
    });
    Window->SaveToBMPButton->click();
    return error;
}

void TestSnapshot::proposedSnapshotName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("yuv-extension") << "v/clip.yuv" << 0 << "v/clip_Frame#0.bmp";
    QTest::newRow("longer-extension") << "v/clip.yuv420" << 3 << "v/clip.yu_Frame#3.bmp";
}

// The stream's name decides the proposal; the stream itself is any open file. The names lie in
// a folder that exists, since the file dialog starts elsewhere otherwise.
void TestSnapshot::proposedSnapshotName()
{
    QFETCH(QString, fileName);
    QFETCH(int, frame);
    QFETCH(QString, proposed);
    QVERIFY(QDir(Dir.path()).mkpath("v"));
    fileName = Dir.filePath(fileName);
    proposed = Dir.filePath(proposed);
    Open(MakeClip(10), 16, 8, YUV420, 1);
    Window->FileName = fileName;
    Window->horizontalSlider->setValue(frame);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString offered;
        WhenModal<QFileDialog>([&](QFileDialog *d) {
            offered = d->selectedFiles().value(0);
            d->reject();
        });
        Window->PlayButton->click();
        Window->SaveToBMPButton->click();
        QVERIFY(!Window->PlayTimer->isActive()); // saving stops playback first
        QCOMPARE(offered, proposed);
        QCOMPARE(Window->FileName, fileName);
    }
}

void TestSnapshot::snapshotWithoutStream_data()
{
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("control"); // used before saving: a button or a key sequence
    QTest::newRow("no-stream") << false << "";
    QTest::newRow("parameters-cancelled") << true << "";
    QTest::newRow("parameters-cancelled-first") << true << "StartButton";
    QTest::newRow("parameters-cancelled-last") << true << "EndButton";
    QTest::newRow("parameters-cancelled-y-plane") << true << "Ctrl+Y";
}

// With no stream, or with one whose parameters were never given (whatever is on screen), saving
// only stops playback: no dialog, no file.
void TestSnapshot::snapshotWithoutStream()
{
    QFETCH(bool, opened);
    QFETCH(QString, control);
    if (opened) {
        WhenModal<TParamDialog>([](TParamDialog *d) { d->reject(); });
        Window->OpenFileFromCommandLine(MakeClip(3));
        QVERIFY(Window->YUVReader->isFileOpen());
    }
    if (control.endsWith("Button"))
        Window->findChild<QPushButton *>(control)->click();
    else if (!control.isEmpty())
        QTest::keySequence(Window.get(), QKeySequence(control));
    Window->PlayButton->click();
    QCOMPARE(ModalDuring([this] { Window->SaveToBMPButton->click(); }), QString());
    QVERIFY(!Window->PlayTimer->isActive());
    QVERIFY(Window->PlayButton->isEnabled());
    QVERIFY(QDir(Dir.path()).entryList({"*.bmp"}).isEmpty());
}

void TestSnapshot::snapshotMatchesScreen()
{
    // A 4:2:0 picture of odd width with varied samples, saved and decoded independently.
    const int W = 23, H = 9;
    const QString path = Dir.filePath("varied.yuv");
    {
        QByteArray frame(TLayout {W, H, YUV420}.FrameSize(), 0);
        for (int i = 0; i < frame.size(); ++i)
            frame[i] = char((i * 37 + 11) % 256);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(frame);
    }
    Open(path, W, H);
    const QString target = Dir.filePath("shot.bmp");
    SaveSnapshotAs(target, false);
    QImage saved(target);
    QVERIFY(!saved.isNull());
    QCOMPARE(saved.size(), QSize(W, H));
    const unsigned char *pic = Window->Screen->GetPic();
    for (int row = 0; row < H; ++row) {
        for (int x = 0; x < W; ++x) {
            const unsigned char *p = pic + 3 * (W * (H - 1 - row) + x);
            QCOMPARE(saved.pixel(x, row), qRgb(p[0], p[1], p[2]));
        }
    }
}

// Restricts the size of files this process may write, as a full disk does, until destroyed. The
// signal that exceeding it raises is ignored, so the write fails with an error instead.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        Ok = ::getrlimit(RLIMIT_FSIZE, &Old) == 0;
        OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {bytes, Old.rlim_max};
        Ok = Ok && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &Old);
        std::signal(SIGXFSZ, OldHandler);
    }
    bool Ok = false;

private:
    rlimit Old {};
    void (*OldHandler)(int) = nullptr;
};

void TestSnapshot::snapshotFailureKeepsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keep"); // an existing file that must keep its content
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("message");
    const QString cannotOpen = "Unable to open file for saving: ",
                  cannotWrite = "Error writing file: ";
    QTest::newRow("missing-folder") << "no-such-folder/shot.bmp"
                                    << "" << false << cannotOpen;
    QTest::newRow("folder-is-a-file") << "plain.txt/shot.bmp"
                                      << "plain.txt" << false << cannotOpen;
    QTest::newRow("disk-full") << "old.bmp"
                               << "old.bmp" << true << cannotWrite;
    QTest::newRow("disk-full-non-ascii-name")
        << QStringLiteral("старый кадр_旧.bmp") << QStringLiteral("старый кадр_旧.bmp") << true
        << cannotWrite;
}

// A save that fails shows the error box naming the chosen file and loses nothing: a file that
// already has that name (or stands where its folder should be) keeps its content, and no other
// file is left behind.
void TestSnapshot::snapshotFailureKeepsFile()
{
    QFETCH(QString, name);
    QFETCH(QString, keep);
    QFETCH(bool, diskFull);
    QFETCH(QString, message);
    // The stream beside the target: the save dialog starts in the stream's folder.
    QTemporaryDir out;
    const QString stream = out.filePath("cif.yuv");
    QVERIFY(
        WriteStream(stream, {352, 288, YUV420}, 2, TPattern::Grey)); // a snapshot of 304,184 bytes
    Open(stream, 352, 288);
    const QString target = out.filePath(name);
    const QByteArray old = "an earlier snapshot\n";
    if (!keep.isEmpty())
        QVERIFY(WriteAll(out.filePath(keep), old));
    QString error;
    {
        std::unique_ptr<TFileSizeLimit> limit;
        if (diskFull) {
            limit = std::make_unique<TFileSizeLimit>(64 * 1024);
            QVERIFY(limit->Ok);
        }
        error = SaveSnapshotAs(target, true);
    }
    QCOMPARE(error, "Error: " + message + target);
    if (!keep.isEmpty())
        QCOMPARE(ReadAll(out.filePath(keep)), old);
    QStringList left
        = QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
    left.removeOne("cif.yuv");
    QCOMPARE(left, keep.isEmpty() ? QStringList() : QStringList {keep});
}

void TestSnapshot::snapshotNonAsciiName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("cyrillic") << QStringLiteral("Снимки/кадр №3.bmp");
    QTest::newRow("cjk") << QStringLiteral("スナップ/画像 3.bmp");
}

// The file gets exactly the name chosen, and holds the picture on screen.
void TestSnapshot::snapshotNonAsciiName()
{
    QFETCH(QString, name);
    Open(MakeClip(5), 16, 8);
    Window->horizontalSlider->setValue(3);
    const QString target = Dir.filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(target).path()));
    SaveSnapshotAs(target, false);
    const QFileInfo info(target);
    QCOMPARE(info.dir().entryList(QDir::Files), QStringList {info.fileName()});
    const QImage saved(target);
    QCOMPARE(saved.size(), QSize(16, 8));
    const int grey = Window->Screen->GetPic()[0];
    QCOMPARE(grey, FrameLuma(3));
    QCOMPARE(saved.pixel(0, 0), qRgb(grey, grey, grey));
}

QTEST_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
