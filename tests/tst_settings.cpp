// What the main window keeps in its settings store: what it reads back, however odd, what it
// writes and when, and a store that cannot be written at all.

#include "OpenGLWidget.h"
#include "ProcessRun.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace testsupport;

class TestSettings : public QObject, TWindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typedSizeReachesReader_data();
    void typedSizeReachesReader();
    void cancelledDialogStillStores();
    void commandLineOpenStoresPath();
    void emptySizeFieldIsRefused();
    void storedParams_data();
    void storedParams();
    void storedLastPathUnusable_data();
    void storedLastPathUnusable();
    void settingsFolderCannotBeCreated();
};

void TestSettings::init()
{
    NewWindowAndStream();
}

void TestSettings::cleanup()
{
    Window.reset();
}

void TestSettings::typedSizeReachesReader_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("storedWidthIndex");
    QTest::newRow("confirmed-with-enter") << true << 0;
    QTest::newRow("typed-only") << false << 2;
}

// The reader gets the typed width either way; the store keeps the list position, which for an
// entry confirmed with Enter is the top of the list, and otherwise the entry current before.
void TestSettings::typedSizeReachesReader()
{
    QFETCH(bool, confirm);
    QFETCH(int, storedWidthIndex);
    QVERIFY(WriteStream(Stream, {352, 144, YUV420}, 3, TPattern::Grey));
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Tamrel", "TamrelYUVPlayer");
    store.setValue("Params/Width", 2);
    store.sync();
    QSignalSpy params(Window->YUVReader, SIGNAL(NewPictureParams(int, int, int)));
    OpenAccepting(Stream, [confirm](TParamDialog *d) {
        QLineEdit *edit = d->WidthComboBox->lineEdit();
        edit->selectAll();
        edit->insert("352");
        if (confirm)
            QTest::keyClick(edit, Qt::Key_Return); // Enter also presses OK
    });
    QCOMPARE(params.count(), 1);
    QCOMPARE(params.at(0).at(0).toInt(), 352);
    QCOMPARE(params.at(0).at(2).toInt(), 2);
    std::unique_ptr<QSettings> after(NewStore());
    QCOMPARE(after->value("Params/Width").toInt(), storedWidthIndex);
}

void TestSettings::cancelledDialogStillStores()
{
    WhenModal<TParamDialog>([](TParamDialog *d) {
        d->FPSSpinBox->setValue(12);
        d->reject();
    });
    QSignalSpy params(Window->YUVReader, SIGNAL(NewPictureParams(int, int, int)));
    Window->OpenFileFromCommandLine(Stream);
    QCOMPARE(params.count(), 0);
    QVERIFY(Window->YUVReader->isFileOpen());
    QCOMPARE(Window->PlayTimer->interval(), 0);

    int shownFps = 0;
    OpenAccepting(Stream, [&](TParamDialog *d) { shownFps = d->FPSSpinBox->value(); });
    QCOMPARE(shownFps, 12);
    std::unique_ptr<QSettings> store(NewStore());
    QCOMPARE(store->value("Params/FPS").toInt(), 12);
    QCOMPARE(store->value("Params/LastFilePath").toString(), Stream);
}

// A relative path is stored as typed, in the store's file where the user's settings live.
void TestSettings::commandLineOpenStoresPath()
{
    const QString typed = QDir::current().relativeFilePath(Stream);
    OpenAccepting(typed);
    Window.reset(); // deleting the window writes the store out
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + "/Tamrel/TamrelYUVPlayer.conf";
    QVERIFY2(QFile::exists(expected), qPrintable(expected));
    QSettings file(expected, QSettings::IniFormat);
    QCOMPARE(file.value("Params/LastFilePath").toString(), typed);
}

// A stored list position past the end leaves a size field empty; such a size never reaches the
// reader, even if the dialog were accepted.
void TestSettings::emptySizeFieldIsRefused()
{
    std::unique_ptr<QSettings> store(NewStore());
    store->setValue("Params/Height", 40);
    store->sync();
    bool okEnabled = true;
    QString warning;
    WhenModal<TParamDialog>([&](TParamDialog *d) {
        okEnabled = d->buttonBox->button(QDialogButtonBox::Ok)->isEnabled();
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            warning = box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        });
        d->accept();
    });
    QSignalSpy params(Window->YUVReader, SIGNAL(NewPictureParams(int, int, int)));
    Window->OpenFileFromCommandLine(Stream);
    QVERIFY(!okEnabled);
    QCOMPARE(warning, QString("Warning"));
    QCOMPARE(params.count(), 0);
    QCOMPARE(Window->PlayTimer->interval(), 0);
}

void TestSettings::storedParams_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("formatIndex");
    QTest::addColumn<int>("interval");
    // Nothing stored: the first run's defaults. A value that is not a number reads as 0, the first
    // entry; a negative or too large position leaves the list without a current entry; the frame
    // rate is clamped to 1..1000 and gives the timer's interval in whole milliseconds.
    const struct
    {
        const char *tag, *key;
        QVariant stored;
        const char *width, *height;
        int fps, formatIndex, interval;
    } rows[] = {{"first-run", "", {}, "176", "144", 30, 0, 33},
        {"width-not-a-number", "Width", "wide", "176", "144", 30, 0, 33},
        {"width-past-list", "Width", 7, "", "144", 30, 0, 33},
        {"height-not-a-number", "Height", "1e3", "176", "144", 30, 0, 33},
        {"height-negative", "Height", -1, "176", "", 30, 0, 33},
        {"fps-not-a-number", "FPS", "fast", "176", "144", 1, 0, 1000},
        {"fps-above-1000", "FPS", 5000, "176", "144", 1000, 0, 1},
        {"fps-25", "FPS", 25, "176", "144", 25, 0, 40},
        {"fps-24", "FPS", 24, "176", "144", 24, 0, 41},
        {"fps-7", "FPS", 7, "176", "144", 7, 0, 142},
        {"format-not-a-number", "YUVFormat", "yuv444", "176", "144", 30, 0, 33},
        {"format-negative", "YUVFormat", -2, "176", "144", 30, -1, 33},
        {"format-past-list", "YUVFormat", 5, "176", "144", 30, -1, 33}};
    for (const auto &r : rows)
        QTest::newRow(r.tag) << QString(r.key) << r.stored << QString(r.width) << QString(r.height)
                             << r.fps << r.formatIndex << r.interval;
}

// Whatever the store holds, the dialog opens with what it can use, OK is offered only with a
// usable size, and the stream can be played; what the dialog held is stored back.
void TestSettings::storedParams()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, fps);
    QFETCH(int, formatIndex);
    QFETCH(int, interval);
    if (!key.isEmpty()) {
        std::unique_ptr<QSettings> store(NewStore());
        store->setValue("Params/" + key, stored);
    }
    QString shownWidth, shownHeight;
    int shownFps = 0, shownFormat = 0;
    bool okEnabled = false;
    OpenAccepting(Stream, [&](TParamDialog *d) {
        shownWidth = d->WidthComboBox->currentText();
        shownHeight = d->HeightComboBox->currentText();
        shownFps = d->FPSSpinBox->value();
        shownFormat = d->comboBox->currentIndex();
        okEnabled = d->buttonBox->button(QDialogButtonBox::Ok)->isEnabled();
        // The user completes an empty size field.
        if (shownWidth.isEmpty())
            d->WidthComboBox->setEditText("176");
        if (shownHeight.isEmpty())
            d->HeightComboBox->setEditText("144");
    });
    QCOMPARE(shownWidth, width);
    QCOMPARE(shownHeight, height);
    QCOMPARE(shownFps, fps);
    QCOMPARE(shownFormat, formatIndex);
    QCOMPARE(okEnabled, !width.isEmpty() && !height.isEmpty());
    // 4:2:0 whatever the format field held: 10 frames.
    QCOMPARE(Window->YUVReader->GetFramesCount(), 10);
    QCOMPARE(Window->FrameNumLabel->text(), QString("0/9"));
    QCOMPARE(Window->PlayTimer->interval(), interval);
    QVERIFY(!Window->PlayTimer->isSingleShot());
    QVERIFY(!Window->PlayTimer->isActive());
    QCOMPARE(Window->windowTitle(), "Tamrel YUV Player - " + Stream);
    std::unique_ptr<QSettings> after(NewStore());
    QCOMPARE(after->value("Params/FPS").toInt(), fps);
    QCOMPARE(after->value("Params/YUVFormat").toInt(), formatIndex);
}

void TestSettings::storedLastPathUnusable_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("number") << QVariant(-1);
    QTest::newRow("missing-folder") << QVariant("/no/such/folder/clip.yuv");
    QTest::newRow("folder-is-a-file") << QVariant("clip.yuv/inside.yuv");
    QTest::newRow("very-long") << QVariant(QString(5000, QLatin1Char('x')) + ".yuv");
    QTest::newRow("list-not-a-path") << QVariant(QStringList {"a.yuv", "b.yuv"});
}

// The open dialog starts wherever it can and the chosen stream opens; the unusable value is
// replaced by the stream's path.
void TestSettings::storedLastPathUnusable()
{
    QFETCH(QVariant, stored);
    if (stored.toString().startsWith("clip.yuv/"))
        stored = Dir.filePath(stored.toString());
    {
        std::unique_ptr<QSettings> store(NewStore());
        store->setValue("Params/LastFilePath", stored);
    }
    bool fileDialogShown = false;
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        fileDialogShown = true;
        d->selectFile(Stream);
        static_cast<QDialog *>(d)->accept();
    });
    WhenModal<TParamDialog>([](TParamDialog *d) { d->accept(); });
    Window->OpenButton->click();
    QVERIFY(fileDialogShown);
    QCOMPARE(Window->windowTitle(), "Tamrel YUV Player - " + Stream);
    QCOMPARE(Window->YUVReader->GetFramesCount(), 10);
    std::unique_ptr<QSettings> after(NewStore());
    QCOMPARE(after->value("Params/LastFilePath").toString(), Stream);
}

// A settings folder that cannot be made (its parent is a regular file): the player still opens,
// shows and plays a stream; the store only reports that it could not write. The settings path is
// fixed at start-up, so this runs in a child process started with such a folder.
void TestSettings::settingsFolderCannotBeCreated()
{
    if (qEnvironmentVariableIsSet("TST_SETTINGS_CHILD")) {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(QFileInfo(QFileInfo(config).path()).isFile());
        OpenAccepting(Stream, [](TParamDialog *d) { d->FPSSpinBox->setValue(100); });
        QCOMPARE(Window->YUVReader->GetFramesCount(), 10);
        QCOMPARE(Window->PlayTimer->interval(), 10);
        Window->PlayButton->click();
        QTRY_VERIFY(!Window->PlayTimer->isActive());
        QCOMPARE(Window->FrameNumLabel->text(), QString("9/9"));
        QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(9));
        Window->Settings->sync();
        QCOMPARE(Window->Settings->status(), QSettings::AccessError);
        // What could not be written is still remembered for the rest of the run.
        int shownFps = 0;
        OpenAccepting(Stream, [&](TParamDialog *d) { shownFps = d->FPSSpinBox->value(); });
        QCOMPARE(shownFps, 100);
        Window.reset();
        QVERIFY(!QFileInfo::exists(config));
        return;
    }
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QVERIFY(blocker.write("settings cannot live under a file\n") > 0);
    blocker.close();
    TRunSetup setup;
    setup.Environment = {"TST_SETTINGS_CHILD=1",
        "XDG_CONFIG_HOME=" + QFile::encodeName(blocker.fileName()) + "/config"};
    const TProgramResult run
        = RunProgram(QFile::encodeName(QCoreApplication::applicationFilePath()),
            {"settingsFolderCannotBeCreated"}, setup);
    const QString output = QString::fromLocal8Bit(run.Out + run.Err);
    QVERIFY2(!run.Crashed && run.ExitCode == 0, qPrintable(output));
    QVERIFY2(output.contains("PASS   : TestSettings::settingsFolderCannotBeCreated()"),
        qPrintable(output));
    QFile again(blocker.fileName());
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("settings cannot live under a file\n"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
