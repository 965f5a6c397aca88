// Start-up cost with no interface to discover on: from process start to the
// window shown, and its steps inside the process. Prints figures, asserts
// none of them. Run inside a private network namespace (only loopback):
//     bench_startup [REPEATS]
// Each repeat starts this program again as a child that builds and shows the
// window, so loading the libraries is part of the figure.
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>

namespace {

int child(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    const qint64 appReady = clock.elapsed();
    MainWindow window;
    const qint64 constructed = clock.elapsed();
    window.show();
    const bool exposed = QTest::qWaitForWindowExposed(&window, 5000);
    const qint64 shown = clock.elapsed();
    std::printf("shown %d %lld %lld %lld\n", exposed ? 1 : 0, static_cast<long long>(appReady),
                static_cast<long long>(constructed - appReady), static_cast<long long>(shown - constructed));
    std::fflush(stdout);
    return exposed ? 0 : 1;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    double toShown = 0, appMs = 0, constructMs = 0, showMs = 0;
    int good = 0;
    for (int i = 0; i < repeats; ++i) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer t;
        t.start();
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        QByteArray line;
        while (!line.contains('\n') && process.waitForReadyRead(10000))
            line += process.readAllStandardOutput();
        const qint64 elapsed = t.elapsed();
        process.waitForFinished(10000);
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() != 5 || f[0] != "shown" || f[1] != "1") {
            std::fprintf(stderr, "run %d: no window shown (%s)\n", i, line.constData());
            continue;
        }
        ++good;
        toShown += elapsed;
        appMs += f[2].toDouble();
        constructMs += f[3].toDouble();
        showMs += f[4].toDouble();
    }
    if (!good)
        return 1;
    std::printf("start-up with no interface, mean of %d runs:\n", good);
    std::printf("  process start -> window shown: %7.1f ms\n", toShown / good);
    std::printf("  QApplication:                  %7.1f ms\n", appMs / good);
    std::printf("  MainWindow constructed:        %7.1f ms (form, discovery on 0 sockets, worker)\n", constructMs / good);
    std::printf("  shown and exposed:             %7.1f ms\n", showMs / good);
    return 0;
}
