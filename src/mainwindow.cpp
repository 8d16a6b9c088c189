#include "mainwindow.h"

#include "BmpWriter.h"
#include "OpenGLWidget.h"
#include "SnapshotName.h"
#include "TParamDialog.h"
#include "TYUVReader.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const char *const KeyWidth = "Params/Width";
const char *const KeyHeight = "Params/Height";
const char *const KeyFPS = "Params/FPS";
const char *const KeyFormat = "Params/YUVFormat";
const char *const KeyLastFilePath = "Params/LastFilePath";

QIcon IconFromResource(const QString &path)
{
    QIcon icon;
    icon.addPixmap(QPixmap(path), QIcon::Normal, QIcon::Off);
    return icon;
}

QPushButton *MakeIconButton(
    QWidget *parent, const char *name, const QRect &geometry, const QString &iconPath)
{
    const QIcon icon = IconFromResource(iconPath);
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setIcon(icon);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QCheckBox *MakeCheckBox(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *box = new QCheckBox(parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

// Moves the slider by step frames. The sum is formed in 64 bits: a stream of one-byte frames can
// count close to INT_MAX frames, and its last index plus a step would overflow an int.
void StepSlider(QSlider *slider, qint64 step)
{
    slider->setValue(static_cast<int>(
        std::clamp<qint64>(slider->value() + step, slider->minimum(), slider->maximum())));
}

TYUVFormat FormatFromListIndex(int index)
{
    switch (index) {
    case 1:
        return YUV422;
    case 2:
        return YUV444;
    default:
        return YUV420;
    }
}

} // namespace

TActiveLabel::TActiveLabel(QWidget *parent)
    : QLabel(parent)
{ }

void TActiveLabel::mouseReleaseEvent(QMouseEvent *e)
{
    // The label holds the mouse grab from the press, so a release outside it still lands here.
    const QPoint global = e->globalPosition().toPoint();
    emit Clicked(global.x(), global.y());
}

TMainWindow::TMainWindow(QWidget *parent)
    : QMainWindow(parent)
    , UrlOpener(QDesktopServices::openUrl)
{
    if (objectName().isEmpty())
        setObjectName("MainWindow");
    resize(710, 600);
    setWindowIcon(IconFromResource(":/Img/T.ico"));

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    BuildWidgets();
    retranslateUi();
    setAcceptDrops(true);

    PlayTimer = new QTimer(parent);
    // A coarse timer may stretch every interval by up to 5 %, which turns 25 frames per second
    // into 24.
    PlayTimer->setTimerType(Qt::PreciseTimer);
    YUVReader = new TYUVReader();
    ParamDialog = new TParamDialog(this);
    GotoDialog = new TGotoDialog(this);
    Settings
        = new QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tamrel", "TamrelYUVPlayer");

    MakeConnections();
    QMetaObject::connectSlotsByName(this);
}

TMainWindow::~TMainWindow()
{
    delete Screen;
    delete YUVReader;
    // Deleting the store writes out pending changes now rather than at process exit.
    delete Settings;
    if (!PlayTimer->parent())
        delete PlayTimer;
}

void TMainWindow::BuildWidgets()
{
    centralwidget = new QWidget(this);
    centralwidget->setObjectName("centralwidget");
    centralwidget->setFocusPolicy(Qt::NoFocus);

    verticalLayout = new QVBoxLayout(centralwidget);
    verticalLayout->setSpacing(2);
    verticalLayout->setObjectName("verticalLayout");

    Screen = new TOGLWidget(centralwidget);
    Screen->setObjectName("Screen");
    Screen->setMinimumHeight(380);
    QSizePolicy screenPolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    screenPolicy.setHorizontalStretch(1);
    screenPolicy.setVerticalStretch(0);
    screenPolicy.setHeightForWidth(Screen->sizePolicy().hasHeightForWidth());
    Screen->setSizePolicy(screenPolicy);
    Screen->setFocusPolicy(Qt::NoFocus);

    gridLayout = new QGridLayout();
    gridLayout->setVerticalSpacing(1);
    gridLayout->setObjectName("gridLayout");

    ButtonsWidget = new QWidget(centralwidget);
    ButtonsWidget->setObjectName("ButtonsWidget");
    ButtonsWidget->setMinimumSize(0, 30);
    ButtonsWidget->setFocusPolicy(Qt::NoFocus);
    EndButton = MakeIconButton(ButtonsWidget, "EndButton", {586, 0, 92, 30}, ":/Img/MediaEnd.png");
    PrevButton
        = MakeIconButton(ButtonsWidget, "PrevButton", {294, 0, 91, 30}, ":/Img/MediaPrev.png");
    StartButton
        = MakeIconButton(ButtonsWidget, "StartButton", {489, 0, 91, 30}, ":/Img/MediaStart.png");
    PlayButton
        = MakeIconButton(ButtonsWidget, "PlayButton", {98, 0, 92, 30}, ":/Img/MediaPlay.png");
    NextButton
        = MakeIconButton(ButtonsWidget, "NextButton", {391, 0, 92, 30}, ":/Img/MediaNext.png");
    StopButton
        = MakeIconButton(ButtonsWidget, "StopButton", {196, 0, 92, 30}, ":/Img/MediaStop.png");
    OpenButton = MakeIconButton(ButtonsWidget, "OpenButton", {0, 0, 91, 30}, ":/Img/MediaOpen.png");

    CheckBoxWidget = new QWidget(centralwidget);
    CheckBoxWidget->setObjectName("CheckBoxWidget");
    CheckBoxWidget->setMinimumSize(690, 32);
    CheckBoxWidget->setFocusPolicy(Qt::NoFocus);
    ActualSizeCheckBox = MakeCheckBox(CheckBoxWidget, "ActualSizeCheckBox", {0, 0, 100, 30});
    YCheckBox = MakeCheckBox(CheckBoxWidget, "YCheckBox", {450, 4, 40, 26});
    UCheckBox = MakeCheckBox(CheckBoxWidget, "UCheckBox", {490, 4, 40, 26});
    VCheckBox = MakeCheckBox(CheckBoxWidget, "VCheckBox", {530, 4, 40, 26});
    FrameNumLabel = new TActiveLabel(CheckBoxWidget);
    FrameNumLabel->setObjectName("FrameNumLabel");
    FrameNumLabel->setGeometry(245, 0, 100, 30);
    FrameNumLabel->setFrameShape(QFrame::NoFrame);
    FrameNumLabel->setAlignment(Qt::AlignCenter);
    FrameNumLabel->setFocusPolicy(Qt::NoFocus);
    SettingsButton
        = MakeIconButton(CheckBoxWidget, "SettingsButton", {580, 0, 30, 32}, ":/Img/Tools.png");
    SaveToBMPButton
        = MakeIconButton(CheckBoxWidget, "SaveToBMPButton", {615, 0, 30, 32}, ":/Img/SaveBmp.png");
    HelpButton = MakeIconButton(CheckBoxWidget, "HelpButton", {650, 0, 30, 32}, ":/Img/Help.png");

    horizontalSlider = new QSlider(centralwidget);
    horizontalSlider->setObjectName("horizontalSlider");
    horizontalSlider->setOrientation(Qt::Horizontal);
    QSizePolicy sliderPolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sliderPolicy.setHorizontalStretch(0);
    sliderPolicy.setVerticalStretch(0);
    sliderPolicy.setHeightForWidth(horizontalSlider->sizePolicy().hasHeightForWidth());
    horizontalSlider->setSizePolicy(sliderPolicy);
    horizontalSlider->setMaximumSize(680, QWIDGETSIZE_MAX);
    horizontalSlider->setFocusPolicy(Qt::NoFocus);

    verticalLayout->addWidget(Screen);
    gridLayout->addWidget(ButtonsWidget, 3, 0, 1, 1);
    gridLayout->addWidget(CheckBoxWidget, 0, 0, 1, 1);
    gridLayout->addWidget(horizontalSlider, 1, 0, 1, 1);
    verticalLayout->addLayout(gridLayout);

    setCentralWidget(centralwidget);
}

void TMainWindow::retranslateUi()
{
    setWindowTitle(QCoreApplication::translate("Tamrel YUV Player", "Tamrel YUV Player"));
    YCheckBox->setText(QCoreApplication::translate("MainWindow", "Y"));
    ActualSizeCheckBox->setText(QCoreApplication::translate("MainWindow", "Actual size"));
    VCheckBox->setText(QCoreApplication::translate("MainWindow", "V"));
    UCheckBox->setText(QCoreApplication::translate("MainWindow", "U"));
    FrameNumLabel->setText(QCoreApplication::translate("MainWindow", "0/0"));
    SettingsButton->setText(QString());
    HelpButton->setText(QString());
    SaveToBMPButton->setText(QString());
    SetAccessibleNames();
}

// The buttons show only icons; their accessible names are what a screen reader says for them.
// No widget gets a tool tip.
void TMainWindow::SetAccessibleNames()
{
    const std::pair<QWidget *, const char *> names[]
        = {{OpenButton, QT_TRANSLATE_NOOP("MainWindow", "Open")},
            {PlayButton, QT_TRANSLATE_NOOP("MainWindow", "Play")},
            {StopButton, QT_TRANSLATE_NOOP("MainWindow", "Stop")},
            {PrevButton, QT_TRANSLATE_NOOP("MainWindow", "Previous frame")},
            {NextButton, QT_TRANSLATE_NOOP("MainWindow", "Next frame")},
            {StartButton, QT_TRANSLATE_NOOP("MainWindow", "First frame")},
            {EndButton, QT_TRANSLATE_NOOP("MainWindow", "Last frame")},
            {SettingsButton, QT_TRANSLATE_NOOP("MainWindow", "Stream parameters")},
            {SaveToBMPButton, QT_TRANSLATE_NOOP("MainWindow", "Save frame")},
            {HelpButton, QT_TRANSLATE_NOOP("MainWindow", "Help")}};
    for (const auto &[widget, name] : names)
        widget->setAccessibleName(QCoreApplication::translate("MainWindow", name));
}

void TMainWindow::MakeConnections()
{
    // The order matters where one signal has several receivers: they run in connection order.
    connect(YUVReader, SIGNAL(NewFrameReady(unsigned char *, int)), Screen,
        SLOT(DrawFrame(unsigned char *)));
    connect(YUVReader, SIGNAL(NewFrameNumber(int)), horizontalSlider, SLOT(setValue(int)));
    connect(horizontalSlider, SIGNAL(valueChanged(int)), YUVReader, SLOT(GotoPos(int)));
    connect(
        YUVReader, SIGNAL(NewPictureParams(int, int, int)), Screen, SLOT(SetPicParams(int, int)));
    connect(YUVReader, SIGNAL(NewPictureParams(int, int, int)), this,
        SLOT(NewPictureParams_SLOT(int, int, int)));
    connect(YUVReader, SIGNAL(NewFrameNumber(int)), this, SLOT(UpdateFrameNumLabel_SLOT(int)));
    connect(YUVReader, SIGNAL(ErrorOccured(QString)), this, SLOT(ErrorOccured_SLOT(QString)));
    connect(YUVReader, SIGNAL(ShowWarning(QString)), this, SLOT(ShowWarning_SLOT(QString)));
    connect(YCheckBox, SIGNAL(stateChanged(int)), YUVReader, SLOT(SetYEnable(int)));
    connect(UCheckBox, SIGNAL(stateChanged(int)), YUVReader, SLOT(SetUEnable(int)));
    connect(VCheckBox, SIGNAL(stateChanged(int)), YUVReader, SLOT(SetVEnable(int)));
    connect(ActualSizeCheckBox, SIGNAL(stateChanged(int)), this,
        SLOT(ActualSizeCheckBoxChecked_SLOT(int)));
    connect(ActualSizeCheckBox, SIGNAL(stateChanged(int)), Screen, SLOT(SetActualSize(int)));
    connect(NextButton, SIGNAL(clicked()), YUVReader, SLOT(Next()));
    connect(PrevButton, SIGNAL(clicked()), YUVReader, SLOT(Previous()));
    connect(StartButton, SIGNAL(clicked()), YUVReader, SLOT(Start()));
    connect(EndButton, SIGNAL(clicked()), YUVReader, SLOT(End()));
    connect(OpenButton, SIGNAL(clicked()), this, SLOT(StopButtonClicked_SLOT()));
    connect(OpenButton, SIGNAL(clicked()), PlayTimer, SLOT(stop()));
    connect(OpenButton, SIGNAL(clicked()), this, SLOT(OpenButtonClicked_SLOT()));
    connect(PlayButton, SIGNAL(clicked()), this, SLOT(PlayButtonClicked_SLOT()));
    connect(StopButton, SIGNAL(clicked()), this, SLOT(StopButtonClicked_SLOT()));
    connect(PlayButton, SIGNAL(clicked()), PlayTimer, SLOT(start()));
    connect(StopButton, SIGNAL(clicked()), PlayTimer, SLOT(stop()));
    connect(YUVReader, SIGNAL(EndOfFileReached()), PlayTimer, SLOT(stop()));
    connect(YUVReader, SIGNAL(EndOfFileReached()), StopButton, SLOT(click()));
    connect(PlayTimer, SIGNAL(timeout()), YUVReader, SLOT(Next()));
    connect(SettingsButton, SIGNAL(clicked()), this, SLOT(StopButtonClicked_SLOT()));
    connect(SettingsButton, SIGNAL(clicked()), PlayTimer, SLOT(stop()));
    connect(SettingsButton, SIGNAL(clicked()), this, SLOT(SettingsButtonClicked_SLOT()));
    connect(SaveToBMPButton, SIGNAL(clicked()), this, SLOT(SaveToBMPButtonClicked_SLOT()));
    connect(HelpButton, SIGNAL(clicked()), this, SLOT(HelpButtonClicked_SLOT()));
    connect(
        FrameNumLabel, SIGNAL(Clicked(int, int)), this, SLOT(FrameNumberClicked_SLOT(int, int)));
}

// --- Opening a stream -------------------------------------------------------------------------

void TMainWindow::OpenFileFromCommandLine(QString Path)
{
    FileName = Path;
    OpenFileNamed();
}

void TMainWindow::OpenButtonClicked_SLOT()
{
    const QString startPath = Settings->value(KeyLastFilePath).toString();
    const QString chosen
        = QFileDialog::getOpenFileName(this, "Select .yuv file", startPath, "YUV files (*.yuv)");
    // A cancelled dialog keeps the path of the stream that is still open, so that a snapshot is
    // still named after it.
    if (chosen.isEmpty())
        return;
    FileName = chosen;
    OpenFileNamed();
}

void TMainWindow::SettingsButtonClicked_SLOT()
{
    if (!YUVReader->isFileOpen())
        return;
    if (ParamDialog->exec() != QDialog::Accepted)
        return;
    ApplyDialogParams();
    ShowPlanes(true, true, true);
}

void TMainWindow::OpenFileNamed()
{
    if (YUVReader->OpenFile(FileName) == -1) {
        ErrorOccured_SLOT("Error opening file.");
        return;
    }
    setWindowTitle("Tamrel YUV Player - " + FileName);
    LoadDialogFromSettings();
    const int result = ParamDialog->exec();
    // The values are remembered even when the dialog is cancelled.
    StoreDialogInSettings();
    if (result == QDialog::Accepted)
        ApplyDialogParams();
}

void TMainWindow::LoadDialogFromSettings()
{
    ParamDialog->WidthComboBox->setCurrentIndex(Settings->value(KeyWidth, 0).toInt());
    ParamDialog->HeightComboBox->setCurrentIndex(Settings->value(KeyHeight, 0).toInt());
    ParamDialog->FPSSpinBox->setValue(Settings->value(KeyFPS, 30).toInt());
    ParamDialog->comboBox->setCurrentIndex(Settings->value(KeyFormat, 0).toInt());
}

void TMainWindow::StoreDialogInSettings()
{
    Settings->setValue(KeyWidth, ParamDialog->WidthComboBox->currentIndex());
    Settings->setValue(KeyHeight, ParamDialog->HeightComboBox->currentIndex());
    Settings->setValue(KeyFPS, ParamDialog->FPSSpinBox->value());
    Settings->setValue(KeyFormat, ParamDialog->comboBox->currentIndex());
    Settings->setValue(KeyLastFilePath, FileName);
}

void TMainWindow::ApplyDialogParams()
{
    const TYUVFormat format = FormatFromListIndex(ParamDialog->comboBox->currentIndex());
    bool heightOk = false;
    bool widthOk = false;
    const int height = ParamDialog->HeightComboBox->currentText().toInt(&heightOk);
    const int width = ParamDialog->WidthComboBox->currentText().toInt(&widthOk);
    // The dialog keeps OK disabled for such sizes; this guards the frame buffers all the same.
    if (!widthOk || !heightOk || !yuv::IsSupportedSize(width, height)) {
        ShowWarning_SLOT(QString("Invalid picture size \"%1\" x \"%2\": the width must be 1 to %3 "
                                 "and the height 1 to %4.")
                             .arg(ParamDialog->WidthComboBox->currentText(),
                                 ParamDialog->HeightComboBox->currentText())
                             .arg(yuv::MaxWidth)
                             .arg(yuv::MaxHeight));
        return;
    }
    YUVReader->SetFileParams(width, height, format);
    PlayTimer->setInterval(1000 / ParamDialog->FPSSpinBox->value());
    PlayTimer->setSingleShot(false);
}

// --- Playback and navigation --------------------------------------------------------------------

void TMainWindow::PlayButtonClicked_SLOT()
{
    PlayButton->setEnabled(false);
    NextButton->setEnabled(false);
    PrevButton->setEnabled(false);
}

void TMainWindow::StopButtonClicked_SLOT()
{
    PlayButton->setEnabled(true);
    NextButton->setEnabled(true);
    PrevButton->setEnabled(true);
}

void TMainWindow::ActualSizeCheckBoxChecked_SLOT(int) { }

void TMainWindow::NewPictureParams_SLOT(int, int, int FrameCount)
{
    // Growing the window by a pixel makes the view recompute its zoom and raster position for
    // the new picture size.
    resize(width() + 1, height() + 1);
    horizontalSlider->setMinimum(0);
    horizontalSlider->setMaximum(FrameCount);
    horizontalSlider->setPageStep(FrameCount / 5);
    horizontalSlider->setValue(0);
    horizontalSlider->setEnabled(true);
    ShowFrameCounter(0);
    ShowPlanes(true, true, true);
}

void TMainWindow::UpdateFrameNumLabel_SLOT(int FrameCount)
{
    ShowFrameCounter(FrameCount);
}

void TMainWindow::ShowFrameCounter(int FrameIndex)
{
    FrameNumLabel->setText(
        QString::number(FrameIndex) + "/" + QString::number(horizontalSlider->maximum()));
}

void TMainWindow::ErrorOccured_SLOT(QString ErrMsg)
{
    QMessageBox::critical(this, "Error", ErrMsg, QMessageBox::Ok, QMessageBox::NoButton);
}

void TMainWindow::ShowWarning_SLOT(QString Msg)
{
    QMessageBox::warning(this, "Warning", Msg, QMessageBox::Ok, QMessageBox::NoButton);
}

void TMainWindow::HelpButtonClicked_SLOT()
{
    QUrl url;
    url.setScheme("http");
    url.setHost(YUVPLAYER_HELP_HOST);
    url.setPath("/en/solutions.php");
    url.setQuery("sub=8");
    if (!UrlOpener(url))
        ShowWarning_SLOT(QString("Could not open the web page %1.").arg(url.toString()));
}

void TMainWindow::FrameNumberClicked_SLOT(int, int)
{
    if (!YUVReader->isFileOpen())
        return;
    GotoDialog->spinBox->setValue(horizontalSlider->value());
    GotoDialog->label->setText("Of " + QString::number(horizontalSlider->maximum()));
    if (GotoDialog->exec() == QDialog::Accepted)
        horizontalSlider->setValue(GotoDialog->spinBox->value());
}

// Sets the three plane boxes; each change reaches the reader through the box's stateChanged.
void TMainWindow::ShowPlanes(bool Y, bool U, bool V)
{
    YCheckBox->setChecked(Y);
    UCheckBox->setChecked(U);
    VCheckBox->setChecked(V);
}

void TMainWindow::keyPressEvent(QKeyEvent *e)
{
    QSlider *slider = horizontalSlider;
    const bool modified = e->modifiers() != Qt::NoModifier;
    switch (e->key()) {
    case Qt::Key_Space:
        if (PlayTimer->isActive())
            StopButton->click();
        else
            PlayButton->click();
        break;
    case Qt::Key_Home:
        slider->setValue(0);
        break;
    case Qt::Key_End:
        slider->setValue(slider->maximum());
        break;
    case Qt::Key_Left:
        StepSlider(slider, -1);
        break;
    case Qt::Key_Right:
        StepSlider(slider, 1);
        break;
    case Qt::Key_Down:
        StepSlider(slider, -10);
        break;
    case Qt::Key_Up:
        StepSlider(slider, 10);
        break;
    case Qt::Key_PageDown:
        StepSlider(slider, -slider->pageStep());
        break;
    case Qt::Key_PageUp:
        StepSlider(slider, slider->pageStep());
        break;
    case Qt::Key_Y:
        if (modified)
            ShowPlanes(true, false, false);
        break;
    case Qt::Key_U:
        if (modified)
            ShowPlanes(false, true, false);
        break;
    case Qt::Key_V:
        if (modified)
            ShowPlanes(false, false, true);
        break;
    case Qt::Key_K:
        if (modified)
            ShowPlanes(true, true, true);
        break;
    default:
        break;
    }
    QMainWindow::keyPressEvent(e);
}

// --- Drag and drop ------------------------------------------------------------------------------

QString TMainWindow::FirstLocalFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

void TMainWindow::dragEnterEvent(QDragEnterEvent *e)
{
    // Refusing here is what shows the user, by the cursor, that the drop would do nothing.
    if (FirstLocalFile(e->mimeData()).isEmpty())
        e->ignore();
    else
        e->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent *e)
{
    const QString path = FirstLocalFile(e->mimeData());
    if (path.isEmpty()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // The open flow runs modal dialogs, and the drag's source waits until the drop returns: open
    // once it has.
    DroppedPath = path;
    QMetaObject::invokeMethod(this, &TMainWindow::OpenDroppedFile, Qt::QueuedConnection);
}

void TMainWindow::OpenDroppedFile()
{
    // Empty when the window was closed after the drop: a dialog shown then would have no window
    // to belong to and would keep the program running after its window is gone.
    const QString path = std::exchange(DroppedPath, QString());
    if (path.isEmpty())
        return;
    // Playback stops first, as it does for the Open button.
    StopButtonClicked_SLOT();
    PlayTimer->stop();
    OpenFileFromCommandLine(path);
}

void TMainWindow::closeEvent(QCloseEvent *e)
{
    DroppedPath.clear();
    QMainWindow::closeEvent(e);
}

// --- Snapshot -----------------------------------------------------------------------------------

void TMainWindow::SaveToBMPButtonClicked_SLOT()
{
    StopButton->click();
    // The logo, or a frame sent before the stream had a picture size, is nothing of it to save.
    if (!YUVReader->isFileOpen() || !Screen->HasStreamPicture())
        return;

    const QString proposed = ProposedSnapshotName(FileName, horizontalSlider->value());
    const QString chosen
        = QFileDialog::getSaveFileName(this, "Select .bmp file", proposed, "BMP files (*.bmp)");
    if (chosen.isEmpty())
        return;

    const TBmpResult result = WriteBmpFile(
        QFile::encodeName(chosen), Screen->GetPic(), Screen->GetPicWidth(), Screen->GetPicHeight());
    if (result != TBmpResult::Ok)
        ErrorOccured_SLOT(BmpResultMessage(result, chosen));
}
