// Reply to next piece, measured on the window: the real serial control on
// a pseudo-terminal, a peer that answers each text frame at once with 0x41
// 0x4F, and continuous playback of a long text; the time from the idle byte
// written by the peer to the last byte of the next piece read by the peer.
// Shared by the benchmarks that measure it beside something else.
#pragma once

#include "bench/bench_pty.h"
#include "qt/form1.h"
#include "serial/serial_comm_control.h"

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <vector>

namespace reply_bench {

using Clock = std::chrono::steady_clock;

// Plays the chip: answers every whole frame on master with 0x41 0x4F and
// records the time from the idle byte to the last byte of the next frame,
// until `pieces` are measured, stop is set or the line is quiet for 10 s.
inline std::vector<double> AnswerFrames(int master, int pieces, const std::atomic<bool>& stop) {
    std::vector<double> latencies;
    latencies.reserve(pieces);
    QByteArray frame;
    Clock::time_point idleWritten{};
    bool waiting = false;
    char buf[4096];
    int quietPolls = 0;
    while (!stop && int(latencies.size()) < pieces && quietPolls < 100) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            ++quietPolls;
            continue;
        }
        quietPolls = 0;
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        frame.append(buf, int(n));
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
            const char answer[] = {0x41, 0x4F};
            idleWritten = Clock::now();
            if (write(master, answer, 2) == 2)
                waiting = true;
        }
    }
    return latencies;
}

// One run of continuous playback over COM1 as it is linked now; the
// latencies in ms, sorted, or nothing when the port did not open.
inline std::vector<double> Measure(QApplication& app, const BenchPty& pty, int pieces) {
    std::vector<double> latencies;
    const std::unique_ptr<Form1Window> console = ConsoleOn(pty);
    Form1Window& form = *console;
    if (!form.MSComm1->PortOpen())
        return latencies;
    form.Widget(&Form1::Combo2)->SetListIndex(2);
    form.Combo2_Click(); // 38400 bit/s
    // What the open left on the line (nothing a frame waits for).
    app.processEvents();
    char drop[4096];
    while (read(pty.master, drop, sizeof drop) > 0) {
    }

    // pieces + 1 frames of 200 bytes: lines of 48 characters and CR LF.
    QString text;
    const QString line = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL\r\n");
    while (text.size() < (pieces + 1) * 200)
        text += line;
    form.Widget(&Form1::Text3)->SetText(text);

    std::atomic<bool> done{false};
    std::thread peer([&] {
        latencies = AnswerFrames(pty.master, pieces, done);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    form.Command3_Click();
    app.exec();
    done = true;
    peer.join();
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

inline void Print(const char* what, const std::vector<double>& latencies) {
    if (latencies.empty()) {
        std::printf("%s: no piece followed an idle reply\n", what);
        return;
    }
    const double median = latencies[latencies.size() / 2];
    const double p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    const double lineTime = 206.0 * 10.0 / 38400.0 * 1000.0; // 53.6 ms
    std::printf("%s: reply to next piece over %zu pieces (206-byte frames)\n", what,
                latencies.size());
    std::printf(
        "  median          %8.3f ms  = %5.2f %% of the line time (%.1f ms at 38400 bit/s)\n",
        median, 100.0 * median / lineTime, lineTime);
    std::printf("  99th percentile %8.3f ms  = %5.2f %% of the line time\n", p99,
                100.0 * p99 / lineTime);
    std::printf("  max             %8.3f ms\n", latencies.back());
}

inline double Median(const std::vector<double>& v) {
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace reply_bench
