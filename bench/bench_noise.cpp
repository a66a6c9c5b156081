// A noisy line: the simulated chip puts random bytes on a 38400 bit/s line at
// the full rate the line carries (3840 bytes a second) for a minute (or the
// seconds given as the first argument), while the console asks for the
// chip's status once a second. Prints the console's memory growth (goal:
// under 50 MB), what it logged, how many queries were answered and how late
// a 20 ms timer of its event loop ran.
#include "bench/bench_pty.h"
#include "serial/serial_comm_control.h"
#include "qt/form1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;

    QTemporaryDir work, ports;
    QDir::setCurrent(work.path());
    QProcess chip;
    // Its report (a line per burst of noise) is not ours to hold.
    chip.setStandardOutputFile(QProcess::nullDevice());
    chip.start(QStringLiteral(VXT_CHIPSIM_PATH),
               {QStringLiteral("--as"), QStringLiteral("COM1"), QStringLiteral("--ports-dir"),
                ports.path(), QStringLiteral("--time-scale"), QStringLiteral("0.01"),
                QStringLiteral("--seed"), QStringLiteral("4710"), QStringLiteral("--noise"),
                QStringLiteral("3840")});
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(ports.path() + "/com1").exists() && wait.elapsed() < 5000)
        QThread::msleep(10);
    if (!QFileInfo(ports.path() + "/com1").exists()) {
        std::fprintf(stderr, "bench_noise: the simulated chip did not start\n");
        return 1;
    }

    int messages = 0;
    Form1Deps deps;
    deps.comm = std::make_unique<SerialCommControl>(ports.path());
    deps.messageBox = [&messages](const QString& text) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    };
    Form1Window form(std::move(deps));
    if (!form.MSComm1->PortOpen())
        return 1;
    // The PC's side at 38400 bit/s: the chip reads the rate from the line.
    form.Widget(&Form1::Combo2)->SetListIndex(2);
    form.Combo2_Click();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000)
        app.processEvents(QEventLoop::AllEvents, 10);
    const long rssStart = ResidentKiB();
    const int linesStart = int(form.Widget(&Form1::Text4)->Text().count(QStringLiteral("\r\n")));

    std::vector<double> lateness;
    long rssMax = rssStart;
    int queries = 0;
    clock.restart();
    qint64 expected = 20;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        lateness.push_back(double(std::max<qint64>(0, now - expected)));
        expected = now + 20;
        rssMax = std::max(rssMax, ResidentKiB());
        if (now / 1000 >= queries && queries < seconds) {
            ++queries;
            form.Command28_Click();
        }
        if (now >= seconds * 1000LL)
            app.quit();
    });
    tick.start(20);
    app.exec();
    // The answer to the last query.
    clock.restart();
    while (clock.elapsed() < 500)
        app.processEvents(QEventLoop::AllEvents, 10);

    const long rssEnd = ResidentKiB();
    const QString log = form.Widget(&Form1::Text4)->Text();
    const int lines = int(log.count(QStringLiteral("\r\n"))) - linesStart;
    const int frames = int(log.count(QStringLiteral("---->0xFD")));
    std::sort(lateness.begin(), lateness.end());
    auto pct = [&](double p) {
        return lateness.empty() ? 0.0 : lateness[size_t(p * double(lateness.size() - 1))];
    };
    chip.terminate();
    chip.waitForFinished(5000);

    std::printf("bench_noise: %d s of noise at 3840 bytes/s on a 38400 bit/s line\n", seconds);
    std::printf("  console resident memory: start %ld KiB, end %ld KiB, most %ld KiB\n", rssStart,
                rssEnd, rssMax);
    std::printf("  growth: %.1f MB (most %.1f MB); goal under 50 MB: %s\n",
                double(rssEnd - rssStart) / 1024.0, double(rssMax - rssStart) / 1024.0,
                (rssMax - rssStart) < 50 * 1024 ? "met" : "NOT met");
    std::printf("  work log: %d new lines (%d of them frames, %d queries sent), %lld characters\n",
                lines, frames, queries, static_cast<long long>(log.size()));
    std::printf("  20 ms timer late: median %.0f ms, 99th percentile %.0f ms, max %.0f ms\n",
                pct(0.5), pct(0.99), lateness.empty() ? 0.0 : lateness.back());
    std::printf("  messages shown: %d\n", messages);
    return 0;
}
