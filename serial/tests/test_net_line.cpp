// The command-line program's network line on its own, against ser2net
// serving a bare pseudo-terminal: the rate follows the chip on the remote
// port, bytes come through Qt's loop, and a failure is told once.
#include "serial/net_line.h"
#include "testsupport/pty_peer.h"
#include "testsupport/scripted_server.h"
#include "testsupport/ser2net_server.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

struct Remote {
    PtyEnd pty;
    std::unique_ptr<Ser2net> server;
    Remote() {
        if (pty.ok())
            server = std::make_unique<Ser2net>(pty.device());
    }
    bool ready() const { return server && server->started(); }
    NetAddress address(NetProtocol protocol) const {
        return {protocol, "127.0.0.1",
                protocol == NetProtocol::Rfc2217 ? server->rfc2217Port() : server->rawPort()};
    }
};

struct RateCase {
    const char* what;
    NetProtocol protocol;
    int openRate;
    int newRate;
    bool changes;     // the reopen succeeds
    int deviceRate;   // the remote port's rate after it
    const char* says; // a part of the reason when it does not
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.what;
}

class NetLineRates : public ::testing::TestWithParam<RateCase> {};

TEST_P(NetLineRates, TheRemotePortFollows) {
    const RateCase& c = GetParam();
    Remote remote;
    ASSERT_TRUE(remote.ready()) << remote.server->problem();
    NetLine line(remote.address(c.protocol));
    LineError error;
    ASSERT_TRUE(line.open(c.openRate, &error)) << error.reason;
    if (c.protocol == NetProtocol::Rfc2217) {
        EXPECT_EQ(remote.pty.speed(), c.openRate);
    }
    EXPECT_EQ(line.reopen(c.newRate, &error), c.changes) << c.what;
    if (!c.changes) {
        EXPECT_NE(error.reason.find(c.says), std::string::npos) << error.reason;
    }
    // The line still carries bytes, 0xFF among them; once they are through,
    // the server has surely opened the remote port.
    ASSERT_TRUE(line.write("\xFD\xFF\x01", &error)) << error.reason;
    EXPECT_EQ(remote.pty.read(3, 5000), "\xFD\xFF\x01");
    EXPECT_EQ(remote.pty.speed(), c.deviceRate) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetLineRates,
    ::testing::Values(RateCase{"rfc2217 up", NetProtocol::Rfc2217, 9600, 19200, true, 19200, ""},
                      RateCase{"rfc2217 down", NetProtocol::Rfc2217, 38400, 9600, true, 9600, ""},
                      RateCase{"raw", NetProtocol::Raw, 9600, 19200, false, 9600,
                               "cannot be changed from here"}),
    vxt_test::RowName());

class NetLineEvents : public ::testing::TestWithParam<NetProtocol> {};

TEST_P(NetLineEvents, BytesArriveAndAStoppedServerFailsOnce) {
    Remote remote;
    ASSERT_TRUE(remote.ready()) << remote.server->problem();
    NetLine line(remote.address(GetParam()));
    LineError error;
    ASSERT_TRUE(line.open(9600, &error)) << error.reason;
    QByteArray got;
    std::vector<std::string> failures;
    QObject::connect(&line, &NetLine::received, [&](const QByteArray& b) { got += b; });
    QObject::connect(&line, &NetLine::failed,
                     [&](const LineError& e) { failures.push_back(e.reason); });
    ASSERT_TRUE(line.write("?", &error));
    ASSERT_EQ(remote.pty.read(1, 5000), "?");
    ASSERT_TRUE(remote.pty.write(std::string("\x41\xFF\x4F", 3)));
    EXPECT_TRUE(WaitUntil([&] { return got.size() >= 3; }, 5000));
    EXPECT_EQ(got, QByteArray("\x41\xFF\x4F", 3));

    remote.server->stop();
    EXPECT_TRUE(WaitUntil([&] { return !failures.empty(); }, 5000));
    PumpEvents(500);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("closed by the server"), std::string::npos) << failures[0];
    EXPECT_FALSE(line.write("x", &error));
}

INSTANTIATE_TEST_SUITE_P(Protocols, NetLineEvents,
                         ::testing::Values(NetProtocol::Rfc2217, NetProtocol::Raw),
                         [](const auto& info) {
                             return info.param == NetProtocol::Rfc2217 ? "Rfc2217" : "Raw";
                         });

// After a good open the server stops making sense; the line asks the
// telnet client between arrivals too, and gives the server up once.
struct GiveUpCase {
    const char* what;
    std::string greeting; // the agreement, and what follows it
    const char* says;
};

void PrintTo(const GiveUpCase& c, std::ostream* os) {
    *os << c.what;
}

class NetLineGivesUp : public ::testing::TestWithParam<GiveUpCase> {};

TEST_P(NetLineGivesUp, OnceWithTheReason) {
    const GiveUpCase& c = GetParam();
    ScriptedServer server({{{0, c.greeting}}});
    NetLine line({NetProtocol::Rfc2217, "127.0.0.1", server.port()}, nullptr, 1000);
    std::vector<std::string> failures;
    QObject::connect(&line, &NetLine::failed,
                     [&](const LineError& e) { failures.push_back(e.reason); });
    LineError error;
    ASSERT_TRUE(line.open(9600, &error)) << error.reason;
    EXPECT_TRUE(WaitUntil([&] { return !failures.empty(); }, 8000)) << c.what;
    PumpEvents(500);
    ASSERT_EQ(failures.size(), 1u) << c.what;
    EXPECT_NE(failures[0].find(c.says), std::string::npos) << failures[0];
    EXPECT_FALSE(line.write("x", &error));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetLineGivesUp,
    ::testing::Values(GiveUpCase{"silent, BINARY never answered", ComPortWithoutBinary(),
                                 "did not answer the offer of telnet option 0"},
                      GiveUpCase{"a subnegotiation that never ends",
                                 FullAgreement() + TelnetBytes({255, 250, 44, 107}) +
                                     std::string(5000, 'x'),
                                 "never ends"}),
    [](const auto& info) { return info.index == 0 ? "Silent" : "EndlessSubnegotiation"; });

} // namespace
