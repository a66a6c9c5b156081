// A line that floods the window with noise at full speed for a minute (or
// the seconds given), from a pseudo-terminal and from a socket:// port on the
// loopback, the analysis window open. Each run is a child process of its
// own; the work log is either cleared every 10 s (as a user does with
// 清空--工作记录) or kept. Prints the resident memory at the start, halfway
// and at the end, its peak, what arrived, what the log and the traffic
// record hold, and how late a 20 ms timer of the event loop ran.
#include "bench/bench_pty.h"
#include "qt/form1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>

namespace {

// Random bytes, refilled now and then so that the writer stays fast.
void Fill(QRandomGenerator& random, QByteArray* chunk) {
    for (char& c : *chunk)
        c = char(random.bounded(256));
}

// Writes noise to fd as fast as it takes it until stop.
void Flood(int fd, bool socket, const std::atomic<bool>& stop, std::atomic<long long>* sent) {
    QRandomGenerator random(4710);
    QByteArray chunk(16384, '\0');
    for (int turn = 0; !stop; ++turn) {
        if (turn % 64 == 0)
            Fill(random, &chunk);
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = socket ? ::send(fd, chunk.constData(), size_t(chunk.size()),
                                          MSG_DONTWAIT | MSG_NOSIGNAL)
                                 : ::write(fd, chunk.constData(), size_t(chunk.size()));
        if (n > 0)
            *sent += n;
        else if (socket && errno != EAGAIN)
            return;
    }
}

int RunOne(bool net, bool clearLog, int seconds) {
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    BenchPty pty;
    if (!pty.ok())
        return 1;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    if (net)
        pty.relink(QStringLiteral("socket://127.0.0.1:%1").arg(ntohs(a.sin_port)));

    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread writer([&] {
        int fd = pty.master;
        if (net) {
            pollfd p{listener, POLLIN, 0};
            while (!stop && ::poll(&p, 1, 20) == 0) {
            }
            if (stop)
                return;
            fd = ::accept(listener, nullptr, nullptr);
        }
        Flood(fd, net, stop, &sent);
        if (net)
            ::close(fd);
    });

    const std::unique_ptr<Form1Window> console = ConsoleOn(pty);
    Form1Window& form = *console;
    if (!form.MSComm1->PortOpen()) {
        stop = true;
        writer.join();
        return 1;
    }
    form.OpenAnalysis();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    long rss[3] = {ResidentKiB(), 0, 0};
    long rssMax = rss[0];
    qint64 lateMax = 0;
    long long logChars = 0;
    clock.restart();
    qint64 expected = 20, lastClear = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        lateMax = std::max(lateMax, now - expected);
        expected = now + 20;
        rssMax = std::max(rssMax, ResidentKiB());
        if (!rss[1] && now >= seconds * 500LL)
            rss[1] = ResidentKiB();
        if (clearLog && now - lastClear >= 10000) {
            lastClear = now;
            logChars += form.Widget(&Form1::Text4)->Length();
            form.Command2_Click(); // 清空--工作记录
        }
        if (now >= seconds * 1000LL)
            QCoreApplication::quit();
    });
    tick.start(20);
    QCoreApplication::exec();
    rss[2] = ResidentKiB();
    stop = true;
    writer.join();
    ::close(listener);
    logChars += form.Widget(&Form1::Text4)->Length();
    std::printf("%ld %ld %ld %ld %lld %lld %d %lld %lld\n", rss[0], rss[1], rss[2], rssMax,
                sent.load(), logChars, form.Traffic.Count(),
                static_cast<long long>(form.Traffic.Dropped()), static_cast<long long>(lateMax));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 3 && args[1] == QLatin1String("--one"))
        return RunOne(args[2] == QLatin1String("net"), args[3] == QLatin1String("cleared"),
                      args.value(4).toInt());
    const int seconds = args.size() > 1 ? std::max(2, args[1].toInt()) : 60;

    std::printf("bench_flood: %d s of noise at full speed, the analysis window open\n", seconds);
    std::printf("  %-22s %9s %9s %9s %9s %9s %10s %8s %9s %7s\n", "source, log", "start KiB",
                "half KiB", "end KiB", "peak KiB", "in MB", "log chars", "records", "dropped",
                "late ms");
    for (const char* source : {"pty", "net"}) {
        for (const char* log : {"cleared", "kept"}) {
            QProcess child;
            child.start(app.applicationFilePath(),
                        {QStringLiteral("--one"), QString::fromLatin1(source),
                         QString::fromLatin1(log), QString::number(seconds)});
            if (!child.waitForFinished(seconds * 1000 + 120000) || child.exitCode() != 0) {
                std::fprintf(stderr, "%s/%s failed\n", source, log);
                return 1;
            }
            long r0 = 0, r1 = 0, r2 = 0, peak = 0;
            long long in = 0, chars = 0, dropped = 0, late = 0;
            int records = 0;
            std::sscanf(child.readAllStandardOutput().constData(),
                        "%ld %ld %ld %ld %lld %lld %d %lld %lld", &r0, &r1, &r2, &peak, &in, &chars,
                        &records, &dropped, &late);
            std::printf("  %-22s %9ld %9ld %9ld %9ld %9.1f %10lld %8d %9lld %7lld\n",
                        (std::string(source[0] == 'p' ? "pty" : "socket://") + ", " + log).c_str(),
                        r0, r1, r2, peak, double(in) / 1e6, chars, records, dropped, late);
        }
    }
    return 0;
}
