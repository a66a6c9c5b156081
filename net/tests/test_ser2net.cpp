// The network client (the core's telnet client on the platform's TCP
// connection) against Debian's port server, which serves a pseudo-terminal
// whose other end this test reads and writes in the chip's place.
#include "core/frame_builders.h"
#include "core/telnet_client.h"
#include "platform/tcp_socket.h"
#include "testsupport/ser2net_server.h"
#include "core/tests/row_name.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// One connection to the server, telnet or raw, with what arrived so far.
struct RemoteLine {
    bool telnet = true;
    tcp::Connection connection;
    TelnetClient client{5000};
    std::string data;
    tcp::Error error;

    bool open(uint16_t port) {
        if (!connection.connect("127.0.0.1", port, 5000, &error))
            return false;
        if (telnet) {
            std::string out;
            client.start(NowMs(), &out);
            return connection.write(out, 5000, &error);
        }
        return true;
    }

    bool send(const std::string& bytes) {
        std::string out;
        if (telnet)
            TelnetClient::encodeData(bytes, &out);
        else
            out = bytes;
        return connection.write(out, 5000, &error);
    }

    bool request(ComPortCommand command, uint32_t value) {
        std::string out;
        client.request(command, value, NowMs(), &out);
        return out.empty() || connection.write(out, 5000, &error);
    }

    // Reads and parses until done() holds or timeoutMs passed; false on a
    // failed connection or a telnet failure.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (Clock::now() >= deadline)
                return false;
            std::string bytes;
            if (!connection.read(&bytes, 20, &error))
                return false;
            if (!telnet) {
                data += bytes;
                continue;
            }
            std::string out;
            client.receive(bytes, NowMs(), &data, &out);
            if (!out.empty() && !connection.write(out, 5000, &error))
                return false;
            if (!client.failure(NowMs()).empty())
                return false;
        }
        return true;
    }
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A text frame whose checksum is 0xFF.
std::string FrameEndingInFF() {
    for (char16_t c = u'一'; c < u'龥'; ++c) {
        const std::string frame = TextFrame(std::u16string(1, c));
        if (static_cast<uint8_t>(frame.back()) == 0xFF)
            return frame;
    }
    return {};
}

std::string AllBytes() {
    std::string all;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
    return all;
}

class Ser2netLine : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        server = std::make_unique<Ser2net>(pty.device());
        ASSERT_TRUE(server->started()) << server->problem();
        line.telnet = GetParam();
        ASSERT_TRUE(line.open(line.telnet ? server->rfc2217Port() : server->rawPort()))
            << tcp::Describe(line.error);
    }

    PtyEnd pty;
    std::unique_ptr<Ser2net> server;
    RemoteLine line;
};

TEST_P(Ser2netLine, BytesArriveByteIdenticalBothWays) {
    const std::string frame = FrameEndingInFF();
    ASSERT_FALSE(frame.empty());
    for (const std::string& bytes : {frame, AllBytes()}) {
        // To the chip: the server opens the device once a client connects.
        ASSERT_TRUE(line.send(bytes)) << tcp::Describe(line.error);
        EXPECT_EQ(pty.read(bytes.size(), 5000), bytes);
        // From the chip, in pieces as a line delivers them.
        line.data.clear();
        for (size_t pos = 0; pos < bytes.size(); pos += 7)
            ASSERT_TRUE(pty.write(bytes.substr(pos, 7)));
        EXPECT_TRUE(line.pumpUntil([&] { return line.data.size() >= bytes.size(); }, 5000))
            << tcp::Describe(line.error) << " " << line.client.failure(NowMs());
        EXPECT_EQ(line.data, bytes);
    }
    // The harness sees the server holding the device while connected.
    EXPECT_TRUE(server->holds(pty.device()));
    line.connection.close();
    EXPECT_TRUE(WaitFor([&] { return !server->holds(pty.device()); }, 5000));
}

TEST_P(Ser2netLine, AStoppedServerShowsAsClosedByTheServer) {
    ASSERT_TRUE(line.send("x"));
    EXPECT_EQ(pty.read(1, 5000), "x");
    server->stop();
    EXPECT_FALSE(line.pumpUntil([] { return false; }, 5000));
    EXPECT_EQ(line.error.failure, tcp::Failure::ClosedByServer) << tcp::Describe(line.error);
}

INSTANTIATE_TEST_SUITE_P(Protocols, Ser2netLine, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Rfc2217" : "Raw"; });

struct SettingCase {
    const char* what;
    ComPortCommand command;
    uint32_t value;
    // Whether the device shows the setting; none where a pseudo-terminal
    // cannot show it (it takes eight data bits and no parity only).
    std::function<bool(const PtyEnd&)> shows;
};

void PrintTo(const SettingCase& c, std::ostream* os) {
    *os << c.what;
}

class Ser2netSettings : public ::testing::TestWithParam<SettingCase> {};

TEST_P(Ser2netSettings, AreConfirmedByTheServerAndReachTheDevice) {
    const SettingCase& c = GetParam();
    PtyEnd pty;
    ASSERT_TRUE(pty.ok());
    Ser2net server(pty.device());
    ASSERT_TRUE(server.started()) << server.problem();
    RemoteLine line;
    line.telnet = true;
    ASSERT_TRUE(line.open(server.rfc2217Port())) << tcp::Describe(line.error);
    ASSERT_TRUE(line.pumpUntil([&] { return line.client.comPortAgreed(); }, 5000))
        << tcp::Describe(line.error) << " " << line.client.failure(NowMs());
    EXPECT_TRUE(line.client.binaryBothWays());
    EXPECT_EQ(pty.speed(), 9600);
    if (c.shows) {
        EXPECT_FALSE(c.shows(pty)) << "already so before the request";
    }

    ASSERT_TRUE(line.request(c.command, c.value));
    ASSERT_TRUE(line.pumpUntil([&] { return !line.client.awaiting(c.command); }, 5000))
        << tcp::Describe(line.error) << " " << line.client.failure(NowMs());
    EXPECT_EQ(line.client.confirmed(c.command), c.value);
    if (c.shows) {
        EXPECT_TRUE(c.shows(pty));
    }

    // Data still flows, now at the new setting.
    ASSERT_TRUE(line.send("\x01\xFF\x02"));
    EXPECT_EQ(pty.read(3, 5000), "\x01\xFF\x02");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ser2netSettings,
    ::testing::Values(SettingCase{"rate 19200", ComPortCommand::SetBaudRate, 19200,
                                  [](const PtyEnd& p) { return p.speed() == 19200; }},
                      SettingCase{"rate 4800", ComPortCommand::SetBaudRate, 4800,
                                  [](const PtyEnd& p) { return p.speed() == 4800; }},
                      SettingCase{"eight data bits", ComPortCommand::SetDataSize, 8, nullptr},
                      SettingCase{"no parity", ComPortCommand::SetParity, 1, nullptr},
                      SettingCase{"two stop bits", ComPortCommand::SetStopSize, 2,
                                  [](const PtyEnd& p) { return (p.cflag() & CSTOPB) != 0; }}),
    vxt_test::RowName());

} // namespace
