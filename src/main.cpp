#include "mainwindow.h"

#include <QApplication>
#include <QFile>

int main(int argc, char **argv)
{
    // QApplication takes its own options out of argc and argv.
    QApplication app(argc, argv);
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(YUVPLAYER_APP_ID);
    TMainWindow window;
    window.show();
    if (argc > 1)
        window.OpenFileFromCommandLine(QFile::decodeName(argv[1]));
    return app.exec();
}
