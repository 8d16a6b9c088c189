#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Counts how often a widget is shown.
class TShowCounter : public QObject
{
public:
    explicit TShowCounter(QWidget *w) { w->installEventFilter(this); }
    int Shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        Shows += e->type() == QEvent::Show;
        return false;
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetTree_data();
    void widgetTree();
    void textsAndInitialState();
    void noChildTakesFocus();
    void centredOnScreen();
    void viewShowsLogoBeforeAnyStream();

    void openDuringPlaybackStopsFirst_data();
    void openDuringPlaybackStopsFirst();
    void firstFrameIsFitted();

    void firstRunDefaults();
    void typedSizeReachesReader_data();
    void typedSizeReachesReader();
    void storedFormatOutOfRange();
    void frameRateGivesInterval_data();
    void frameRateGivesInterval();
    void cancelledDialogStillStores();
    void reopeningSameFileRunsWholeFlow();
    void cancelledFileDialogKeepsFileName();
    void settingsButton();
    void missingCommandLinePath();
    void commandLineOpenStoresPath();
    void settingsFileLocation();
    void emptySizeFieldIsRefused();

    void unopenableStreamKeepsSettings_data();
    void unopenableStreamKeepsSettings();
    void openNamesThroughFileDialog_data();
    void openNamesThroughFileDialog();
    void refusedSizeKeepsStream_data();
    void refusedSizeKeepsStream();
    void storedParamsOutOfRange_data();
    void storedParamsOutOfRange();
    void storedLastPathUnusable_data();
    void storedLastPathUnusable();
    void settingsFolderCannotBeCreated();

private:
    // Opens path through the command-line entry, answering the parameters dialog with prepare()
    // and then OK.
    void OpenAccepting(const QString &path, std::function<void(TParamDialog *)> prepare = {});

    QTemporaryDir Dir;
    std::unique_ptr<TMainWindow> Window;
    QString Stream;
};

void TestMainWindow::init()
{
    QTest::failOnWarning(QRegularExpression("QObject::connect"));
    ClearSettings();
    Window = std::make_unique<TMainWindow>();
    Stream = Dir.filePath("clip.yuv");
    QVERIFY(WriteStream(Stream, {176, 144, YUV420}, 10, TPattern::Grey));
}

void TestMainWindow::cleanup()
{
    Window.reset();
}

void TestMainWindow::OpenAccepting(const QString &path, std::function<void(TParamDialog *)> prepare)
{
    WhenModal<TParamDialog>([prepare](TParamDialog *d) {
        if (prepare)
            prepare(d);
        d->accept();
    });
    Window->OpenFileFromCommandLine(path);
}

void TestMainWindow::widgetTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    const QString buttons = "ButtonsWidget", controls = "CheckBoxWidget";
    QTest::newRow("EndButton") << "EndButton"
                               << "QPushButton" << buttons << QRect(586, 0, 92, 30);
    QTest::newRow("PrevButton") << "PrevButton"
                                << "QPushButton" << buttons << QRect(294, 0, 91, 30);
    QTest::newRow("StartButton") << "StartButton"
                                 << "QPushButton" << buttons << QRect(489, 0, 91, 30);
    QTest::newRow("PlayButton") << "PlayButton"
                                << "QPushButton" << buttons << QRect(98, 0, 92, 30);
    QTest::newRow("NextButton") << "NextButton"
                                << "QPushButton" << buttons << QRect(391, 0, 92, 30);
    QTest::newRow("StopButton") << "StopButton"
                                << "QPushButton" << buttons << QRect(196, 0, 92, 30);
    QTest::newRow("OpenButton") << "OpenButton"
                                << "QPushButton" << buttons << QRect(0, 0, 91, 30);
    QTest::newRow("ActualSizeCheckBox") << "ActualSizeCheckBox"
                                        << "QCheckBox" << controls << QRect(0, 0, 100, 30);
    QTest::newRow("YCheckBox") << "YCheckBox"
                               << "QCheckBox" << controls << QRect(450, 4, 40, 26);
    QTest::newRow("UCheckBox") << "UCheckBox"
                               << "QCheckBox" << controls << QRect(490, 4, 40, 26);
    QTest::newRow("VCheckBox") << "VCheckBox"
                               << "QCheckBox" << controls << QRect(530, 4, 40, 26);
    QTest::newRow("FrameNumLabel") << "FrameNumLabel"
                                   << "TActiveLabel" << controls << QRect(245, 0, 100, 30);
    QTest::newRow("SettingsButton") << "SettingsButton"
                                    << "QPushButton" << controls << QRect(580, 0, 30, 32);
    QTest::newRow("SaveToBMPButton") << "SaveToBMPButton"
                                     << "QPushButton" << controls << QRect(615, 0, 30, 32);
    QTest::newRow("HelpButton") << "HelpButton"
                                << "QPushButton" << controls << QRect(650, 0, 30, 32);
    QTest::newRow("Screen") << "Screen"
                            << "TOGLWidget"
                            << "centralwidget" << QRect();
    QTest::newRow("horizontalSlider") << "horizontalSlider"
                                      << "QSlider"
                                      << "centralwidget" << QRect();
    QTest::newRow("ButtonsWidget") << "ButtonsWidget"
                                   << "QWidget"
                                   << "centralwidget" << QRect();
    QTest::newRow("CheckBoxWidget") << "CheckBoxWidget"
                                    << "QWidget"
                                    << "centralwidget" << QRect();
}

void TestMainWindow::widgetTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    auto *w = Window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    if (!geometry.isNull())
        QCOMPARE(w->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(w)) {
        QVERIFY(!button->icon().isNull());
        QVERIFY(button->text().isEmpty());
    }
}

void TestMainWindow::textsAndInitialState()
{
    TMainWindow &w = *Window;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Tamrel YUV Player"));
    QCOMPARE(w.size(), QSize(710, 600));
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.YCheckBox->text(), QString("Y"));
    QCOMPARE(w.UCheckBox->text(), QString("U"));
    QCOMPARE(w.VCheckBox->text(), QString("V"));
    QCOMPARE(w.ActualSizeCheckBox->text(), QString("Actual size"));
    QCOMPARE(w.FrameNumLabel->text(), QString("0/0"));
    QCOMPARE(w.FrameNumLabel->alignment(), Qt::AlignCenter);
    for (QCheckBox *box : {w.YCheckBox, w.UCheckBox, w.VCheckBox, w.ActualSizeCheckBox})
        QVERIFY(!box->isChecked());
    QCOMPARE(w.horizontalSlider->minimum(), 0);
    QCOMPARE(w.horizontalSlider->maximum(), 99);
    QCOMPARE(w.horizontalSlider->value(), 0);
    QCOMPARE(w.horizontalSlider->orientation(), Qt::Horizontal);
    QCOMPARE(w.horizontalSlider->maximumWidth(), 680);
    QCOMPARE(w.Screen->minimumHeight(), 380);
    QCOMPARE(w.Screen->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(w.Screen->sizePolicy().horizontalStretch(), 1);
    QCOMPARE(w.verticalLayout->spacing(), 2);
    QCOMPARE(w.gridLayout->verticalSpacing(), 1);
    QVERIFY(!w.PlayTimer->isActive());
    QCOMPARE(w.PlayTimer->interval(), 0);
    QVERIFY(!w.YUVReader->isFileOpen());
    QVERIFY(w.FileName.isEmpty());
    QVERIFY(!w.menuWidget());
}

void TestMainWindow::noChildTakesFocus()
{
    const auto children = Window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (child->window() != Window.get())
            continue; // the dialogs are windows of their own
        QVERIFY2(child->focusPolicy() == Qt::NoFocus, qPrintable(child->objectName()));
    }
}

void TestMainWindow::centredOnScreen()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(Window->pos(), available.center() - QPoint(354, 299));
}

void TestMainWindow::viewShowsLogoBeforeAnyStream()
{
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    const QImage shot = Window->Screen->grabFramebuffer();
    const QPoint centre(shot.width() / 2, shot.height() / 2);
    QVERIFY(shot.pixel(centre) != qRgb(0, 0, 0)); // the logo, centred on black
    QCOMPARE(shot.pixel(2, 2), qRgb(0, 0, 0));
}

void TestMainWindow::openDuringPlaybackStopsFirst_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("open") << "OpenButton";
    QTest::newRow("settings") << "SettingsButton";
}

void TestMainWindow::openDuringPlaybackStopsFirst()
{
    QFETCH(QString, button);
    OpenAccepting(Stream);
    Window->PlayButton->click();
    QVERIFY(Window->PlayTimer->isActive());
    bool activeWhileDialogShown = true;
    bool playEnabled = false;
    auto check = [&](QDialog *d) {
        activeWhileDialogShown = Window->PlayTimer->isActive();
        playEnabled = Window->PlayButton->isEnabled();
        d->reject();
    };
    if (button == "OpenButton")
        WhenModal<QFileDialog>(check);
    else
        WhenModal<TParamDialog>(check);
    Window->findChild<QPushButton *>(button)->click();
    QVERIFY(!activeWhileDialogShown);
    QVERIFY(playEnabled);
}

void TestMainWindow::firstFrameIsFitted()
{
    // A 4:4:4 frame that is red on its top row and grey below it, in a view much larger than the
    // picture: fitted, the red band must stand at the top of the drawn area and the picture span
    // the view's height.
    const QString path = Dir.filePath("fit.yuv");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray y(64 * 48, char(128)), u(64 * 48, char(128)), v(64 * 48, char(128));
        for (int x = 0; x < 64; ++x) {
            y[x] = char(81);
            u[x] = char(90);
            v[x] = char(240);
        }
        f.write(y + u + v);
    }
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    OpenAccepting(path, [](TParamDialog *d) {
        d->WidthComboBox->setEditText("64");
        d->HeightComboBox->setEditText("48");
        d->comboBox->setCurrentIndex(2);
    });
    const QImage shot = Window->Screen->grabFramebuffer();
    const int midX = shot.width() / 2;
    QCOMPARE(shot.pixel(midX, 1), qRgb(238, 13, 13));
    QCOMPARE(shot.pixel(midX, shot.height() - 2), qRgb(128, 128, 128));
}

void TestMainWindow::firstRunDefaults()
{
    QString width, height, format;
    int fps = 0;
    OpenAccepting(Stream, [&](TParamDialog *d) {
        width = d->WidthComboBox->currentText();
        height = d->HeightComboBox->currentText();
        format = d->comboBox->currentText();
        fps = d->FPSSpinBox->value();
    });
    QCOMPARE(width, QString("176"));
    QCOMPARE(height, QString("144"));
    QCOMPARE(format, QString("YUV 420"));
    QCOMPARE(fps, 30);
    QCOMPARE(Window->YUVReader->GetFramesCount(), 10);
    QCOMPARE(Window->PlayTimer->interval(), 33);
    QVERIFY(!Window->PlayTimer->isSingleShot());
    QVERIFY(!Window->PlayTimer->isActive());
    QCOMPARE(Window->windowTitle(), "Tamrel YUV Player - " + Stream);
}

void TestMainWindow::typedSizeReachesReader_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("storedWidthIndex");
    QTest::newRow("confirmed-with-enter") << true << 0;
    QTest::newRow("typed-only") << false << 2;
}

// The reader gets the typed width either way; the store keeps the list position, which for an
// entry confirmed with Enter is the top of the list, and otherwise the entry current before.
void TestMainWindow::typedSizeReachesReader()
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

void TestMainWindow::storedFormatOutOfRange()
{
    std::unique_ptr<QSettings> store(NewStore());
    store->setValue("Params/YUVFormat", 5);
    store->sync();
    int shownIndex = 0;
    OpenAccepting(Stream, [&](TParamDialog *d) { shownIndex = d->comboBox->currentIndex(); });
    QCOMPARE(shownIndex, -1);
    // 10 frames of 4:2:0 count as 10 only in that layout.
    QCOMPARE(Window->YUVReader->GetFramesCount(), 10);
}

void TestMainWindow::frameRateGivesInterval_data()
{
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("interval");
    QTest::newRow("fps-1000") << 1000 << 1;
    QTest::newRow("fps-25") << 25 << 40;
    QTest::newRow("fps-24") << 24 << 41;
    QTest::newRow("fps-7") << 7 << 142;
    QTest::newRow("fps-1") << 1 << 1000;
}

void TestMainWindow::frameRateGivesInterval()
{
    QFETCH(int, fps);
    QFETCH(int, interval);
    OpenAccepting(Stream, [fps](TParamDialog *d) { d->FPSSpinBox->setValue(fps); });
    QCOMPARE(Window->PlayTimer->interval(), interval);
}

void TestMainWindow::cancelledDialogStillStores()
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

void TestMainWindow::reopeningSameFileRunsWholeFlow()
{
    OpenAccepting(Stream);
    Window->EndButton->click();
    QCOMPARE(Window->horizontalSlider->value(), 9);

    QSignalSpy params(Window->YUVReader, SIGNAL(NewPictureParams(int, int, int)));
    bool dialogShown = false;
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        d->selectFile(Stream);
        static_cast<QDialog *>(d)->accept();
    });
    WhenModal<TParamDialog>([&](TParamDialog *d) {
        dialogShown = true;
        d->accept();
    });
    Window->OpenButton->click();
    QVERIFY(dialogShown);
    QCOMPARE(params.count(), 1);
    QCOMPARE(Window->horizontalSlider->value(), 0);
    QCOMPARE(Window->FileName, Stream);
}

void TestMainWindow::cancelledFileDialogKeepsFileName()
{
    OpenAccepting(Stream);
    QString startPath;
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        startPath = d->selectedFiles().value(0);
        d->reject();
    });
    Window->OpenButton->click();
    QCOMPARE(startPath, Stream); // the dialog starts at the last path
    QCOMPARE(Window->FileName, Stream);
    QVERIFY(Window->YUVReader->isFileOpen());
    QCOMPARE(Window->windowTitle(), "Tamrel YUV Player - " + Stream);
}

void TestMainWindow::settingsButton()
{
    // No stream: no dialog at all (a dialog would hang this call).
    Window->SettingsButton->click();
    QVERIFY(!QApplication::activeModalWidget());

    OpenAccepting(Stream);
    Window->UCheckBox->setChecked(false);
    std::unique_ptr<QSettings> before(NewStore());
    const QVariant storedFps = before->value("Params/FPS");
    WhenModal<TParamDialog>([](TParamDialog *d) {
        d->FPSSpinBox->setValue(50);
        d->comboBox->setCurrentIndex(2); // 4:4:4 frames are twice as large
        d->accept();
    });
    Window->SettingsButton->click();
    QCOMPARE(Window->PlayTimer->interval(), 20);
    QCOMPARE(Window->YUVReader->GetFramesCount(), 5);
    QVERIFY(Window->UCheckBox->isChecked());
    std::unique_ptr<QSettings> after(NewStore());
    QCOMPARE(after->value("Params/FPS"), storedFps); // the Settings button stores nothing
}

void TestMainWindow::missingCommandLinePath()
{
    QString title, text;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    Window->OpenFileFromCommandLine(Dir.filePath("missing.yuv"));
    QCOMPARE(title, QString("Error"));
    QCOMPARE(text, QString("Error opening file."));
    QVERIFY(!Window->YUVReader->isFileOpen());
    QCOMPARE(Window->windowTitle(), QString("Tamrel YUV Player"));
}

void TestMainWindow::commandLineOpenStoresPath()
{
    // A relative path is stored as typed.
    const QString typed = QDir::current().relativeFilePath(Stream);
    OpenAccepting(typed);
    std::unique_ptr<QSettings> store(NewStore());
    QCOMPARE(store->value("Params/LastFilePath").toString(), typed);
}

void TestMainWindow::settingsFileLocation()
{
    OpenAccepting(Stream);
    Window.reset(); // deleting the window writes the store out
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + "/Tamrel/TamrelYUVPlayer.conf";
    QVERIFY2(QFile::exists(expected), qPrintable(expected));
    QSettings file(expected, QSettings::IniFormat);
    QCOMPARE(file.value("Params/LastFilePath").toString(), Stream);
}

// A stored list position past the end leaves a size field empty; such a size never reaches the
// reader, even if the dialog were accepted.
void TestMainWindow::emptySizeFieldIsRefused()
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

void TestMainWindow::unopenableStreamKeepsSettings_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
}

// A name that cannot be played is refused with the error box before anything else happens: the
// stored parameters and the last path are not touched, and the title still names the stream
// opened before. (A missing name: missingCommandLinePath.)
void TestMainWindow::unopenableStreamKeepsSettings()
{
    QFETCH(QString, kind);
    OpenAccepting(Stream, [](TParamDialog *d) { d->FPSSpinBox->setValue(25); });
    const QString bad = Dir.filePath("bad-" + kind);
    if (kind == "folder")
        QVERIFY(QDir().mkpath(bad));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0600), 0);

    QString error;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        error = box->windowTitle() + ": " + box->text();
        box->button(QMessageBox::Ok)->click();
    });
    TShowCounter dialogShows(Window->ParamDialog);
    Window->OpenFileFromCommandLine(bad);
    QCOMPARE(error, QString("Error: Error opening file."));
    QCOMPARE(dialogShows.Shows, 0);
    QCOMPARE(Window->windowTitle(), "Tamrel YUV Player - " + Stream);
    std::unique_ptr<QSettings> store(NewStore());
    QCOMPARE(store->value("Params/LastFilePath").toString(), Stream);
    QCOMPARE(store->value("Params/FPS").toInt(), 25);
}

void TestMainWindow::openNamesThroughFileDialog_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << QStringLiteral("my clips/first take 01.yuv");
    QTest::newRow("cyrillic") << QStringLiteral("Видео/кадры 720.yuv");
    QTest::newRow("cjk") << QStringLiteral("動画/视频帧 テスト.yuv");
}

// Names the user picks in the open dialog reach the file, the title and the settings unchanged,
// and the next open dialog starts at them again.
void TestMainWindow::openNamesThroughFileDialog()
{
    QFETCH(QString, name);
    const QString path = Dir.filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(WriteStream(path, {176, 144, YUV420}, 4, TPattern::Grey));
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        d->selectFile(path);
        static_cast<QDialog *>(d)->accept();
    });
    WhenModal<TParamDialog>([](TParamDialog *d) { d->accept(); });
    Window->OpenButton->click();
    QCOMPARE(Window->windowTitle(), "Tamrel YUV Player - " + path);
    QCOMPARE(Window->FileName, path);
    QCOMPARE(Window->YUVReader->GetFramesCount(), 4);
    QCOMPARE(int(Window->YUVReader->GetRGBBuffer()[0]), FrameLuma(0));

    Window.reset(); // writes the store out
    std::unique_ptr<QSettings> store(NewStore());
    QCOMPARE(store->value("Params/LastFilePath").toString(), path);
    Window = std::make_unique<TMainWindow>();
    QString startPath;
    WhenModal<QFileDialog>([&](QFileDialog *d) {
        startPath = d->selectedFiles().value(0);
        d->reject();
    });
    Window->OpenButton->click();
    QCOMPARE(startPath, path);
}

void TestMainWindow::refusedSizeKeepsStream_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::newRow("width-zero") << "0"
                                << "144";
    QTest::newRow("height-zero") << "176"
                                 << "0";
    QTest::newRow("width-letters") << "abc"
                                   << "144";
    QTest::newRow("width-above-1920") << "1921"
                                      << "144";
    QTest::newRow("height-above-1080") << "176"
                                       << "1081";
    QTest::newRow("width-past-int") << "99999999999"
                                    << "144";
    QTest::newRow("both-negative") << "-176"
                                   << "-144";
}

// Sizes that reach the window although the dialog would not let them through (set here without
// the validators): the warning names them and the limits, and the stream on screen stays as it
// was, with its frame count, position, picture and frame rate.
void TestMainWindow::refusedSizeKeepsStream()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    OpenAccepting(Stream, [](TParamDialog *d) { d->FPSSpinBox->setValue(25); });
    Window->horizontalSlider->setValue(6);
    QSignalSpy params(Window->YUVReader, SIGNAL(NewPictureParams(int, int, int)));
    QString warning;
    WhenModal<TParamDialog>([&](TParamDialog *d) {
        d->WidthComboBox->setEditText(width);
        d->HeightComboBox->setEditText(height);
        d->FPSSpinBox->setValue(50);
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            warning = box->windowTitle() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        });
        d->accept();
    });
    Window->SettingsButton->click();
    QCOMPARE(warning,
        QString("Warning: Invalid picture size \"%1\" x \"%2\": the width must be 1 to 1920 and "
                "the height 1 to 1080.")
            .arg(width, height));
    QCOMPARE(params.count(), 0);
    QCOMPARE(Window->YUVReader->GetFramesCount(), 10);
    QCOMPARE(Window->horizontalSlider->value(), 6);
    QCOMPARE(Window->FrameNumLabel->text(), QString("6/9"));
    QCOMPARE(int(Window->Screen->GetPic()[0]), FrameLuma(6));
    QCOMPARE(Window->PlayTimer->interval(), 40);
}

void TestMainWindow::storedParamsOutOfRange_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("formatIndex");
    // A value that is not a number reads as 0, the first entry; a negative or too large position
    // leaves the list without a current entry; the frame rate is clamped to 1..1000.
    QTest::newRow("width-not-a-number") << "Params/Width" << QVariant("wide") << "176"
                                        << "144" << 30 << 0;
    QTest::newRow("width-negative") << "Params/Width" << QVariant(-3) << ""
                                    << "144" << 30 << 0;
    QTest::newRow("width-past-list") << "Params/Width" << QVariant(7) << ""
                                     << "144" << 30 << 0;
    QTest::newRow("height-not-a-number") << "Params/Height" << QVariant("1e3") << "176"
                                         << "144" << 30 << 0;
    QTest::newRow("height-negative") << "Params/Height" << QVariant(-1) << "176"
                                     << "" << 30 << 0;
    QTest::newRow("fps-not-a-number") << "Params/FPS" << QVariant("fast") << "176"
                                      << "144" << 1 << 0;
    QTest::newRow("fps-negative") << "Params/FPS" << QVariant(-25) << "176"
                                  << "144" << 1 << 0;
    QTest::newRow("fps-above-1000") << "Params/FPS" << QVariant(5000) << "176"
                                    << "144" << 1000 << 0;
    QTest::newRow("format-not-a-number") << "Params/YUVFormat" << QVariant("yuv444") << "176"
                                         << "144" << 30 << 0;
    QTest::newRow("format-negative") << "Params/YUVFormat" << QVariant(-2) << "176"
                                     << "144" << 30 << -1;
}

// Whatever the store holds, the dialog opens with what it can use, OK is offered only with a
// usable size, and the stream can be played; what the dialog held is stored back.
void TestMainWindow::storedParamsOutOfRange()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, fps);
    QFETCH(int, formatIndex);
    {
        std::unique_ptr<QSettings> store(NewStore());
        store->setValue(key, stored);
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
    QCOMPARE(Window->PlayTimer->interval(), 1000 / fps);
    std::unique_ptr<QSettings> after(NewStore());
    QCOMPARE(after->value("Params/FPS").toInt(), fps);
    QCOMPARE(after->value("Params/YUVFormat").toInt(), formatIndex);
}

void TestMainWindow::storedLastPathUnusable_data()
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
void TestMainWindow::storedLastPathUnusable()
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
void TestMainWindow::settingsFolderCannotBeCreated()
{
    if (qEnvironmentVariableIsSet("TST_MAINWINDOW_SETTINGS_CHILD")) {
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TST_MAINWINDOW_SETTINGS_CHILD", "1");
    env.insert("XDG_CONFIG_HOME", blocker.fileName() + "/config");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"settingsFolderCannotBeCreated"});
    QVERIFY(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(
        child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains("PASS   : TestMainWindow::settingsFolderCannotBeCreated()"),
        qPrintable(output));
    QFile again(blocker.fileName());
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("settings cannot live under a file\n"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
