// Reply to next piece: the real serial control on a pseudo-terminal, a peer
// that answers each text frame at once with 0x41 0x4F, and continuous
// playback of a long text. Measures the time from the idle byte written by
// the peer to the last byte of the next piece read by the peer.
#include "bench/bench_pty.h"
#include "serial/serial_comm_control.h"
#include "qt/form1.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int pieces = argc > 1 ? atoi(argv[1]) : 1000;

    QTemporaryDir work;
    QDir::setCurrent(work.path());
    BenchPty pty;
    if (!pty.ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    const std::unique_ptr<Form1Window> console = ConsoleOn(pty);
    Form1Window& form = *console;
    if (!form.MSComm1->PortOpen())
        return 1;
    form.Combo2->SetListIndex(2);
    form.Combo2_Click(); // 38400 bit/s

    // pieces + 1 frames of 200 bytes: lines of 48 characters and CR LF.
    QString text;
    const QString line = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL\r\n");
    while (text.size() < (pieces + 1) * 200)
        text += line;
    form.Text3->SetText(text);

    std::vector<double> latencies;
    latencies.reserve(pieces);
    std::atomic<bool> done{false};
    std::thread peer([&] {
        QByteArray frame;
        Clock::time_point idleWritten{};
        bool waiting = false;
        char buf[4096];
        while (!done) {
            pollfd p{pty.master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = read(pty.master, buf, sizeof buf);
            if (n <= 0)
                continue;
            frame.append(buf, int(n));
            // One whole frame: FD, length (2 bytes), that many bytes.
            while (frame.size() >= 3) {
                const int length = (uchar(frame[1]) << 8) | uchar(frame[2]);
                if (frame.size() < 3 + length)
                    break;
                const Clock::time_point lastByte = Clock::now();
                frame.remove(0, 3 + length);
                if (waiting) {
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(lastByte - idleWritten).count());
                    waiting = false;
                }
                if (int(latencies.size()) >= pieces) {
                    done = true;
                    break;
                }
                const char answer[] = {0x41, 0x4F};
                idleWritten = Clock::now();
                if (write(pty.master, answer, 2) == 2)
                    waiting = true;
            }
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    form.Command3_Click();
    app.exec();
    done = true;
    peer.join();

    if (latencies.empty()) {
        std::printf("no piece followed an idle reply\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    const double p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    const double lineTime = 206.0 * 10.0 / 38400.0 * 1000.0; // 53.6 ms
    std::printf("reply to next piece over %zu pieces (206-byte frames)\n", latencies.size());
    std::printf(
        "  median          %8.3f ms  = %5.2f %% of the line time (%.1f ms at 38400 bit/s)\n",
        median, 100.0 * median / lineTime, lineTime);
    std::printf("  99th percentile %8.3f ms  = %5.2f %% of the line time\n", p99,
                100.0 * p99 / lineTime);
    std::printf("  max             %8.3f ms\n", latencies.back());
    std::printf("  goal: median <= 1 ms, 99th percentile <= 5 ms\n");
    std::printf("  traffic recording on: %d records kept\n", form.Traffic.Count());
    return 0;
}
