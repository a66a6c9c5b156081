// vxt4710-cli against a peer on a pseudo-terminal:
// 1. process start to the first frame byte on the line (median of 20 runs);
// 2. idle reply to the next piece: the peer answers each text frame at once
//    with 0x41 0x4F; time from the idle byte written to the last byte of the
//    next piece read, over 1,000 pieces, beside the window's figure measured
//    the same way in the same run.
#include "bench/bench_pty.h"
#include "bench/reply_measure.h"
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
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> v, int percent) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * percent / 100)];
}


pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Process start to the first byte of the query frame on the line.
std::vector<double> StartToFirstByte(const BenchPty& pty, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        const pid_t pid =
            Spawn({VXT_CLI_PATH, "--port", pty.device.toStdString(), "--timeout", "5", "query"});
        if (pid < 0)
            break;
        pollfd p{pty.master, POLLIN, 0};
        if (poll(&p, 1, 5000) == 1)
            times.push_back(Ms(Clock::now() - start));
        char buf[64];
        usleep(2000);
        while (read(pty.master, buf, sizeof buf) > 0) {
        }
        const char idle = 0x4F;
        [[maybe_unused]] const ssize_t n = write(pty.master, &idle, 1);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return times;
}

// Lines of 48 characters and CR LF: pieces of exactly 200 bytes.
QString LongText(int pieces) {
    QString text;
    const QString line = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL\r\n");
    while (text.size() < (pieces + 1) * 200)
        text += line;
    return text;
}

// capture: the program also writes the traffic into a capture file.
std::vector<double> CliReplyToNextPiece(int pieces, bool capture = false) {
    BenchPty pty;
    QTemporaryDir dir;
    QFile file(dir.path() + QStringLiteral("/text.txt"));
    if (!pty.ok() || !file.open(QIODevice::WriteOnly))
        return {};
    file.write(LongText(pieces).toUtf8());
    file.close();
    std::vector<std::string> args = {VXT_CLI_PATH, "--port", pty.device.toStdString(), "--rate",
                                     "38400"};
    if (capture)
        args.insert(args.end(), {"--capture", (dir.path() + "/talk.pcapng").toStdString()});
    args.insert(args.end(), {"speak", "-f", file.fileName().toStdString()});
    const pid_t pid = Spawn(args);
    if (pid < 0)
        return {};
    std::atomic<bool> stop{false};
    std::vector<double> latencies = reply_bench::AnswerFrames(pty.master, pieces, stop);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return latencies;
}

std::vector<double> WindowReplyToNextPiece(QApplication& app, int pieces) {
    BenchPty pty;
    if (!pty.ok())
        return {};
    const std::unique_ptr<Form1Window> console = ConsoleOn(pty);
    Form1Window& form = *console;
    if (!form.MSComm1->PortOpen())
        return {};
    form.Widget(&Form1::Combo2)->SetListIndex(2);
    form.Combo2_Click(); // 38400 bit/s
    form.Widget(&Form1::Text3)->SetText(LongText(pieces));
    std::atomic<bool> stop{false};
    std::vector<double> latencies;
    std::thread peer([&] {
        latencies = reply_bench::AnswerFrames(pty.master, pieces, stop);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    form.Command3_Click();
    app.exec();
    stop = true;
    peer.join();
    return latencies;
}

} // namespace

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
    const std::vector<double> start = StartToFirstByte(pty, 20);
    const std::vector<double> cli = CliReplyToNextPiece(pieces);
    const std::vector<double> window = WindowReplyToNextPiece(app, pieces);
    if (start.empty() || cli.empty() || window.empty()) {
        std::printf("a measurement got no samples (start %zu, cli %zu, window %zu)\n", start.size(),
                    cli.size(), window.size());
        return 1;
    }
    std::printf("vxt4710-cli process start to the first frame byte on the line, %zu runs\n",
                start.size());
    std::printf("  median          %8.3f ms   (max %.3f ms)   goal: <= 30 ms\n",
                Percentile(start, 50), Percentile(start, 100));
    std::printf("idle reply to the next piece, 206-byte frames at 38400 bit/s\n");
    std::printf("                  %12s %12s\n", "vxt4710-cli", "window");
    std::printf("  pieces          %12zu %12zu\n", cli.size(), window.size());
    std::printf("  median          %9.3f ms %9.3f ms\n", Percentile(cli, 50),
                Percentile(window, 50));
    std::printf("  99th percentile %9.3f ms %9.3f ms\n", Percentile(cli, 99),
                Percentile(window, 99));
    std::printf("  max             %9.3f ms %9.3f ms\n", Percentile(cli, 100),
                Percentile(window, 100));
    std::printf("  goal: the program no slower than the window (median ratio %.2f)\n",
                Percentile(cli, 50) / Percentile(window, 50));

    // The same with --capture, in turns (what runs first is measured slower).
    const int rounds = argc > 2 ? atoi(argv[2]) : 3;
    std::vector<double> plain, captured;
    for (int round = 0; round < rounds; ++round) {
        for (const bool capture : {round % 2 == 1, round % 2 == 0}) {
            const double median = Percentile(CliReplyToNextPiece(pieces, capture), 50);
            (capture ? captured : plain).push_back(median);
            std::printf("round %d, %s: idle reply to the next piece median %.3f ms\n", round + 1,
                        capture ? "with --capture" : "without", median);
        }
    }
    std::printf("  median of the rounds: without %.3f ms, with --capture %.3f ms (ratio %.2f, "
                "goal <= 1.05)\n",
                Percentile(plain, 50), Percentile(captured, 50),
                Percentile(captured, 50) / Percentile(plain, 50));
    return 0;
}
