// The window on a chip on another machine: COM1's link names the address of
// ser2net serving the simulated chip's pseudo-terminal on the loopback.
#include "core/form1.h"
#include "qt/qt_text.h"
#include "serial/port_names.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/cli_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/loopback_listener.h"
#include "testsupport/pty_peer.h"
#include "testsupport/ser2net_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWaitMs = 20000;
const QString kOkRate = QStringLiteral("<-0x41  接收成功   波特率已修改成功");
const QString kIdle = QStringLiteral("<-0x4F  芯片空闲");

// The window's port: a link to a path or to an address.
enum class Via { Direct, Rfc2217, Raw };

// The simulated chip, directly on COM1 or served by ser2net and reached
// through COM1's link to the address; the window on COM1.
struct ChipAndWindow {
    PortsFolder chipPorts;   // where the simulator makes its link
    PortsFolder windowPorts; // the window's COM1
    std::unique_ptr<ChipSim> chip;
    std::unique_ptr<Ser2net> server;
    std::unique_ptr<FormHarness> h;

    explicit ChipAndWindow(Via via, double timeScale = 0.01) {
        chip = std::make_unique<ChipSim>(chipPorts.path(), 1, timeScale);
        if (!chip->started())
            return;
        if (via == Via::Direct) {
            windowPorts.link(1, chip->device());
        } else {
            server = std::make_unique<Ser2net>(chip->device().toStdString());
            if (!server->started())
                return;
            windowPorts.link(
                1, via == Via::Rfc2217
                       ? QStringLiteral("rfc2217://127.0.0.1:%1").arg(server->rfc2217Port())
                       : QStringLiteral("socket://127.0.0.1:%1").arg(server->rawPort()));
        }
        h = FormHarness::Real(windowPorts.path());
    }
    // The port connects in the background: ready once it is through.
    bool ready() const {
        return h && WaitUntil([&] { return !(*h)->MSComm1->Connecting(1); }, kWaitMs) &&
               (*h)->MSComm1->PortOpen() && h->messages.isEmpty();
    }
    QString problem() const {
        if (!chip->started())
            return QStringLiteral("no chip");
        if (server && !server->started())
            return QString::fromStdString(server->problem());
        return h ? h->messages.join(u'|') : QStringLiteral("no window");
    }
    Form1Window* operator->() const { return h->form.get(); }
    QString log() const { return h->log(); }
};

// Plays the chip introduction and returns the frames the chip received.
QStringList PlayIntroduction(ChipAndWindow& w) {
    w->Command31_Click();
    w->Command3_Click();
    WaitUntil([&] { return w->PlayAllActive == 0; }, kWaitMs);
    // Playing ends as the last frame is written: over a port server it may
    // not have reached the chip yet. Every frame the window sent counts.
    const int frames = static_cast<int>(w.log().count(QStringLiteral("发出一帧")));
    WaitUntil([&] { return SimFramesReceived(*w.chip).size() >= frames; }, kWaitMs);
    WaitUntil(
        [&] { return w.chip->lines().filter(QStringLiteral("done speaking")).size() >= frames; },
        kWaitMs);
    return SimFramesReceived(*w.chip);
}

TEST(WindowOverTheNetwork, SpeaksTheIntroductionWithTheFramesOfADirectLine) {
    ChipAndWindow direct(Via::Direct);
    ASSERT_TRUE(direct.ready()) << direct.problem().toStdString();
    const QStringList directFrames = PlayIntroduction(direct);
    ASSERT_GE(directFrames.size(), 5);

    for (Via via : {Via::Rfc2217, Via::Raw}) {
        ChipAndWindow remote(via);
        ASSERT_TRUE(remote.ready()) << remote.problem().toStdString();
        const QStringList frames = PlayIntroduction(remote);
        EXPECT_TRUE(frames == directFrames)
            << static_cast<int>(via) << ": " << frames.size() << " frames";
        EXPECT_TRUE(remote.h->messages.isEmpty());
    }
}

TEST(WindowOverTheNetwork, TheRateChangeReachesTheRemoteLine) {
    ChipAndWindow w(Via::Rfc2217);
    ASSERT_TRUE(w.ready()) << w.problem().toStdString();
    w->Widget(&Form1::Combo5)->SetListIndex(1);
    w->Command11_Click();
    ASSERT_TRUE(WaitUntil([&] { return w.log().contains(kOkRate); }, kWaitMs))
        << w.log().toStdString();
    EXPECT_TRUE(w.chip->waitForLine(QStringLiteral("rate 19200 bit/s from now on"), kWaitMs));
    EXPECT_EQ(w->MSComm1->Settings(), "19200,N,8,1");
    EXPECT_EQ(w->Widget(&Form1::Combo2)->ListIndex(), 1);
    EXPECT_TRUE(w->MSComm1->PortOpen());

    // The server's line is at 19200 now: the chip understands the next frame.
    w->Command28_Click();
    ASSERT_TRUE(
        WaitUntil([&] { return w.log().endsWith(kIdle + QStringLiteral("\r\n")); }, kWaitMs))
        << w.log().toStdString();
    EXPECT_TRUE(w.chip->lines().filter(QStringLiteral("ignored")).isEmpty());
    EXPECT_TRUE(w.h->messages.isEmpty()) << w.problem().toStdString();
}

TEST(WindowOverTheNetwork, ARawPortRefusesTheRateChangeBeforeAnythingIsSent) {
    ChipAndWindow w(Via::Raw);
    ASSERT_TRUE(w.ready()) << w.problem().toStdString();
    PumpEvents(500); // the chip's report of the open
    const QString logBefore = w.log();
    w->Widget(&Form1::Combo5)->SetListIndex(1);
    w->Command11_Click();
    EXPECT_EQ(w.h->messages, QStringList{ToQString(kRawRateRefusalText)});
    EXPECT_EQ(w->BaudChangePending, 0);
    PumpEvents(300);
    EXPECT_TRUE(SimFramesReceived(*w.chip).isEmpty());
    EXPECT_EQ(w.log(), logBefore);
}

TEST(WindowOverTheNetwork, AServerStoppedMidTextGivesOneMessageAndTheNextSendConnectsAgain) {
    ChipAndWindow w(Via::Rfc2217, 1.0); // speaking in real time: the text takes seconds
    ASSERT_TRUE(w.ready()) << w.problem().toStdString();
    w->Command31_Click();
    w->Command3_Click();
    ASSERT_TRUE(w.chip->waitForLine(QStringLiteral("speak "), kWaitMs));
    w.server->stop();
    // Like an adapter pulled out: the port closes quietly.
    EXPECT_TRUE(WaitUntil([&] { return !w->MSComm1->PortOpen(); }, 5000));
    PumpEvents(300);
    EXPECT_TRUE(w.h->messages.isEmpty());

    w->Command28_Click(); // nobody listens: one message, with the address and why
    EXPECT_TRUE(WaitUntil([&] { return !w.h->messages.isEmpty(); }, kWaitMs));
    ASSERT_EQ(w.h->messages.size(), 1);
    EXPECT_TRUE(w.h->messages[0].startsWith(
        kPortFailureMessage + QStringLiteral("\r\nrfc2217://127.0.0.1:%1: connection refused")
                                  .arg(w.server->rfc2217Port())))
        << w.h->messages[0].toStdString();

    w.server->start();
    ASSERT_TRUE(w.server->started()) << w.server->problem();
    const int before = static_cast<int>(SimFramesReceived(*w.chip).size());
    w->Command28_Click();
    EXPECT_TRUE(
        WaitUntil([&] { return SimFramesReceived(*w.chip).size() == before + 1; }, kWaitMs));
    EXPECT_TRUE(w->MSComm1->PortOpen());
    EXPECT_EQ(w.h->messages.size(), 1);
}

// A listening socket on 127.0.0.1 at a free port, served by run() on a
// thread of its own (opening the port waits in place) until the server goes.
class LoopbackServer {
  public:
    LoopbackServer() { port_ = ListenOnLoopback(listener_, 4); }
    virtual ~LoopbackServer() { ::close(listener_); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    uint16_t port() const { return port_; }

  protected:
    // Called by the server's constructor, once its own members are there.
    void start() {
        thread_ = std::thread([this] { run(); });
    }
    // Called by the server's destructor, while its own members are still there.
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    virtual void run() = 0;

    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::atomic<bool> stop_{false};

  private:
    uint16_t port_ = 0;
    std::thread thread_;
};

// A server that takes one connection and then misbehaves.
enum class Hostile { Garbage, EndlessNegotiation, Silent };

class HostileServer : public LoopbackServer {
  public:
    explicit HostileServer(Hostile how) : how_(how) { start(); }
    ~HostileServer() override { stop(); }

  private:
    void run() override {
        int fd = -1;
        uint32_t seed = 12345;
        std::string chunk;
        while (!stop_) {
            pollfd p{fd < 0 ? listener_ : fd, POLLIN, 0};
            ::poll(&p, 1, 20);
            if (fd < 0) {
                if (p.revents & POLLIN)
                    fd = ::accept(listener_, nullptr, nullptr);
                continue;
            }
            char sink[4096];
            if ((p.revents & POLLIN) && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) == 0)
                break; // the client gave up
            chunk.clear();
            if (how_ == Hostile::Garbage) {
                for (int i = 0; i < 512; ++i) {
                    seed = seed * 1103515245 + 12345;
                    chunk += static_cast<char>(seed >> 16);
                }
            } else if (how_ == Hostile::EndlessNegotiation) {
                // Offers, and a subnegotiation that never ends.
                chunk = "\xff\xfb\x01\xff\xfd\x03\xff\xfb\x2c\xff\xfa\x2c\x65";
                chunk += std::string(64, 'x');
            }
            if (!chunk.empty())
                ::send(fd, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        if (fd >= 0)
            ::close(fd);
    }

    Hostile how_;
};

struct HostileCase {
    const char* what;
    Hostile how;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.what;
}

class WindowOnAHostileServer : public ::testing::TestWithParam<HostileCase> {};

TEST_P(WindowOnAHostileServer, GetsThePortFailureMessageWithinTheTimeout) {
    HostileServer server(GetParam().how);
    PortsFolder ports;
    ports.link(1, QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    QElapsedTimer clock;
    clock.start();
    auto h = FormHarness::Real(ports.path()); // opens COM1 on start, in the background
    EXPECT_TRUE(WaitUntil([&] { return !h->messages.isEmpty(); }, 15000));
    PumpEvents(300);
    ASSERT_EQ(h->messages.size(), 1);
    EXPECT_TRUE(h->messages[0].startsWith(
        kPortFailureMessage + QStringLiteral("\r\nrfc2217://127.0.0.1:%1: ").arg(server.port())))
        << h->messages[0].toStdString();
    EXPECT_FALSE((*h)->MSComm1->PortOpen());
    // The timeout is 5 s; a wide margin for a loaded machine.
    EXPECT_LT(clock.elapsed(), 15000);
}

INSTANTIATE_TEST_SUITE_P(Servers, WindowOnAHostileServer,
                         ::testing::Values(HostileCase{"garbage", Hostile::Garbage},
                                           HostileCase{"endless negotiation",
                                                       Hostile::EndlessNegotiation},
                                           HostileCase{"never answers", Hostile::Silent}),
                         [](const auto& info) { return std::to_string(info.index); });

// A port server of the test's own that agrees to everything, confirms
// every COM-PORT request and answers each whole frame with 0x41: it counts
// the connections and keeps the last rate asked for.
class AgreeableServer : public LoopbackServer {
  public:
    AgreeableServer() { start(); }
    ~AgreeableServer() override { stop(); }
    int connections() const { return connections_; }
    uint32_t rate() const { return rate_; }

  private:
    void run() override {
        std::vector<int> fds;
        std::string in, frame;
        while (!stop_) {
            std::vector<pollfd> p{{listener_, POLLIN, 0}};
            for (int fd : fds)
                p.push_back({fd, POLLIN, 0});
            ::poll(p.data(), p.size(), 20);
            if (p[0].revents & POLLIN) {
                const int fd = ::accept(listener_, nullptr, nullptr);
                fds.push_back(fd);
                ++connections_;
                in.clear();
                frame.clear();
                send(fd, std::string("\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c", 9));
            }
            for (size_t i = 1; i < p.size(); ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP)))
                    continue;
                char buf[4096];
                const ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    ::close(p[i].fd);
                    fds.erase(std::find(fds.begin(), fds.end(), p[i].fd));
                    continue;
                }
                in.append(buf, size_t(n));
                take(p[i].fd, &in, &frame);
            }
        }
        for (int fd : fds)
            ::close(fd);
    }
    // Negotiation and COM-PORT requests answered; the data gathered into
    // frames, each answered with 0x41.
    void take(int fd, std::string* in, std::string* frame) {
        size_t i = 0;
        while (i < in->size()) {
            const auto b = uint8_t((*in)[i]);
            if (b != 0xFF) {
                *frame += char(b);
                ++i;
            } else if (i + 1 >= in->size()) {
                break;
            } else if (uint8_t((*in)[i + 1]) == 0xFF) {
                *frame += '\xff';
                i += 2;
            } else if (uint8_t((*in)[i + 1]) == 0xFA) {
                const size_t end = in->find("\xff\xf0", i);
                if (end == std::string::npos)
                    break;
                std::string sub = in->substr(i + 2, end - i - 2); // 2C cmd value
                if (sub.size() >= 2 && uint8_t(sub[1]) == 1 && sub.size() == 6)
                    rate_ = uint32_t(uint8_t(sub[2])) << 24 | uint32_t(uint8_t(sub[3])) << 16 |
                            uint32_t(uint8_t(sub[4])) << 8 | uint8_t(sub[5]);
                if (sub.size() >= 2)
                    sub[1] = char(uint8_t(sub[1]) + 100);
                send(fd, "\xff\xfa" + sub + "\xff\xf0");
                i = end + 2;
            } else {
                i += 3; // WILL, WONT, DO, DONT and their option
            }
        }
        in->erase(0, std::min(i, in->size()));
        while (frame->size() >= 3) {
            const size_t length = size_t(uint8_t((*frame)[1])) << 8 | uint8_t((*frame)[2]);
            if (frame->size() < 3 + length)
                break;
            frame->erase(0, 3 + length);
            send(fd, "\x41");
        }
    }
    static void send(int fd, const std::string& bytes) {
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    std::atomic<int> connections_{0};
    std::atomic<uint32_t> rate_{0};
};

// The rate change asks the server on the connection that is open: a server
// that holds its port for the old connection must not see a second one.
TEST(WindowOverTheNetwork, TheRateChangeKeepsTheConnection) {
    AgreeableServer server;
    PortsFolder ports;
    ports.link(1, QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    auto h = FormHarness::Real(ports.path());
    ASSERT_TRUE(WaitUntil([&] { return !(*h)->MSComm1->Connecting(1); }, kWaitMs));
    ASSERT_TRUE((*h)->MSComm1->PortOpen()) << h->messages.join(u'|').toStdString();
    EXPECT_EQ(server.rate(), 9600u);
    (*h)->Widget(&Form1::Combo5)->SetListIndex(1);
    (*h)->Command11_Click();
    ASSERT_TRUE(WaitUntil([&] { return h->log().contains(kOkRate); }, kWaitMs))
        << h->log().toStdString();
    EXPECT_EQ(server.rate(), 19200u);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_TRUE(h->messages.isEmpty());
}

struct LinkCase {
    const char* target;
    PortResolution::Source source;
    const char* tip;
    bool rateChangeable;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.target;
}

class NetworkPortNames : public ::testing::TestWithParam<LinkCase> {};

// A link to an address names the port: resolved to the address, shown in
// the tooltip, never taken for a stale link of the simulated chip.
TEST_P(NetworkPortNames, ResolveToTheAddressAndShowItInTheTooltip) {
    const LinkCase& c = GetParam();
    PortsFolder ports;
    ports.link(3, QString::fromUtf8(c.target));
    const PortResolution r = ResolvePort(3, ports.path(), [] { return QStringList(); });
    EXPECT_EQ(r.source, c.source);
    EXPECT_EQ(r.device, QString::fromUtf8(c.target));

    auto h = FormHarness::Real(ports.path());
    EXPECT_EQ((*h)->Widget(&Form1::Combo4)->itemData(2, Qt::ToolTipRole).toString(), QString::fromUtf8(c.tip));
    EXPECT_EQ((*h)->MSComm1->RateChangeable(3), c.rateChangeable);
}

INSTANTIATE_TEST_SUITE_P(
    Links, NetworkPortNames,
    ::testing::Values(LinkCase{"rfc2217://lab1:7001", PortResolution::Source::Net,
                               "COM3 → rfc2217://lab1:7001", true},
                      LinkCase{"socket://[::1]:7000", PortResolution::Source::Net,
                               "COM3 → socket://[::1]:7000", false},
                      LinkCase{"RFC2217://lab1:7001", PortResolution::Source::Net,
                               "COM3 → RFC2217://lab1:7001", true},
                      LinkCase{"/nonexistent/ttyUSB9", PortResolution::Source::Link,
                               "COM3 → /nonexistent/ttyUSB9（设备不存在）", true}),
    [](const auto& info) { return std::to_string(info.index); });

} // namespace
