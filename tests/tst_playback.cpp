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

#include <memory>

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
    void streamWithoutWholeFrame();
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

private:
    void Open(const QString &path, int W, int H, TYUVFormat format = YUV420, int fps = 1000);
    QString MakeStream(int frames, int extraBytes = 0);
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
    WriteStream(path, 16, 8, YUV420, frames, extraBytes);
    return path;
}

void TestPlayback::Open(const QString &path, int W, int H, TYUVFormat format, int fps)
{
    WhenModal<TParamDialog>([=](TParamDialog *d) {
        d->WidthComboBox->setEditText(QString::number(W));
        d->HeightComboBox->setEditText(QString::number(H));
        d->comboBox->setCurrentIndex(format);
        d->FPSSpinBox->setValue(fps);
        d->accept();
    });
    Window->OpenFileFromCommandLine(path);
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

void TestPlayback::streamWithoutWholeFrame()
{
    QString warning;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        warning = box->windowTitle() + ": " + box->text();
        box->button(QMessageBox::Ok)->click();
    });
    Open(MakeStream(0, 100), 16, 8);
    QCOMPARE(warning, QString("Warning: File too small. Frame count is 0."));
    QCOMPARE(Window->horizontalSlider->minimum(), -1);
    QCOMPARE(Window->horizontalSlider->maximum(), -1);
    QCOMPARE(Window->FrameNumLabel->text(), QString("0/-1"));
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
        QByteArray frame(FrameBytes(W, H, YUV420), 0);
        for (int i = 0; i < frame.size(); ++i)
            frame[i] = char((i * 37 + 11) % 256);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(frame);
    }
    Open(path, W, H);
    const QString target = Dir.filePath("shot.bmp");
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        d->selectFile(target);
        static_cast<QDialog *>(d)->accept();
    });
    Window->SaveToBMPButton->click();
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
    QString error;
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            error = box->windowTitle() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        });
        // Qt's own dialog refuses a folder that does not exist, so give the name directly.
        d->selectFile(target);
        static_cast<QDialog *>(d)->done(QDialog::Accepted);
    });
    Window->SaveToBMPButton->click();
    QCOMPARE(error, "Error: Unable to open file for saving: " + target);
    QVERIFY(!QFile::exists(target));
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
