// Orvanta: finds GigE Vision cameras on every interface, changes their IP
// settings and programs their flash. No command-line options.
#include "mainwindow.h"
#include "timerresolution.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Debug lines as plain text, without the category's name in front.
    qSetMessagePattern(QStringLiteral("%{message}"));

    // The flash protocol waits 2 ms between exchanges; on Windows that needs
    // 1 ms timer resolution for the life of the process.
    TimerResolution timerResolution;
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
