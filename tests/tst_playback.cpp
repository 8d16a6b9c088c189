#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <cstdio>

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

class TestPlayback : public QObject, TWindowFixture
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
    void sparseStreamLastFrame();
    void navigationKeys_data();
    void navigationKeys();
    void windowGrowsPerStream();

    void playAndStop_data();
    void playAndStop();
    void playbackAdvancesFrameByFrame();
    void playbackStopsAtEnd();
    void playBeforeAnyStream();
    void endDuringPlayback_data();
    void endDuringPlayback();

    void planeKeys_data();
    void planeKeys();

    void gotoWithoutStream();
    void gotoDialog_data();
    void gotoDialog();

    void helpOpensAddress_data();
    void helpOpensAddress();

private:
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
};

void TestPlayback::init()
{
    NewWindow(true);
}

void TestPlayback::cleanup()
{
    Window.reset();
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
    Open(MakeClip(frames), 16, 8);
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
    Open(MakeClip(0, bytes), 16, 8);
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
    const QString path = MakeClip(100);
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
    const QString path = MakeClip(10);
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

// A sparse stream past 4 GiB of one-byte frames: more than an int counts, and the count stops at
// the largest int. The last frame alone carries a grey pixel: End shows it with the right
// counter, and the keys that move forward stay there without reading again. (Large frames past
// 4 GiB: the reader's own tests.)
void TestPlayback::sparseStreamLastFrame()
{
    const int W = 1, H = 1, last = 2147483646;
    const QString path = Dir.filePath("large.yuv");
    if (!WriteSparse(path, (qint64(1) << 32) + 5, {{last, QByteArray(1, char(200))}}))
        QSKIP("This file system cannot hold a sparse file over 4 GiB");
    Open(path, W, H);
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
    Open(MakeClip(frames), 16, 8);
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
    const QString path = MakeClip(3);
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
    Open(MakeClip(100), 16, 8, YUV420, 1);
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
    Open(MakeClip(100), 16, 8, YUV420, 100);
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
    Open(MakeClip(4), 16, 8, YUV420, 1000);
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

void TestPlayback::endDuringPlayback_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("stops");
    QTest::newRow("button-stops") << false << true;
    QTest::newRow("key-only-jumps") << true << false;
}

// The End button stops playback; the End key only jumps, and the next tick finds the end.
void TestPlayback::endDuringPlayback()
{
    QFETCH(bool, byKey);
    QFETCH(bool, stops);
    Open(MakeClip(100), 16, 8, YUV420, 20);
    Window->PlayButton->click();
    byKey ? Press(Qt::Key_End) : Window->EndButton->click();
    QCOMPARE(Window->horizontalSlider->value(), 99);
    QCOMPARE(Window->PlayTimer->isActive(), !stops);
    QTRY_VERIFY(!Window->PlayTimer->isActive());
    QVERIFY(Window->PlayButton->isEnabled());
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
    Open(MakeClip(frames), 16, 8);
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

void TestPlayback::helpOpensAddress_data()
{
    QTest::addColumn<bool>("opens");
    QTest::newRow("opened-by-the-desktop") << true;
    QTest::newRow("cannot-be-opened") << false;
}

// The product page goes to the desktop; when it cannot be opened, the warning box names it.
void TestPlayback::helpOpensAddress()
{
    QFETCH(bool, opens);
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    if (!opens) {
        Window->UrlOpener = [&catcher](const QUrl &url) {
            catcher.Urls << url;
            return false;
        };
    }
    const QString said = ModalDuring([this] { Window->HelpButton->click(); });
    QDesktopServices::unsetUrlHandler("http");
    QCOMPARE(catcher.Urls.size(), 1);
    const QUrl url = catcher.Urls.first();
    QCOMPARE(
        said, opens ? QString() : "Warning: Could not open the web page " + url.toString() + ".");
    QCOMPARE(url.scheme(), QString("http"));
    QVERIFY(!url.host().isEmpty());
    QCOMPARE(url.path(), QString("/en/solutions.php"));
    QCOMPARE(url.query(), QString("sub=8"));
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
