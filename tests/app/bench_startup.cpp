// Start-up cost with no interface to discover on (run it in a private network
// namespace): from process start to the window shown, loading the libraries
// included. Prints figures only.   bench_startup [REPEATS]
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        QApplication app(argc, argv);
        MainWindow window;
        window.show();
        std::puts(QTest::qWaitForWindowExposed(&window, 5000) ? "shown" : "not shown");
        std::fflush(stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    qint64 total = 0;
    for (int i = 0; i < repeats; ++i) {
        QProcess child;
        QElapsedTimer t;
        t.start();
        child.start(QCoreApplication::applicationFilePath(), {"--child"});
        QByteArray line;
        while (!line.contains('\n') && child.waitForReadyRead(10000))
            line += child.readAllStandardOutput();
        total += t.elapsed();
        child.waitForFinished(10000);
        if (line.trimmed() != "shown")
            return std::fprintf(stderr, "run %d: no window shown\n", i), 1;
    }
    std::printf("process start -> window shown, no interface: %.1f ms (mean of %d)\n",
                double(total) / repeats, repeats);
    return 0;
}
