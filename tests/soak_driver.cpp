// Soak test of the player: the real window plays a 1920 x 1080 4:2:0 stream at 1000 frames per
// second for a given time while a second timer seeks, switches planes, switches between fit and
// actual size, drags the picture and resizes the window at random. At the end it reports the
// frames shown and the resident memory at the start, after the warm-up and at the end, and fails
// when memory grew after the warm-up or Qt printed any warning. Not a CTest test: scripts/soak
// runs it under Xvfb.
//
//   soak_driver SECONDS [SEED]

#include "OpenGLWidget.h"
#include "TParamDialog.h"
#include "TYUVReader.h"
#include "WindowTestSupport.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <vector>

namespace {

constexpr int W = 1920, H = 1080, Frames = 30;
// Memory may settle during the warm-up (caches, the GL driver's compiled paths); after it, the
// resident size must stay within this margin (see the comparison at the end).
constexpr long AllowedGrowthKiB = 8 * 1024;

QStringList Warnings;

void CollectMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        Warnings << text;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

long ResidentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(CollectMessages);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.value(1, "300").toInt();
    const quint32 seed = args.value(2, "1").toUInt();
    if (seconds < 10) {
        std::fprintf(stderr, "usage: soak_driver SECONDS(>= 10) [SEED]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString stream = dir.filePath("soak 1080p.yuv");
    // Frames whose samples change from frame to frame and across the picture, so that every frame
    // converts differently.
    const testsupport::TLayout layout {W, H, YUV420};
    if (!dir.isValid()
        || !testsupport::WriteStream(stream, layout, Frames, testsupport::TPattern::Moving)) {
        std::fprintf(stderr, "cannot write the stream under %s\n", qPrintable(dir.path()));
        return 2;
    }

    TMainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 2;
    }
    testsupport::OpenWithParams(window, stream, layout, 1000);
    if (window.YUVReader->GetFramesCount() != Frames) {
        std::fprintf(stderr, "the stream did not open with %d frames\n", Frames);
        return 2;
    }

    quint64 shown = 0;
    QObject::connect(window.YUVReader, &TYUVReader::NewFrameReady, [&shown] { ++shown; });
    struct
    {
        int Seeks = 0, Planes = 0, Modes = 0, Drags = 0, Resizes = 0, Plays = 0;
    } actions;

    QRandomGenerator rng(seed);
    QTimer chaos;
    chaos.setInterval(150);
    QObject::connect(&chaos, &QTimer::timeout, [&] {
        if (!window.PlayTimer->isActive()) {
            // Playback reached the end: from the start again.
            window.horizontalSlider->setValue(0);
            window.PlayButton->click();
            ++actions.Plays;
        }
        switch (rng.bounded(6)) {
        case 0:
            window.horizontalSlider->setValue(rng.bounded(Frames));
            ++actions.Seeks;
            break;
        case 1: {
            QCheckBox *box = rng.bounded(2)
                ? window.YCheckBox
                : (rng.bounded(2) ? window.UCheckBox : window.VCheckBox);
            box->setChecked(!box->isChecked());
            ++actions.Planes;
            break;
        }
        case 2:
            window.ActualSizeCheckBox->setChecked(!window.ActualSizeCheckBox->isChecked());
            ++actions.Modes;
            break;
        case 3: {
            TOGLWidget *view = window.Screen;
            const QPoint from(rng.bounded(view->width()), rng.bounded(view->height()));
            QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
            QTest::mouseMove(view, from + QPoint(rng.bounded(-80, 80), rng.bounded(-80, 80)));
            QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier,
                from + QPoint(rng.bounded(-80, 80), rng.bounded(-80, 80)));
            ++actions.Drags;
            break;
        }
        case 4:
            window.resize(710 + rng.bounded(560), 600 + rng.bounded(400));
            ++actions.Resizes;
            break;
        default:
            if (rng.bounded(4) == 0) {
                window.YCheckBox->setChecked(true);
                window.UCheckBox->setChecked(true);
                window.VCheckBox->setChecked(true);
                ++actions.Planes;
            }
            break;
        }
    });

    QElapsedTimer clock;
    std::vector<long> checkpoints; // resident KiB at each checkpoint
    // Memory is compared in one state: playback stopped on frame 0, fitted, all planes on, the
    // window at one size, the events handled, and free heap memory handed back to the system, so
    // that what remains is what is still allocated.
    auto checkpoint = [&]() {
        chaos.stop();
        window.StopButton->click();
        window.ActualSizeCheckBox->setChecked(false);
        window.YCheckBox->setChecked(true);
        window.UCheckBox->setChecked(true);
        window.VCheckBox->setChecked(true);
        window.resize(900, 700);
        window.horizontalSlider->setValue(0);
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 500)
            app.processEvents(QEventLoop::AllEvents, 50);
        malloc_trim(0);
        const long rss = ResidentKiB();
        const long heap = static_cast<long>(mallinfo2().uordblks / 1024);
        std::printf("  checkpoint at %3lld s: resident %ld KiB, heap in use %ld KiB\n",
            clock.isValid() ? clock.elapsed() / 1000 : 0LL, rss, heap);
        std::fflush(stdout);
        checkpoints.push_back(rss);
        return rss;
    };
    auto resume = [&] {
        window.PlayButton->click();
        chaos.start();
    };

    // Checkpoints every eighth of the run. The first half is the warm-up: caches of Qt and of the
    // GL driver fill as new window sizes, zoom factors and modes come up, in steps that stop.
    const qint64 stepMs = seconds * 1000LL / 8;
    const qint64 warmUpMs = 4 * stepMs;
    const long rssStart = checkpoint();
    long rssWarm = -1, rssPeak = rssStart;
    size_t warmIndex = 0;
    quint64 shownAtWarm = 0;
    qint64 nextCheckpoint = stepMs;
    clock.start();
    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        rssPeak = std::max(rssPeak, ResidentKiB());
        if (clock.elapsed() >= seconds * 1000LL) {
            app.quit();
        } else if (clock.elapsed() >= nextCheckpoint) {
            const long rss = checkpoint();
            if (rssWarm < 0 && clock.elapsed() >= warmUpMs) {
                rssWarm = rss;
                warmIndex = checkpoints.size() - 1;
                shownAtWarm = shown;
            }
            nextCheckpoint += stepMs;
            resume();
        }
    });

    resume();
    sampler.start();
    app.exec();
    const double elapsed = clock.elapsed() / 1000.0;
    const long rssEnd = checkpoint();

    std::printf(
        "soak: %.0f s, seed %u, 1920x1080 4:2:0 at 1000 fps in the window\n", elapsed, seed);
    std::printf("  frames shown       %llu (%.1f per second; %.1f per second after the warm-up)\n",
        static_cast<unsigned long long>(shown), shown / elapsed,
        (shown - shownAtWarm) / (elapsed - warmUpMs / 1000.0));
    std::printf("  actions            %d seeks, %d plane switches, %d mode switches, %d drags, %d "
                "resizes, %d restarts\n",
        actions.Seeks, actions.Planes, actions.Modes, actions.Drags, actions.Resizes,
        actions.Plays);
    std::printf(
        "  resident memory    start %ld KiB, after the %d s warm-up %ld KiB, end %ld KiB "
        "(each stopped on frame 0 with free heap returned); highest while playing %ld KiB\n",
        rssStart, static_cast<int>(warmUpMs / 1000), rssWarm, rssEnd, rssPeak);
    std::printf("  Qt warnings        %lld\n", static_cast<long long>(Warnings.size()));

    // A leak raises every later checkpoint; a buffer that happens to be held at one checkpoint
    // raises only that one. So the lower of the last two checkpoints is compared with the lower of
    // the first two after the warm-up.
    bool ok = true;
    const size_t n = checkpoints.size();
    const long settled = rssWarm < 0
        ? -1
        : std::min(checkpoints[warmIndex], checkpoints[std::min(warmIndex + 1, n - 1)]);
    const long late = std::min(checkpoints[n - 2], checkpoints[n - 1]);
    std::printf("  growth             %ld KiB after the warm-up (the lower of the last two "
                "checkpoints against the lower of the first two after the warm-up; allowed %ld)\n",
        late - settled, AllowedGrowthKiB);
    if (rssWarm < 0 || late - settled > AllowedGrowthKiB) {
        std::printf("FAIL: resident memory grew after the warm-up\n");
        ok = false;
    }
    if (!Warnings.isEmpty()) {
        std::printf("FAIL: Qt printed warnings, the first: %s\n", qPrintable(Warnings.first()));
        ok = false;
    }
    if (shown == 0) {
        std::printf("FAIL: no frame was shown\n");
        ok = false;
    }
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
