// Orvanta: finds GigE Vision cameras on every interface, changes their IP
// settings and programs their flash. No command-line options.
#include "mainwindow.h"
#include "timerresolution.h"

#include <QApplication>
#include <QTime>

#include <cstdlib>

int main(int argc, char *argv[])
{
    // One seed for the whole process, the seconds of the day: the random
    // address proposal and the discovery request id draw from it.
    std::srand(uint(QTime(0, 0).secsTo(QTime::currentTime())));
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
