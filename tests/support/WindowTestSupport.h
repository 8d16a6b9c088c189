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
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include <functional>

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

} // namespace testsupport

#endif // WINDOWTESTSUPPORT_H
