// A babbling chip: random bytes as fast as the line takes them, for a minute
// (or the seconds given as the first argument). Prints how late a 10 ms timer
// of the window's event loop ran, the resident memory, and what was logged.
#include "bench/bench_pty.h"
#include "serial/serial_comm_control.h"
#include "qt/form1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? atoi(argv[1]) : 60;

    QTemporaryDir work;
    QDir::setCurrent(work.path());
    BenchPty pty;
    if (!pty.ok())
        return 1;
    const std::unique_ptr<Form1Window> console = ConsoleOn(pty);
    Form1Window& form = *console;
    if (!form.MSComm1->PortOpen())
        return 1;
    app.processEvents();
    const long rssStart = ResidentKiB();

    std::atomic<bool> stop{false};
    std::atomic<long long> babbled{0};
    std::thread chip([&] {
        QRandomGenerator random(4710);
        QByteArray chunk(1024, '\0');
        while (!stop) {
            for (char& c : chunk)
                c = char(random.bounded(256));
            const ssize_t n = write(pty.master, chunk.constData(), size_t(chunk.size()));
            if (n > 0)
                babbled += n;
            else
                usleep(50); // the line is full
        }
    });

    std::vector<double> lateness;
    long rssMax = rssStart;
    QElapsedTimer clock;
    clock.start();
    qint64 expected = 10;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        lateness.push_back(double(std::max<qint64>(0, now - expected)));
        expected = now + 10;
        if (lateness.size() % 100 == 0)
            rssMax = std::max(rssMax, ResidentKiB());
        if (now >= seconds * 1000LL)
            app.quit();
    });
    tick.start(10);
    app.exec();
    stop = true;
    chip.join();

    std::sort(lateness.begin(), lateness.end());
    const QString log = form.Widget(&Form1::Text4)->Text();
    const qsizetype lines = log.count(QStringLiteral("\r\n"));
    std::printf("babbling chip for %d s\n", seconds);
    std::printf("  bytes written by the chip   %lld (%.0f per second)\n", babbled.load(),
                babbled.load() / double(seconds));
    std::printf("  log lines (status bytes)    %lld\n", (long long)lines);
    std::printf("  10 ms timer: %zu ticks, lateness median %.1f ms, 99th percentile %.1f ms, "
                "max %.1f ms\n",
                lateness.size(), lateness[lateness.size() / 2],
                lateness[lateness.size() * 99 / 100], lateness.back());
    std::printf("  resident memory: start %ld KiB, max %ld KiB (+%ld KiB; the log holds %lld "
                "characters)\n",
                rssStart, rssMax, rssMax - rssStart, (long long)log.size());
    return 0;
}
