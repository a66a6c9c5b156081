// Reply to next piece (bench/reply_measure.h): first with COM1 linked to
// the pseudo-terminal, then with COM1 linked to rfc2217://127.0.0.1:PORT of
// the port server serving the same terminal.
#include "bench/reply_measure.h"
#ifdef VXT_SER2NET_PATH
#include "testsupport/ser2net_server.h"
#endif

#include <QDir>
#include <QTemporaryDir>

using namespace reply_bench;

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
    const std::vector<double> direct = Measure(app, pty, pieces);
    Print("direct (pseudo-terminal)", direct);
    std::printf("  goal: median <= 1 ms, 99th percentile <= 5 ms\n");
    if (direct.empty())
        return 1;

#ifdef VXT_SER2NET_PATH
    // As the server comes, and without its wait for more characters from
    // the serial port before it sends them on.
    for (const char* option : {"", "chardelay: false"}) {
        Ser2net server(pty.device.toStdString(), option);
        if (!server.started()) {
            std::printf("over the loopback: %s\n", server.problem().c_str());
            return 1;
        }
        pty.relink(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.rfc2217Port()));
        const std::vector<double> remote = Measure(app, pty, pieces);
        const std::string what = std::string("rfc2217:// over the loopback (ser2net") +
                                 (*option ? std::string(", ") + option : std::string()) + ")";
        Print(what.c_str(), remote);
        if (remote.empty())
            return 1;
        std::printf("  over the loopback - direct: median %+.3f ms (goal: <= 2 ms)\n",
                    Median(remote) - Median(direct));
    }
#else
    std::printf("over the loopback: not measured (no ser2net when this was built)\n");
#endif
    return 0;
}
