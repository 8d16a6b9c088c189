#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QLabel>
#include <QMainWindow>
#include <QString>

#include <functional>

class QCheckBox;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QGridLayout;
class QKeyEvent;
class QMimeData;
class QMouseEvent;
class QPushButton;
class QSettings;
class QSlider;
class QTimer;
class QUrl;
class QVBoxLayout;
class TGotoDialog;
class TOGLWidget;
class TParamDialog;
class TYUVReader;

// A label that reports a mouse click: it emits Clicked with the global position of the release
// point, whichever button was released.
class TActiveLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TActiveLabel(QWidget *parent = nullptr);

signals:
    void Clicked(int X, int Y);

protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
};

// The player's only window: the picture view, the control and transport rows, the frame slider,
// and the wiring between them, the frame source, the playback timer and the two dialogs.
class TMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainWindow(QWidget *parent = nullptr);
    ~TMainWindow() override;

    void retranslateUi();
    // Opens a stream named on the command line, without the file dialog.
    void OpenFileFromCommandLine(QString Path);

    QWidget *centralwidget;
    QVBoxLayout *verticalLayout;
    QGridLayout *gridLayout;
    QWidget *ButtonsWidget;
    QPushButton *EndButton;
    QPushButton *PrevButton;
    QPushButton *StartButton;
    QPushButton *PlayButton;
    QPushButton *NextButton;
    QPushButton *StopButton;
    QPushButton *OpenButton;
    QWidget *CheckBoxWidget;
    QCheckBox *YCheckBox;
    QCheckBox *UCheckBox;
    TActiveLabel *FrameNumLabel;
    QCheckBox *ActualSizeCheckBox;
    QPushButton *SettingsButton;
    QPushButton *HelpButton;
    QPushButton *SaveToBMPButton;
    QCheckBox *VCheckBox;
    QSlider *horizontalSlider;
    TOGLWidget *Screen;
    TYUVReader *YUVReader;
    QTimer *PlayTimer;
    TParamDialog *ParamDialog;
    TGotoDialog *GotoDialog;
    QSettings *Settings;
    QString FileName;
    // Hands the help page's address to the desktop; false when it could not be opened. Tests put
    // their own opener here.
    std::function<bool(const QUrl &)> UrlOpener;

public slots:
    void OpenButtonClicked_SLOT();
    void SettingsButtonClicked_SLOT();
    void PlayButtonClicked_SLOT();
    void StopButtonClicked_SLOT();
    void ActualSizeCheckBoxChecked_SLOT(int State);
    void NewPictureParams_SLOT(int W, int H, int FrameCount);
    void UpdateFrameNumLabel_SLOT(int FrameCount);
    void ErrorOccured_SLOT(QString ErrMsg);
    void ShowWarning_SLOT(QString Msg);
    void HelpButtonClicked_SLOT();
    void SaveToBMPButtonClicked_SLOT();
    void FrameNumberClicked_SLOT(int X, int Y);

protected:
    void keyPressEvent(QKeyEvent *e) override;
    // Local files dropped on the window are opened as a file named on the command line is.
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    // Cancels the opening of a file dropped just before.
    void closeEvent(QCloseEvent *e) override;

private:
    void BuildWidgets();
    void MakeConnections();
    void OpenFileNamed();
    void LoadDialogFromSettings();
    void StoreDialogInSettings();
    void ApplyDialogParams();
    void ShowFrameCounter(int FrameIndex);
    void ShowPlanes(bool Y, bool U, bool V);
    void OpenDroppedFile();
    void SetAccessibleNames();
    // The first local file a drag carries, or an empty string.
    static QString FirstLocalFile(const QMimeData *data);

    // A dropped file waiting for the drop to return before it is opened; empty when none is.
    QString DroppedPath;
};

#endif // MAINWINDOW_H
