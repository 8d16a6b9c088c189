#ifndef WINDOWTESTSUPPORT_H
#define WINDOWTESTSUPPORT_H

// Helpers shared by the main window's tests: stream files made in code, a clean settings store,
// and driving modal dialogs from a polling timer while exec() runs.

#include "YUVConversion.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace testsupport {

// Luma of frame n in the streams below; with neutral chroma the frame converts to grey of this
// level, so a frame on screen or in a buffer names itself.
inline int FrameLuma(int n)
{
    return 16 + (n * 7) % 220;
}

inline int FrameBytes(int W, int H, TYUVFormat format)
{
    return W * H + 2 * yuv::ChromaPlaneSize(W, H, format);
}

// Writes a stream of uniform grey frames (frame n has luma FrameLuma(n)) plus extraBytes of a
// trailing partial frame.
inline void WriteStream(
    const QString &path, int W, int H, TYUVFormat format, int frames, int extraBytes = 0)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const int chroma = yuv::ChromaPlaneSize(W, H, format);
    for (int n = 0; n < frames; ++n) {
        f.write(QByteArray(W * H, char(FrameLuma(n))));
        f.write(QByteArray(2 * chroma, char(128)));
    }
    f.write(QByteArray(extraBytes, char(0)));
}

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

} // namespace testsupport

#endif // WINDOWTESTSUPPORT_H
