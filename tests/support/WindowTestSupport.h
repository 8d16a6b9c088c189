#ifndef WINDOWTESTSUPPORT_H
#define WINDOWTESTSUPPORT_H

// Helpers shared by the main window's tests, the soak driver and the playback benchmark: a clean
// settings store, driving modal dialogs from a polling timer while exec() runs, and opening a
// stream as a user does. Header-only: an includer links playerui itself.

#include "TParamDialog.h"
#include "TestFiles.h"
#include "mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace testsupport {

inline QSettings *NewStore()
{
    return new QSettings(
        QSettings::NativeFormat, QSettings::UserScope, "Tamrel", "TamrelYUVPlayer");
}

inline void ClearSettings()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Tamrel", "TamrelYUVPlayer");
    store.clear();
    store.sync();
}

// Runs action once, on the first modal widget of type T that becomes active. Polls, because the
// widget appears only inside a nested exec() that the test's own call is blocked in.
template<typename T> void WhenModal(std::function<void(T *)> action, int timeoutMs = 10000)
{
    auto *timer = new QTimer;
    auto *waited = new QElapsedTimer;
    waited->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, action, timeoutMs]() {
        QWidget *modal = QApplication::activeModalWidget();
        T *target = qobject_cast<T *>(modal);
        if (!target && waited->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete waited;
        if (target)
            action(target);
        else if (modal)
            modal->close(); // an unexpected dialog must not hang the test
    });
    timer->start();
}

// Runs action and tells what modal widget it showed, closing it: "Title: text" for a message box,
// the class name for any other, an empty string when none came up. The poll ends with the call,
// so nothing is left to act on a later test's dialogs.
inline QString ModalDuring(const std::function<void()> &action)
{
    QString seen;
    QObject scope;
    auto *poll = new QTimer(&scope);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [&seen] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        const auto *box = qobject_cast<QMessageBox *>(modal);
        seen = box ? box->windowTitle() + ": " + box->text()
                   : QString(modal->metaObject()->className());
        modal->close();
    });
    poll->start();
    action();
    return seen;
}

// Opens path through the command-line entry, answering the parameters dialog with prepare() and
// then OK.
inline void OpenAccepting(
    TMainWindow &window, const QString &path, std::function<void(TParamDialog *)> prepare = {})
{
    WhenModal<TParamDialog>([prepare](TParamDialog *d) {
        if (prepare)
            prepare(d);
        d->accept();
    });
    window.OpenFileFromCommandLine(path);
}

// Opens path through the command-line entry and answers its parameters dialog with the layout
// and the frame rate.
inline void OpenWithParams(TMainWindow &window, const QString &path, const TLayout &layout, int fps)
{
    WhenModal<TParamDialog>([layout, fps](TParamDialog *d) {
        d->WidthComboBox->setEditText(QString::number(layout.W));
        d->HeightComboBox->setEditText(QString::number(layout.H));
        d->comboBox->setCurrentIndex(layout.Format);
        d->FPSSpinBox->setValue(fps);
        d->accept();
    });
    window.OpenFileFromCommandLine(path);
}

// What every function of a window test starts from: a clean settings store, a new main window
// and a folder for stream files, removed with the fixture.
class TWindowFixture
{
protected:
    // Call from init(): shown, the window is exposed before the test runs.
    void NewWindow(bool show)
    {
        QTest::failOnWarning(QRegularExpression("QObject::connect"));
        ClearSettings();
        Window = std::make_unique<TMainWindow>();
        if (show) {
            Window->show();
            QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
        }
    }

    // Call from init() of the tests that work on one stream file: a hidden window and, in
    // Stream, ten 176 x 144 4:2:0 frames.
    void NewWindowAndStream()
    {
        NewWindow(false);
        Stream = MakeStream("clip.yuv", {176, 144, YUV420}, 10);
        QVERIFY(!Stream.isEmpty());
    }

    // A Grey stream in the folder; returns its path.
    QString MakeStream(const QString &name, const TLayout &layout, int frames, int extraBytes = 0)
    {
        const QString path = Dir.filePath(name);
        return WriteStream(path, layout, frames, TPattern::Grey, extraBytes) ? path : QString();
    }
    // A small 16 x 8 4:2:0 stream named after its length.
    QString MakeClip(int frames, int extraBytes = 0)
    {
        return MakeStream(QString("clip%1.yuv").arg(frames), {16, 8, YUV420}, frames, extraBytes);
    }

    void Open(const QString &path, int W, int H, TYUVFormat format = YUV420, int fps = 1000)
    {
        OpenWithParams(*Window, path, {W, H, format}, fps);
    }
    void OpenAccepting(const QString &path, std::function<void(TParamDialog *)> prepare = {})
    {
        testsupport::OpenAccepting(*Window, path, std::move(prepare));
    }

    QTemporaryDir Dir;
    std::unique_ptr<TMainWindow> Window;
    QString Stream; // set by NewWindowAndStream()
};

} // namespace testsupport

#endif // WINDOWTESTSUPPORT_H
