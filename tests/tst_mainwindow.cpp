#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
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

class TestMainWindow : public QObject, TWindowFixture
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

    void reopeningSameFileRunsWholeFlow();
    void cancelledFileDialogKeepsFileName();
    void settingsButton();

    void unopenableStreamKeepsSettings_data();
    void unopenableStreamKeepsSettings();
    void openNamesThroughFileDialog_data();
    void openNamesThroughFileDialog();
    void refusedSizeKeepsStream_data();
    void refusedSizeKeepsStream();
    void dropOpensLocalFile_data();
    void dropOpensLocalFile();
};

void TestMainWindow::init()
{
    NewWindowAndStream();
}

void TestMainWindow::cleanup()
{
    Window.reset();
}

void TestMainWindow::widgetTree_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("accessibleName"); // and no widget has a tool tip
    const char *const buttons = "ButtonsWidget", *const controls = "CheckBoxWidget",
                      *const central = "centralwidget";
    const struct
    {
        const char *name, *className, *parent;
        QRect geometry; // null: laid out, not placed
        const char *accessibleName;
    } rows[] = {{"EndButton", "QPushButton", buttons, {586, 0, 92, 30}, "Last frame"},
        {"PrevButton", "QPushButton", buttons, {294, 0, 91, 30}, "Previous frame"},
        {"StartButton", "QPushButton", buttons, {489, 0, 91, 30}, "First frame"},
        {"PlayButton", "QPushButton", buttons, {98, 0, 92, 30}, "Play"},
        {"NextButton", "QPushButton", buttons, {391, 0, 92, 30}, "Next frame"},
        {"StopButton", "QPushButton", buttons, {196, 0, 92, 30}, "Stop"},
        {"OpenButton", "QPushButton", buttons, {0, 0, 91, 30}, "Open"},
        {"ActualSizeCheckBox", "QCheckBox", controls, {0, 0, 100, 30}, ""},
        {"YCheckBox", "QCheckBox", controls, {450, 4, 40, 26}, ""},
        {"UCheckBox", "QCheckBox", controls, {490, 4, 40, 26}, ""},
        {"VCheckBox", "QCheckBox", controls, {530, 4, 40, 26}, ""},
        {"FrameNumLabel", "TActiveLabel", controls, {245, 0, 100, 30}, ""},
        {"SettingsButton", "QPushButton", controls, {580, 0, 30, 32}, "Stream parameters"},
        {"SaveToBMPButton", "QPushButton", controls, {615, 0, 30, 32}, "Save frame"},
        {"HelpButton", "QPushButton", controls, {650, 0, 30, 32}, "Help"},
        {"Screen", "TOGLWidget", central, {}, ""}, {"horizontalSlider", "QSlider", central, {}, ""},
        {"ButtonsWidget", "QWidget", central, {}, ""},
        {"CheckBoxWidget", "QWidget", central, {}, ""}};
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString(row.className) << QString(row.parent) << row.geometry
                                << QString(row.accessibleName);
}

void TestMainWindow::widgetTree()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, accessibleName);
    auto *w = Window->findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    if (!geometry.isNull())
        QCOMPARE(w->geometry(), geometry);
    QCOMPARE(w->accessibleName(), accessibleName);
    QVERIFY(w->toolTip().isEmpty());
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

void TestMainWindow::unopenableStreamKeepsSettings_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
}

// A name that cannot be played is refused with the error box before anything else happens: the
// stored parameters and the last path are not touched, and the title still names the stream
// opened before.
void TestMainWindow::unopenableStreamKeepsSettings()
{
    QFETCH(QString, kind);
    OpenAccepting(Stream, [](TParamDialog *d) { d->FPSSpinBox->setValue(25); });
    const QString bad = Dir.filePath("bad-" + kind);
    if (kind == "folder")
        QVERIFY(QDir().mkpath(bad));
    else if (kind == "fifo")
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
    const char *const rows[][3]
        = {{"width-zero", "0", "144"}, {"height-zero", "176", "0"}, {"width-letters", "abc", "144"},
            {"width-above-1920", "1921", "144"}, {"height-above-1080", "176", "1081"},
            {"width-past-int", "99999999999", "144"}, {"both-negative", "-176", "-144"}};
    for (const auto &[tag, width, height] : rows)
        QTest::newRow(tag) << QString(width) << QString(height);
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

void TestMainWindow::dropOpensLocalFile_data()
{
    QTest::addColumn<QString>("uris"); // text/uri-list, "@" standing for the test's folder
    QTest::addColumn<QString>("text"); // plain text the drag carries as well
    QTest::addColumn<QString>("opened"); // the path the open flow gets; empty: the drag is refused
    QTest::addColumn<QString>("shown"); // what the flow showed (see ModalDuring)
    QTest::addColumn<bool>("closes"); // the window is closed before the drop returns to the loop
    const char *const file = "file://@/dropped.yuv", *const params = "TParamDialog";
    const char *const rows[][5] = {{"one-local-file", file, "", "@/dropped.yuv", params},
        {"first-local-of-several",
            "http://example.com/a.yuv file://@/dropped.yuv file://@/clip.yuv", "", "@/dropped.yuv",
            params},
        {"web-address", "http://example.com/a.yuv", "", "", ""},
        {"plain-text", "", "@/dropped.yuv", "", ""},
        {"folder", "file://@/folder", "", "@/folder", "Error: Error opening file."}};
    for (const auto &[tag, uris, text, opened, shown] : rows)
        QTest::newRow(tag) << QString(uris) << QString(text) << QString(opened) << QString(shown)
                           << false;
    QTest::newRow("closed-after-drop")
        << QString(file) << QString() << QString() << QString() << true;
}

// A drag that carries a local file is accepted; dropped, the file goes through the command-line
// open flow after playback has stopped, as with the Open button. Anything else is refused when the
// drag enters and changes nothing. No widget takes the focus.
void TestMainWindow::dropOpensLocalFile()
{
    QFETCH(QString, uris);
    QFETCH(QString, text);
    QFETCH(QString, opened);
    QFETCH(QString, shown);
    QFETCH(bool, closes);
    const QString root = Dir.path();
    QVERIFY(!MakeStream("dropped.yuv", {176, 144, YUV420}, 4).isEmpty());
    QVERIFY(QDir(root).mkpath("folder"));
    OpenAccepting(Stream, [](TParamDialog *d) { d->FPSSpinBox->setValue(1); });
    Window->PlayButton->click();

    QMimeData data;
    QList<QUrl> urls;
    for (const QString &uri : uris.split(' ', Qt::SkipEmptyParts))
        urls << QUrl(QString(uri).replace('@', root));
    data.setUrls(urls);
    data.setText(QString(text).replace('@', root));
    QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window.get(), &enter);
    QCOMPARE(enter.isAccepted(), !opened.isEmpty() || closes);
    const QString said = ModalDuring([&] {
        QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window.get(), &drop);
        if (closes)
            Window->close();
        QCoreApplication::processEvents(); // the flow runs once the drop has returned
    });
    QCOMPARE(said, shown);
    QCOMPARE(Window->PlayTimer->isActive(), opened.isEmpty());
    QCOMPARE(Window->FileName, opened.isEmpty() ? Stream : QString(opened).replace('@', root));
    QVERIFY(!Window->focusWidget());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
