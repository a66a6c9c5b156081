// vxt4710-cli on a chip on another machine: the simulated chip's
// pseudo-terminal served by ser2net on the loopback, reached as
// rfc2217://127.0.0.1:PORT and socket://127.0.0.1:PORT.
#include "core/demo_texts.h"
#include "core/frame_builders.h"
#include "core/tests/row_name.h"
#include "qt/qt_text.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/cli_process.h"
#include "testsupport/loopback_listener.h"
#include "testsupport/noise_server.h"
#include "testsupport/pty_peer.h"
#include "testsupport/scripted_server.h"
#include "testsupport/ser2net_server.h"

#include <QFile>
#include <QStringEncoder>
#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;
const QString kPortFailure =
    QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备");

struct Cli : CliProcess {
    Cli(const CliConfig& config, const QStringList& args)
        : CliProcess(config, args, QStringLiteral(VXT_CLI_PATH)) {}
    int finish(int timeoutMs = kWaitMs) { return CliProcess::finish(timeoutMs); }
};

// The simulated chip served by ser2net.
struct RemoteChip {
    CliConfig config;
    std::unique_ptr<ChipSim> chip;
    std::unique_ptr<Ser2net> server;

    explicit RemoteChip(double timeScale = 0.01) {
        chip = std::make_unique<ChipSim>(config.ports(), 1, timeScale);
        if (chip->started() && chip->poweredUp())
            server = std::make_unique<Ser2net>(chip->device().toStdString());
    }
    bool ready() const { return server && server->started(); }
    QString problem() const {
        return server ? QString::fromStdString(server->problem()) : "no chip";
    }
    QString rfc2217() const {
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(server->rfc2217Port());
    }
    QString raw() const { return QStringLiteral("socket://127.0.0.1:%1").arg(server->rawPort()); }
    // The server closes the device a little after a connection ends; the
    // next connection waits for that.
    void settle() const {
        const std::string device = chip->device().toStdString();
        WaitUntil([&] { return !server->holds(device); }, 5000);
    }
};

QString IntroFile(const CliConfig& config) {
    QFile file(config.dir.path() + QStringLiteral("/intro.txt"));
    file.open(QIODevice::WriteOnly);
    QStringEncoder gbk("GBK");
    file.write(QByteArray(gbk.encode(ToQString(ChipIntroText()))));
    return file.fileName();
}

// A one-character text whose frame's checksum is 0xFF.
QString TextWithChecksumFF() {
    for (char16_t c = u'一'; c < u'龥'; ++c)
        if (static_cast<uint8_t>(TextFrame(std::u16string(1, c)).back()) == 0xFF)
            return QString(QChar(c));
    return {};
}

TEST(CliOverTheNetwork, SpeaksTheIntroductionWithTheFramesOfADirectLine) {
    // Directly, through the ports folder's link.
    CliConfig direct;
    ChipSim local(direct.ports());
    ASSERT_TRUE(local.started());
    ASSERT_TRUE(local.poweredUp());
    Cli near(direct, {QStringLiteral("speak"), QStringLiteral("-f"), IntroFile(direct)});
    ASSERT_EQ(near.finish(), 0) << near.err.toStdString();
    const QStringList directFrames = SimFramesReceived(local);
    ASSERT_EQ(directFrames.size(), 5);

    RemoteChip remote;
    ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
    for (const QString& port : {remote.rfc2217(), remote.raw()}) {
        const int before = static_cast<int>(SimFramesReceived(*remote.chip).size());
        Cli far(remote.config, {QStringLiteral("--port"), port, QStringLiteral("speak"),
                                QStringLiteral("-f"), IntroFile(remote.config)});
        ASSERT_EQ(far.finish(), 0) << port.toStdString() << ": " << far.err.toStdString();
        EXPECT_EQ(SimFramesReceived(*remote.chip).mid(before), directFrames) << port.toStdString();
        EXPECT_EQ(far.text(), near.text()) << port.toStdString();
        remote.settle();
    }
}

TEST(CliOverTheNetwork, AFrameWithChecksumFFArrivesWhole) {
    const QString text = TextWithChecksumFF();
    ASSERT_FALSE(text.isEmpty());
    RemoteChip remote;
    ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
    Cli cli(remote.config,
            {QStringLiteral("--port"), remote.rfc2217(), QStringLiteral("speak"), text});
    ASSERT_EQ(cli.finish(), 0) << cli.err.toStdString();
    const QStringList frames = SimFramesReceived(*remote.chip);
    ASSERT_EQ(frames.size(), 1);
    EXPECT_TRUE(frames[0].endsWith(QStringLiteral(" FF"))) << frames[0].toStdString();
    EXPECT_TRUE(remote.chip->lines().filter(QStringLiteral("ignored")).isEmpty());
}

TEST(CliOverTheNetwork, TheRateChangeReachesTheRemoteLine) {
    RemoteChip remote;
    ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
    Cli change(remote.config, {QStringLiteral("--port"), remote.rfc2217(), QStringLiteral("rate"),
                               QStringLiteral("19200")});
    ASSERT_EQ(change.finish(), 0) << change.err.toStdString();
    EXPECT_TRUE(change.err.contains(QStringLiteral("now at 19200 bit/s")))
        << change.err.toStdString();
    EXPECT_TRUE(remote.chip->waitForLine(QStringLiteral("rate 19200 bit/s from now on"), kWaitMs));
    remote.settle();

    // The next run asks the server for 19200 and the chip understands it.
    Cli query(remote.config, {QStringLiteral("--port"), remote.rfc2217(), QStringLiteral("--rate"),
                              QStringLiteral("19200"), QStringLiteral("query")});
    ASSERT_EQ(query.finish(), 0) << query.err.toStdString();
    EXPECT_TRUE(query.text().endsWith(QStringLiteral("<-0x4F  芯片空闲\n")));
    EXPECT_TRUE(remote.chip->lines().filter(QStringLiteral("ignored")).isEmpty());
}

// The monitor on both taps of the simulated chip, each served by a port
// server of its own: what vxt4710-cli does on the line comes through whole,
// without a finding, and both taps follow the chip's rate change.
TEST(CliOverTheNetwork, AMonitorWatchesBothTapsThroughTheirServers) {
    CliConfig config;
    ChipSim chip(config.ports(), 1, 0.01,
                 {QStringLiteral("--tap-host"), QStringLiteral("COM2"),
                  QStringLiteral("--tap-chip"), QStringLiteral("COM3")});
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    const auto tap = [&](int n) {
        return QFile::symLinkTarget(config.ports() + QStringLiteral("/com%1").arg(n)).toStdString();
    };
    Ser2net hostServer(tap(2)), chipServer(tap(3));
    ASSERT_TRUE(hostServer.started()) << hostServer.problem();
    ASSERT_TRUE(chipServer.started()) << chipServer.problem();
    const auto address = [](const Ser2net& s) {
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(s.rfc2217Port());
    };
    Cli monitor(config,
                {QStringLiteral("--json"), QStringLiteral("monitor"), QStringLiteral("--host"),
                 address(hostServer), QStringLiteral("--chip"), address(chipServer)});
    ASSERT_TRUE(
        WaitUntil([&] { return hostServer.holds(tap(2)) && chipServer.holds(tap(3)); }, kWaitMs))
        << monitor.err.toStdString();
    PumpEvents(300); // the agreement with both servers is done
    for (const QStringList& args : {QStringList{QStringLiteral("speak"), QStringLiteral("你好")},
                                    QStringList{QStringLiteral("rate"), QStringLiteral("19200")},
                                    QStringList{QStringLiteral("--rate"), QStringLiteral("19200"),
                                                QStringLiteral("query")}}) {
        Cli cli(config, args);
        ASSERT_EQ(cli.finish(), 0) << cli.err.toStdString();
    }
    // The servers set both taps to the chip's new rate, while the monitor is
    // their client (a server gives a port its first settings back after).
    const auto speed = [&](int n) {
        termios tio{};
        const int fd = ::open(tap(n).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        const bool read = fd >= 0 && ::tcgetattr(fd, &tio) == 0;
        if (fd >= 0)
            ::close(fd);
        return read ? cfgetospeed(&tio) : speed_t(0);
    };
    EXPECT_TRUE(WaitUntil([&] { return speed(2) == B19200 && speed(3) == B19200; }, kWaitMs))
        << speed(2) << " " << speed(3);
    PumpEvents(300);
    monitor.signal(SIGINT);
    EXPECT_EQ(monitor.finish(), 0) << monitor.err.toStdString() << monitor.out.toStdString();

    QStringList seen;
    for (const QByteArray& line : monitor.out.trimmed().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.contains(QStringLiteral("\"dir\": \"host\"")))
            seen << text.section(QStringLiteral("\"bytes\": \""), 1).section(u'"', 0, 0);
        EXPECT_FALSE(text.contains(QStringLiteral("\"findings\": [\""))) << line.toStdString();
    }
    EXPECT_EQ(seen,
              (QStringList{QString::fromLatin1(ToQBytes(TextFrame(u"你好")).toHex(' ').toUpper()),
                           QStringLiteral("FD 00 03 31 01 CE"), QStringLiteral("FD 00 02 21 DE")}));
}

TEST(CliOverTheNetwork, ARawPortRefusesTheRateChangeBeforeAnythingIsSent) {
    RemoteChip remote;
    ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
    Cli change(remote.config, {QStringLiteral("--port"), remote.raw(), QStringLiteral("rate"),
                               QStringLiteral("19200")});
    EXPECT_EQ(change.finish(), 3);
    EXPECT_TRUE(change.err.contains(QStringLiteral("cannot be changed from here")))
        << change.err.toStdString();
    PumpEvents(200);
    EXPECT_TRUE(SimFramesReceived(*remote.chip).isEmpty());
}

TEST(CliOverTheNetwork, AServerStoppedMidTextEndsWithStatus3) {
    RemoteChip remote(1.0); // speaking in real time: the text takes seconds
    ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
    Cli cli(remote.config, {QStringLiteral("--port"), remote.rfc2217(), QStringLiteral("speak"),
                            QStringLiteral("-f"), IntroFile(remote.config)});
    ASSERT_TRUE(remote.chip->waitForLine(QStringLiteral("speak "), kWaitMs));
    remote.server->stop();
    EXPECT_EQ(cli.finish(), 3);
    // A network port's own first line: no serial-adapter hint.
    EXPECT_FALSE(cli.err.contains(kPortFailure)) << cli.err.toStdString();
    EXPECT_TRUE(cli.err.startsWith(QStringLiteral("vxt4710-cli: network port ") + remote.rfc2217() +
                                   QStringLiteral(": ")))
        << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QStringLiteral("closed by the server"))) << cli.err.toStdString();
}

// A COM name whose link's target is the address: listed with the address
// and used as the address.
TEST(CliOverTheNetwork, AComNameBoundToAnAddressIsThatPort) {
    RemoteChip remote;
    ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
    for (const QString& address : {remote.rfc2217(), remote.raw()}) {
        QFile::remove(remote.config.ports() + QStringLiteral("/com3"));
        ASSERT_TRUE(QFile::link(address, remote.config.ports() + QStringLiteral("/com3")));
        Cli list(remote.config, {QStringLiteral("ports")});
        ASSERT_EQ(list.finish(), 0) << list.err.toStdString();
        EXPECT_TRUE(list.text().contains(QStringLiteral("COM3\t") + address + u'\n'))
            << list.text().toStdString();

        Cli query(remote.config,
                  {QStringLiteral("--port"), QStringLiteral("com3"), QStringLiteral("query")});
        ASSERT_EQ(query.finish(), 0) << address.toStdString() << ": " << query.err.toStdString();
        EXPECT_TRUE(query.text().endsWith(QStringLiteral("<-0x4F  芯片空闲\n")))
            << query.text().toStdString();
        EXPECT_TRUE(query.err.isEmpty()) << query.err.toStdString();
        remote.settle();
    }
}

// A server that floods noise and never agrees: the program gives up at its
// deadline with 3, its memory bounded (what it keeps before the agreement is
// at most 64 KiB; unbounded, it grew past 500 MB).
TEST(CliOverTheNetwork, NoiseInsteadOfTheAgreementEndsWith3AndMemoryBounded) {
    NoiseServer server;
    CliConfig config;
    Cli cli(config,
            {QStringLiteral("--port"), QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()),
             QStringLiteral("query")});
    EXPECT_EQ(cli.finish(), 3) << cli.err.toStdString();
#if !defined(__SANITIZE_ADDRESS__)
    // (The address sanitizer keeps freed memory in quarantine: no measure there.)
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 100 * 1024) << "KiB"; // the program and any earlier child
#endif
}

// Agreed and then silent: given up at the line's 5 s deadline, as a port
// failure, before the longer wait for the chip's reply ends.
TEST(CliOverTheNetwork, AServerSilentAfterTheAgreementEndsWithStatus3) {
    CliConfig config;
    ScriptedServer server({{{0, ComPortWithoutBinary()}}});
    Cli cli(config,
            {QStringLiteral("--port"), QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()),
             QStringLiteral("--timeout"), QStringLiteral("12"), QStringLiteral("query")});
    EXPECT_EQ(cli.finish(), 3);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("network port rfc2217://127.0.0.1:")))
        << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QStringLiteral("did not answer the offer of telnet option 0")))
        << cli.err.toStdString();
}

struct FailureCase {
    const char* what;
    QString port; // %1: a free port, or the silent server's
    const char* says;
    // A server that takes the connection (the system's queue accepts it)
    // and never says a word.
    bool silentServer = false;
};

// A listening socket on 127.0.0.1 that never accepts.
struct SilentServer {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    SilentServer() { port = ListenOnLoopback(fd, 4); }
    ~SilentServer() { ::close(fd); }
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.what;
}

class CliNetworkFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliNetworkFailures, EndWithStatus3AndTheReason) {
    const FailureCase& c = GetParam();
    CliConfig config;
    SilentServer silent;
    const uint16_t free = c.silentServer ? silent.port : FreeLoopbackPort();
    const QString port = c.port.contains(QStringLiteral("%1")) ? c.port.arg(free) : c.port;
    Cli cli(config, {QStringLiteral("--port"), port, QStringLiteral("query")});
    EXPECT_EQ(cli.finish(), 3) << c.what;
    // The first line names the address and why, without the serial hint.
    EXPECT_FALSE(cli.err.contains(kPortFailure)) << cli.err.toStdString();
    const QString first = cli.err.section(u'\n', 0, 0);
    EXPECT_TRUE(first.contains(port) && first.contains(QString::fromUtf8(c.says)))
        << cli.err.toStdString();
    EXPECT_EQ(cli.err.count(u'\n'), 1) << cli.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliNetworkFailures,
    ::testing::Values(
        FailureCase{"refused", QStringLiteral("rfc2217://127.0.0.1:%1"), "connection refused"},
        FailureCase{"refused raw", QStringLiteral("socket://127.0.0.1:%1"), "connection refused"},
        FailureCase{"no such name", QStringLiteral("rfc2217://nonexistent.invalid:7001"),
                    "name not found"},
        FailureCase{"no port", QStringLiteral("rfc2217://lab1"), "missing port"},
        FailureCase{"port out of range", QStringLiteral("socket://lab1:70000"), "out of range"},
        FailureCase{"a server that never answers the negotiation",
                    QStringLiteral("rfc2217://127.0.0.1:%1"), "did not answer", true}),
    vxt_test::RowName());

} // namespace
