#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace testsupport;

// Receives the address the help button opens.
class TUrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl &url) { Urls << url; }
};

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newStreamSetsSliderAndCounter_data();
    void newStreamSetsSliderAndCounter();
    void streamWithoutWholeFrame_data();
    void streamWithoutWholeFrame();
    void truncatedWhilePlaying();
    void replacedWhileOpen();
    void sparseStreamLastFrame_data();
    void sparseStreamLastFrame();
    void navigationKeys_data();
    void navigationKeys();
    void windowGrowsPerStream();

    void playAndStop_data();
    void playAndStop();
    void playbackAdvancesFrameByFrame();
    void playbackStopsAtEnd();
    void playBeforeAnyStream();
    void endDuringPlayback();
    void endKeyDuringPlayback();

    void planeKeys_data();
    void planeKeys();

    void gotoWithoutStream();
    void gotoDialog_data();
    void gotoDialog();

    void helpOpensAddress();

    void proposedSnapshotName_data();
    void proposedSnapshotName();
    void snapshotWithoutStream();
    void snapshotMatchesScreen();
    void snapshotToMissingFolder();
    void snapshotFailureKeepsFile_data();
    void snapshotFailureKeepsFile();
    void snapshotNonAsciiName_data();
    void snapshotNonAsciiName();

private:
    void Open(const QString &path, int W, int H, TYUVFormat format = YUV420, int fps = 1000);
    QString MakeStream(int frames, int extraBytes = 0);
    QString SaveSnapshotAs(const QString &target, bool expectError);
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    QTemporaryDir Dir;
    std::unique_ptr<TMainWindow> Window;
};

void TestPlayback::init()
{
    QTest::failOnWarning(QRegularExpression("QObject::connect"));
    ClearSettings();
    Window = std::make_unique<TMainWindow>();
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
}

void TestPlayback::cleanup()
{
    Window.reset();
}

QString TestPlayback::MakeStream(int frames, int extraBytes)
{
    const QString path = Dir.filePath(QString("clip%1.yuv").arg(frames));
    WriteStream(path, {16, 8, YUV420}, frames, TPattern::Grey, extraBytes);
    return path;
}

void TestPlayback::Open(const QString &path, int W, int H, TYUVFormat format, int fps)
{
    OpenWithParams(*Window, path, {W, H, format}, fps);
}

// Clicks the snapshot button and answers the save dialog with target. Returns what the error box
// said ("Title: text"), when one is expected.
QString TestPlayback::SaveSnapshotAs(const QString &target, bool expectError)
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

void TestPlayback::Press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(Window.get(), key, modifiers);
}

void TestPlayback::newStreamSetsSliderAndCounter_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("pageStep");
    QTest::addColumn<QString>("counter");
    QTest::newRow("100-frames") << 100 << 19 << "0/99";
    QTest::newRow("6-frames") << 6 << 1 << "0/5";
    QTest::newRow("5-frames") << 5 << 0 << "0/4";
    QTest::newRow("1-frame") << 1 << 0 << "0/0";
}

void TestPlayback::newStreamSetsSliderAndCounter()
{
    QFETCH(int, frames);
    QFETCH(int, pageStep);
    QFETCH(QString, counter);
    Window->UCheckBox->setChecked(false);
    Open(MakeStream(frames), 16, 8);
    QCOMPARE(Window->horizontalSlider->minimum(), 0);
    QCOMPARE(Window->horizontalSlider->maximum(), frames - 1);
    QCOMPARE(Window->horizontalSlider->pageStep(), pageStep);
    QCOMPARE(Window->horizontalSlider->value(), 0);
    QCOMPARE(Window->FrameNumLabel->text(), counter);
    QVERIFY(Window->YCheckBox->isChecked());
    QVERIFY(Window->UCheckBox->isChecked());
    QVERIFY(Window->VCheckBox->isChecked());
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(0));
}

void TestPlayback::streamWithoutWholeFrame_data()
{
    QTest::addColumn<int>("bytes");
    QTest::newRow("shorter-than-one-frame") << 100;
    QTest::newRow("empty-file") << 0;
}

void TestPlayback::streamWithoutWholeFrame()
{
    QFETCH(int, bytes);
    QString warning;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        warning = box->windowTitle() + ": " + box->text();
        box->button(QMessageBox::Ok)->click();
    });
    Open(MakeStream(0, bytes), 16, 8);
    QCOMPARE(warning, QString("Warning: File too small. Frame count is 0."));
    QCOMPARE(Window->horizontalSlider->minimum(), -1);
    QCOMPARE(Window->horizontalSlider->maximum(), -1);
    QCOMPARE(Window->FrameNumLabel->text(), QString("0/-1"));
}

// The stream loses frames on disk while it plays: playback runs on to the end it counted, the
// frames the file no longer holds show black, no message interrupts it, and new parameters count
// what is left.
void TestPlayback::truncatedWhilePlaying()
{
    const QString path = MakeStream(100);
    Open(path, 16, 8, YUV420, 1000);
    QList<QPair<int, int>> shown; // frame number, luma of its first pixel on screen
    connect(Window->YUVReader, &TYUVReader::NewFrameReady, this, [&](unsigned char *, int n) {
        shown.append({n, int(Window->Screen->GetPic()[0])});
    });
    Window->PlayButton->click();
    QTRY_VERIFY(Window->horizontalSlider->value() >= 2);
    const int kept = 10;
    QVERIFY(QFile::resize(path, kept * TLayout {16, 8, YUV420}.FrameSize()));
    const int truncatedAfter = shown.last().first;
    QTRY_VERIFY_WITH_TIMEOUT(!Window->PlayTimer->isActive(), 60000);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(Window->FrameNumLabel->text(), QString("99/99"));
    QVERIFY(Window->PlayButton->isEnabled());
    QCOMPARE(shown.last().first, 99);
    for (const auto &[n, luma] : std::as_const(shown)) {
        if (n > truncatedAfter) // read after the cut: the file's frames, then black
            QCOMPARE(luma, n < kept ? FrameLuma(n) : 0);
    }
    const uchar *pic = Window->Screen->GetPic();
    QCOMPARE(
        QByteArray(reinterpret_cast<const char *>(pic), 3 * 16 * 8), QByteArray(3 * 16 * 8, 0));

    WhenModal<TParamDialog>([](TParamDialog *d) { d->accept(); });
    Window->SettingsButton->click();
    QCOMPARE(Window->FrameNumLabel->text(), QString("0/9"));
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(0));
}

// Another file takes the stream's name while it is open: the player keeps showing the file it
// opened, whose frames stay readable to the end, and the new file shows once it is opened.
void TestPlayback::replacedWhileOpen()
{
    const QString path = MakeStream(10);
    Open(path, 16, 8);
    Window->horizontalSlider->setValue(3);
    const QString other = Dir.filePath("other.yuv");
    {
        QFile f(other);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int n = 0; n < 5; ++n)
            f.write(QByteArray(16 * 8, char(200)) + QByteArray(2 * 32, char(128)));
    }
    QVERIFY(
        ::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
    Press(Qt::Key_Right);
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(4));
    Press(Qt::Key_End);
    QCOMPARE(Window->FrameNumLabel->text(), QString("9/9"));
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(9));
    WhenModal<TParamDialog>([](TParamDialog *d) { d->accept(); });
    Window->SettingsButton->click(); // recounts the file that is open
    QCOMPARE(Window->FrameNumLabel->text(), QString("0/9"));

    Open(path, 16, 8);
    QCOMPARE(Window->FrameNumLabel->text(), QString("0/4"));
    QCOMPARE(int(Window->Screen->GetPic()[0]), 200);
}

void TestPlayback::sparseStreamLastFrame_data()
{
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("format");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<int>("last");
    // One-byte frames: more than an int counts; the count stops at the largest int.
    QTest::newRow("one-byte-frames-past-4GiB")
        << 1 << 1 << int(YUV420) << (qint64(1) << 32) + 5 << 2147483646;
}

// A stream past 4 GiB, sparse, whose last frame alone carries a grey top-left pixel: End shows it
// with the right counter, and the keys that move forward stay there without reading again.
void TestPlayback::sparseStreamLastFrame()
{
    QFETCH(int, W);
    QFETCH(int, H);
    QFETCH(int, format);
    QFETCH(qint64, fileSize);
    QFETCH(int, last);
    const TLayout layout {W, H, TYUVFormat(format)};
    const qint64 lastAt = qint64(last) * layout.FrameSize();
    QList<QPair<qint64, QByteArray>> pieces {{lastAt, QByteArray(1, char(200))}};
    if (layout.UVSize() > 0) {
        pieces.append({lastAt + layout.YSize(), QByteArray(1, char(128))});
        pieces.append({lastAt + layout.YSize() + layout.UVSize(), QByteArray(1, char(128))});
    }
    const QString path = Dir.filePath("large.yuv");
    if (!WriteSparse(path, fileSize, pieces))
        QSKIP("This file system cannot hold a sparse file over 4 GiB");
    Open(path, W, H, TYUVFormat(format));
    QCOMPARE(Window->horizontalSlider->maximum(), last);
    QSignalSpy reads(Window->YUVReader, SIGNAL(NewFrameReady(unsigned char *, int)));
    Press(Qt::Key_End);
    QCOMPARE(reads.count(), 1);
    const QString counter = QString("%1/%1").arg(last);
    QCOMPARE(Window->FrameNumLabel->text(), counter);
    // The buffer holds the bottom row first: the top-left pixel starts the last row.
    const uchar *topLeft = Window->Screen->GetPic() + 3 * qint64(W) * (H - 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(topLeft), 3), QByteArray(3, char(200)));
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_End})
        Press(key);
    QCOMPARE(reads.count(), 1);
    QCOMPARE(Window->horizontalSlider->value(), last);
    QCOMPARE(Window->FrameNumLabel->text(), counter);
}

void TestPlayback::navigationKeys_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("framesRead");
    QTest::newRow("end") << 100 << 0 << int(Qt::Key_End) << 99 << 1;
    QTest::newRow("home") << 100 << 40 << int(Qt::Key_Home) << 0 << 1;
    QTest::newRow("right-at-last") << 100 << 99 << int(Qt::Key_Right) << 99 << 0;
    QTest::newRow("right") << 100 << 5 << int(Qt::Key_Right) << 6 << 1;
    QTest::newRow("left-at-first") << 100 << 0 << int(Qt::Key_Left) << 0 << 0;
    QTest::newRow("down-at-5") << 100 << 5 << int(Qt::Key_Down) << 0 << 1;
    QTest::newRow("up") << 100 << 5 << int(Qt::Key_Up) << 15 << 1;
    QTest::newRow("page-up-at-0") << 100 << 0 << int(Qt::Key_PageUp) << 19 << 1;
    QTest::newRow("page-down") << 100 << 50 << int(Qt::Key_PageDown) << 31 << 1;
    QTest::newRow("page-up-short-stream") << 5 << 0 << int(Qt::Key_PageUp) << 0 << 0;
}

void TestPlayback::navigationKeys()
{
    QFETCH(int, frames);
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, expected);
    QFETCH(int, framesRead);
    Open(MakeStream(frames), 16, 8);
    Window->horizontalSlider->setValue(start);
    QSignalSpy reads(Window->YUVReader, SIGNAL(NewFrameReady(unsigned char *, int)));
    Press(Qt::Key(key));
    QCOMPARE(Window->horizontalSlider->value(), expected);
    QCOMPARE(Window->FrameNumLabel->text(), QString("%1/%2").arg(expected).arg(frames - 1));
    QCOMPARE(reads.count(), framesRead);
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(expected));
}

void TestPlayback::windowGrowsPerStream()
{
    const QSize before = Window->size();
    const QString path = MakeStream(3);
    for (int i = 0; i < 3; ++i)
        Open(path, 16, 8);
    QCOMPARE(Window->size(), before + QSize(3, 3));
}

void TestPlayback::playAndStop_data()
{
    QTest::addColumn<bool>("bySpace");
    QTest::newRow("buttons") << false;
    QTest::newRow("space") << true;
}

void TestPlayback::playAndStop()
{
    QFETCH(bool, bySpace);
    Open(MakeStream(100), 16, 8, YUV420, 1);
    bySpace ? Press(Qt::Key_Space) : Window->PlayButton->click();
    QVERIFY(Window->PlayTimer->isActive());
    QVERIFY(!Window->PlayButton->isEnabled());
    QVERIFY(!Window->NextButton->isEnabled());
    QVERIFY(!Window->PrevButton->isEnabled());
    for (QPushButton *b : {Window->StopButton, Window->StartButton, Window->EndButton,
             Window->OpenButton, Window->SettingsButton})
        QVERIFY(b->isEnabled());
    bySpace ? Press(Qt::Key_Space) : Window->StopButton->click();
    QVERIFY(!Window->PlayTimer->isActive());
    QVERIFY(Window->PlayButton->isEnabled());
    QVERIFY(Window->NextButton->isEnabled());
    QVERIFY(Window->PrevButton->isEnabled());
}

void TestPlayback::playbackAdvancesFrameByFrame()
{
    Open(MakeStream(100), 16, 8, YUV420, 100);
    QList<int> shown;
    connect(Window->YUVReader, &TYUVReader::NewFrameReady, this,
        [&](unsigned char *, int n) { shown << n; });
    Window->PlayButton->click();
    QTRY_VERIFY(shown.size() >= 5);
    Window->StopButton->click();
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(shown[i], i + 1);
    QCOMPARE(Window->horizontalSlider->value(), shown.last());
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(shown.last()));
}

void TestPlayback::playbackStopsAtEnd()
{
    Open(MakeStream(4), 16, 8, YUV420, 1000);
    QSignalSpy ends(Window->YUVReader, SIGNAL(EndOfFileReached()));
    Window->PlayButton->click();
    QTRY_VERIFY(!Window->PlayTimer->isActive());
    QCOMPARE(ends.count(), 1);
    QCOMPARE(Window->horizontalSlider->value(), 3);
    QVERIFY(Window->PlayButton->isEnabled());
    QVERIFY(Window->NextButton->isEnabled());
    QVERIFY(Window->PrevButton->isEnabled());

    // Play at the last frame: the first tick reports the end, the picture stays.
    QSignalSpy reads(Window->YUVReader, SIGNAL(NewFrameReady(unsigned char *, int)));
    Window->PlayButton->click();
    QTRY_VERIFY(!Window->PlayTimer->isActive());
    QCOMPARE(reads.count(), 0);
    QVERIFY(Window->PlayButton->isEnabled());
}

void TestPlayback::playBeforeAnyStream()
{
    QCOMPARE(Window->PlayTimer->interval(), 0);
    Window->PlayButton->click();
    QVERIFY(Window->PlayTimer->isActive());
    QTRY_VERIFY(!Window->PlayTimer->isActive());
    QVERIFY(Window->PlayButton->isEnabled());
}

void TestPlayback::endDuringPlayback()
{
    Open(MakeStream(100), 16, 8, YUV420, 1);
    Window->PlayButton->click();
    Window->EndButton->click();
    QVERIFY(!Window->PlayTimer->isActive());
    QVERIFY(Window->PlayButton->isEnabled());
    QCOMPARE(Window->horizontalSlider->value(), 99);
}

void TestPlayback::endKeyDuringPlayback()
{
    Open(MakeStream(100), 16, 8, YUV420, 20);
    Window->PlayButton->click();
    Press(Qt::Key_End);
    QCOMPARE(Window->horizontalSlider->value(), 99);
    QVERIFY(Window->PlayTimer->isActive()); // the key only jumps
    QTRY_VERIFY(!Window->PlayTimer->isActive()); // the next tick finds the end
    QCOMPARE(Window->horizontalSlider->value(), 99);
}

void TestPlayback::planeKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("y");
    QTest::addColumn<bool>("u");
    QTest::addColumn<bool>("v");
    QTest::newRow("ctrl-y") << int(Qt::Key_Y) << int(Qt::ControlModifier) << true << false << false;
    QTest::newRow("ctrl-u") << int(Qt::Key_U) << int(Qt::ControlModifier) << false << true << false;
    QTest::newRow("shift-v") << int(Qt::Key_V) << int(Qt::ShiftModifier) << false << false << true;
    QTest::newRow("alt-k") << int(Qt::Key_K) << int(Qt::AltModifier) << true << true << true;
    QTest::newRow("plain-y") << int(Qt::Key_Y) << 0 << true << true << false;
}

// A one-pixel 4:4:4 stream with the worked sample (81, 90, 240): the frame on screen shows which
// planes are on.
void TestPlayback::planeKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, y);
    QFETCH(bool, u);
    QFETCH(bool, v);
    const QString path = Dir.filePath("pixel.yuv");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x51\x5a\xf0", 3));
    }
    Open(path, 1, 1, YUV444);
    Window->VCheckBox->setChecked(false); // a state that the plain key must leave alone
    Press(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(Window->YCheckBox->isChecked(), y);
    QCOMPARE(Window->UCheckBox->isChecked(), u);
    QCOMPARE(Window->VCheckBox->isChecked(), v);
    // Reference values: Y alone is grey 81; Y off reads as 100.
    TPlaneSwitches planes;
    planes.Y = y;
    planes.U = u;
    planes.V = v;
    unsigned char expected[3];
    const unsigned char py = 81, pu = 90, pv = 240;
    yuv::ConvertYUVToRGB(expected, &py, &pu, &pv, 1, 1, YUV444, planes);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(Window->Screen->GetPic()), 3),
        QByteArray(reinterpret_cast<char *>(expected), 3));
}

void TestPlayback::gotoWithoutStream()
{
    QTest::mouseClick(Window->FrameNumLabel, Qt::LeftButton);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestPlayback::gotoDialog_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("typed"); // -1: cancel
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("framesRead");
    QTest::newRow("jump") << 100 << 10 << 42 << "Of 99" << 42 << 1;
    QTest::newRow("above-last") << 100 << 10 << 5000 << "Of 99" << 99 << 1;
    QTest::newRow("current") << 100 << 10 << 10 << "Of 99" << 10 << 0;
    QTest::newRow("cancel") << 100 << 10 << -1 << "Of 99" << 10 << 0;
    QTest::newRow("one-frame") << 1 << 0 << 3 << "Of 0" << 0 << 0;
}

void TestPlayback::gotoDialog()
{
    QFETCH(int, frames);
    QFETCH(int, start);
    QFETCH(int, typed);
    QFETCH(QString, label);
    QFETCH(int, expected);
    QFETCH(int, framesRead);
    Open(MakeStream(frames), 16, 8);
    Window->horizontalSlider->setValue(start);
    QSignalSpy reads(Window->YUVReader, SIGNAL(NewFrameReady(unsigned char *, int)));
    int shownValue = -1;
    QString shownLabel;
    WhenModal<TGotoDialog>([&](TGotoDialog *d) {
        shownValue = d->spinBox->value();
        shownLabel = d->label->text();
        if (typed < 0) {
            d->reject();
            return;
        }
        d->spinBox->setValue(typed);
        d->accept();
    });
    QTest::mouseClick(Window->FrameNumLabel, Qt::LeftButton);
    QCOMPARE(shownValue, start);
    QCOMPARE(shownLabel, label);
    QCOMPARE(Window->horizontalSlider->value(), expected);
    QCOMPARE(reads.count(), framesRead);
}

void TestPlayback::helpOpensAddress()
{
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    Window->HelpButton->click();
    QDesktopServices::unsetUrlHandler("http");
    QCOMPARE(catcher.Urls.size(), 1);
    const QUrl url = catcher.Urls.first();
    QCOMPARE(url.scheme(), QString("http"));
    QVERIFY(!url.host().isEmpty());
    QCOMPARE(url.path(), QString("/en/solutions.php"));
    QCOMPARE(url.query(), QString("sub=8"));
}

void TestPlayback::proposedSnapshotName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("yuv-extension") << "v/clip.yuv" << 0 << "v/clip_Frame#0.bmp";
    QTest::newRow("longer-extension") << "v/clip.yuv420" << 3 << "v/clip.yu_Frame#3.bmp";
}

// The stream's name decides the proposal; the stream itself is any open file. The names lie in
// a folder that exists, since the file dialog starts elsewhere otherwise.
void TestPlayback::proposedSnapshotName()
{
    QFETCH(QString, fileName);
    QFETCH(int, frame);
    QFETCH(QString, proposed);
    QVERIFY(QDir(Dir.path()).mkpath("v"));
    fileName = Dir.filePath(fileName);
    proposed = Dir.filePath(proposed);
    Open(MakeStream(10), 16, 8, YUV420, 1);
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

void TestPlayback::snapshotWithoutStream()
{
    Window->PlayButton->click();
    Window->SaveToBMPButton->click(); // with a stream a dialog would hang this call
    QVERIFY(!Window->PlayTimer->isActive());
    QVERIFY(Window->PlayButton->isEnabled());
    QVERIFY(QDir(Dir.path()).entryList({"*.bmp"}).isEmpty());
}

void TestPlayback::snapshotMatchesScreen()
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

void TestPlayback::snapshotToMissingFolder()
{
    Open(MakeStream(3), 16, 8);
    const QString target = Dir.filePath("no-such-folder/shot.bmp");
    QCOMPARE(SaveSnapshotAs(target, true), "Error: Unable to open file for saving: " + target);
    QVERIFY(!QFile::exists(target));
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

void TestPlayback::snapshotFailureKeepsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keep"); // the existing file that must keep its content
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("message");
    const QString cannotOpen = "Unable to open file for saving: ",
                  cannotWrite = "Error writing file: ";
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
void TestPlayback::snapshotFailureKeepsFile()
{
    QFETCH(QString, name);
    QFETCH(QString, keep);
    QFETCH(bool, diskFull);
    QFETCH(QString, message);
    const QString stream = Dir.filePath("cif.yuv");
    QVERIFY(
        WriteStream(stream, {352, 288, YUV420}, 2, TPattern::Grey)); // a snapshot of 304,184 bytes
    Open(stream, 352, 288);
    QTemporaryDir out;
    const QString target = out.filePath(name);
    const QByteArray old = "an earlier snapshot\n";
    {
        QFile f(out.filePath(keep));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
    }
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
    QFile kept(out.filePath(keep));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), old);
    QCOMPARE(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
        QStringList {keep});
}

void TestPlayback::snapshotNonAsciiName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("cyrillic") << QStringLiteral("Снимки/кадр №3.bmp");
    QTest::newRow("cjk") << QStringLiteral("スナップ/画像 3.bmp");
}

// The file gets exactly the name chosen, and holds the picture on screen.
void TestPlayback::snapshotNonAsciiName()
{
    QFETCH(QString, name);
    Open(MakeStream(5), 16, 8);
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

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
