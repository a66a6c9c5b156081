// vxt4710-cli.exe's ports on other machines: the binding files of the ports
// folder, the port choice, and the network line against a scripted server
// on the loopback (what it sends, when, and whether it hangs up).
#include "core/cli_options.h"
#include "core/cli_plan.h"
#include "core/exit_status.h"
#include "core/traffic_report.h"
#include "win32/cli/win_cli_net.h"
#include "win32/cli/win_cli_run.h"
#include "win32/tests/scripted_server.h"
#include "win32/win_port_binding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(WinPortBinding, OneAddressOrAClearReason) {
    const struct {
        const char* content;
        const char* address; // null: refused
        const char* reason;  // part of the refusal
    } cases[] = {
        {"rfc2217://lab1:7001", "rfc2217://lab1:7001", ""},
        {"\xEF\xBB\xBFsocket://10.0.0.2:4001\r\n", "socket://10.0.0.2:4001", ""},
        {"  rfc2217://[::1]:7000 \n\n", "rfc2217://[::1]:7000", ""},
        {"", nullptr, "it is empty"},
        {" \r\n", nullptr, "it is empty"},
        {"\\\\.\\COM4", nullptr, "not an address such as rfc2217://HOST:PORT"},
        {"rfc2217://lab1:7001\r\nsocket://lab1:7002", nullptr, "more than one line"},
        {"rfc2217://lab1", nullptr, "rfc2217://"},
        {"socket://lab1:99999", nullptr, "socket://"},
    };
    for (const auto& c : cases) {
        std::string address, error;
        const bool ok = ParsePortBinding(c.content, &address, &error);
        EXPECT_EQ(ok, c.address != nullptr) << c.content << ": " << error;
        if (c.address) {
            EXPECT_EQ(address, c.address);
        } else {
            EXPECT_NE(error.find(c.reason), std::string::npos) << c.content << ": " << error;
        }
    }
}

class WinPortsFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"vxt4710-ports-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << GetLastError();
    }
    void TearDown() override {
        for (const auto& f : files_)
            DeleteFileW(f.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    void Put(const wchar_t* name, const std::string& content) {
        // COM3 is a device's name in every folder, unless the path says
        // it is a file's (\\?\).
        const std::wstring path = L"\\\\?\\" + folder_ + L"\\" + name;
        const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(f, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(f);
        ASSERT_EQ(written, content.size()) << GetLastError();
        files_.push_back(path);
    }
    std::wstring folder_;
    std::vector<std::wstring> files_;
};

TEST_F(WinPortsFolderTest, ComNamesBoundToAddressesOrTheirPorts) {
    Put(L"com3", "rfc2217://lab1:7001\r\n");
    Put(L"com5", "socket://lab1:7002");
    Put(L"com6", "COM1");
    std::string big(2000, 'x');
    Put(L"com7", "rfc2217://lab1:7001" + big);
    const struct {
        const char* port;
        const wchar_t* path;
        const char* name;
        const char* address;
        const char* failure; // part of it
    } cases[] = {
        {"COM3", L"", "rfc2217://lab1:7001", "rfc2217://lab1:7001", ""},
        {"com03", L"", "rfc2217://lab1:7001", "rfc2217://lab1:7001", ""},
        {"COM5", L"", "socket://lab1:7002", "socket://lab1:7002", ""},
        {"COM4", L"\\\\.\\COM4", "COM4", "", ""},
        {"socket://h:1", L"", "socket://h:1", "socket://h:1", ""},
        {"RFC2217://h", L"", "RFC2217://h", "RFC2217://h", ""}, // refused when parsed
        {"COM6", L"", "COM6", "", "com6: it holds \"COM1\", not an address"},
        {"COM7", L"", "COM7", "", "com7: it is longer than an address can be"},
    };
    for (const auto& c : cases) {
        const WinPortChoice choice = ChooseWinPort(c.port, folder_);
        EXPECT_EQ(choice.path, c.path) << c.port;
        EXPECT_EQ(choice.name, c.name) << c.port;
        EXPECT_EQ(choice.address, c.address) << c.port;
        if (*c.failure) {
            EXPECT_NE(choice.failure.find(c.failure), std::string::npos) << choice.failure;
        } else {
            EXPECT_EQ(choice.failure, "") << c.port;
        }
    }
}

// Waits for the line's events and takes what is there, until data came or
// the connection ended (a telnet line's event also wakes its deadline checks
// with nothing to take).
std::string TakeAfterEvent(WinNetLine& line, bool* lost, LineError* error) {
    *lost = false;
    for (int turn = 0; turn < 100; ++turn) {
        if (WaitForSingleObject(line.event(), 5000) != WAIT_OBJECT_0)
            break;
        std::string bytes = line.take(lost, error);
        if (!bytes.empty() || *lost)
            return bytes;
    }
    return "(no event)";
}

// One event, one turn: what it brought, possibly nothing (telnet NOPs).
std::string TakeOneTurn(WinNetLine& line, bool* lost, LineError* error) {
    *lost = false;
    if (WaitForSingleObject(line.event(), 5000) != WAIT_OBJECT_0)
        return "(no event)";
    return line.take(lost, error);
}

TEST(WinNetLine, OpensOnlyWhenTheServerConfirmsTheSettings) {
    const struct {
        const char* what;
        NetProtocol protocol;
        std::vector<ScriptedServer::Step> steps;
        bool listen;
        const char* failure; // part of it; empty: opens
    } cases[] = {
        {"nothing listens", NetProtocol::Rfc2217, {}, false, "connection refused"},
        {"hangs up at once", NetProtocol::Rfc2217, {{0, "", true}}, true, "closed by the server"},
        {"never answers", NetProtocol::Rfc2217, {{3000, ""}}, true, "answer"},
        {"confirms 9600 8N1", NetProtocol::Rfc2217, {{0, Agreement(9600)}}, true, ""},
        {"sets another rate",
         NetProtocol::Rfc2217,
         {{0, Agreement(4800)}},
         true,
         "the server set 4800 bit/s instead of 9600"},
        {"refuses COM-PORT", NetProtocol::Rfc2217, {{0, Bytes({255, 254, 44})}}, true, "COM"},
        {"raw TCP needs no answer", NetProtocol::Raw, {{3000, ""}}, true, ""},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.steps, c.listen);
        WinNetLine line(NetAddress{c.protocol, "127.0.0.1", server.port()}, 1000);
        LineError error;
        const auto started = std::chrono::steady_clock::now();
        const bool opened = line.open(9600, &error);
        const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count();
        EXPECT_EQ(opened, !*c.failure) << c.what << ": " << error.reason;
        if (*c.failure) {
            EXPECT_NE(error.reason.find(c.failure), std::string::npos)
                << c.what << ": " << error.reason;
        }
        EXPECT_LT(tookMs, 2900) << c.what; // within the line's timeout, with room
        line.close();
    }
}

TEST(WinNetLine, DataBothWaysStaleBytesDroppedAndTheEndToldOnce) {
    const struct {
        const char* what;
        NetProtocol protocol;
        std::string before; // sent ahead of the agreement: stale
        std::string later;  // sent once the line is open
        const char* data;   // what take() gives
        const char* sent;   // how the client's 0xFD 0xFF goes out (at the end)
    } cases[] = {
        {"telnet", NetProtocol::Rfc2217, "\x4F", Bytes({0x41, 255, 255, 0x4F}), "\x41\xFF\x4F",
         "\xFD\xFF\xFF"},
        {"raw", NetProtocol::Raw, "", Bytes({0x41, 255, 0x4F}), "\x41\xFF\x4F", "\xFD\xFF"},
    };
    for (const auto& c : cases) {
        const std::string greeting =
            c.protocol == NetProtocol::Rfc2217 ? c.before + Agreement(9600) : "";
        ScriptedServer server({{0, greeting}, {300, c.later}, {300, "", true}}, true);
        WinNetLine line(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
        LineError error;
        ASSERT_TRUE(line.open(9600, &error)) << c.what << ": " << error.reason;
        ASSERT_TRUE(line.write("\xFD\xFF", &error)) << error.reason;
        bool lost = false;
        EXPECT_EQ(TakeAfterEvent(line, &lost, &error), c.data) << c.what;
        EXPECT_FALSE(lost);
        EXPECT_EQ(TakeAfterEvent(line, &lost, &error), "") << c.what;
        EXPECT_TRUE(lost) << c.what;
        EXPECT_NE(error.reason.find("closed by the server"), std::string::npos) << error.reason;
        // Told once: the line is closed, and a send says so.
        EXPECT_EQ(line.take(&lost, &error), "");
        EXPECT_FALSE(lost);
        EXPECT_FALSE(line.write("x", &error));
        const std::string& got = server.Received();
        const std::string sent = c.sent;
        ASSERT_GE(got.size(), sent.size());
        EXPECT_EQ(got.substr(got.size() - sent.size()), sent) << c.what;
    }
}

TEST(WinNetLine, RateChangesGoThroughTheServerOrAreRefused) {
    const struct {
        const char* what;
        NetProtocol protocol;
        std::string answer; // the server's answer to the rate request
        const char* failure;
    } cases[] = {
        {"confirmed", NetProtocol::Rfc2217, Answer(1, Rate(19200)), ""},
        {"another rate", NetProtocol::Rfc2217, Answer(1, Rate(9600)),
         "the server set 9600 bit/s instead of 19200"},
        {"raw", NetProtocol::Raw, "", kRawRateRefusal},
    };
    for (const auto& c : cases) {
        const bool telnet = c.protocol == NetProtocol::Rfc2217;
        // The answer comes after the chip's last byte at the old rate.
        ScriptedServer server({{0, telnet ? Agreement(9600) : ""}, {300, "\x41" + c.answer}}, true);
        WinNetLine line(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
        LineError error;
        ASSERT_TRUE(line.open(9600, &error)) << c.what << ": " << error.reason;
        const bool changed = line.setRate(19200, &error);
        EXPECT_EQ(changed, !*c.failure) << c.what << ": " << error.reason;
        if (*c.failure) {
            EXPECT_EQ(error.reason, c.failure) << c.what;
        }
        if (telnet) { // the byte that came meanwhile is handed on
            bool lost = false;
            EXPECT_EQ(TakeAfterEvent(line, &lost, &error), "\x41") << c.what;
        }
        line.close();
    }
}

// Servers that keep sending: data, telnet NOPs (no data at all), and
// noise before an agreement that never comes.
struct FloodCase {
    const char* what;
    NetProtocol protocol;
    std::string greeting; // sent first
    std::string flood;    // then sent again and again for 4 s
};

std::vector<FloodCase> FloodCases() {
    return {
        {"raw data", NetProtocol::Raw, "", std::string(1, '\0')},
        {"telnet data", NetProtocol::Rfc2217, Agreement(9600), "\x01\x02"},
        {"telnet NOPs", NetProtocol::Rfc2217, Agreement(9600), Bytes({255, 241})},
    };
}

TEST(WinNetLine, AServerThatKeepsSendingIsReadInBoundedTurns) {
    for (const auto& c : FloodCases()) {
        ScriptedServer server({{0, c.greeting}, {0, c.flood, false, 4000}});
        WinNetLine line(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
        LineError error;
        ASSERT_TRUE(line.open(9600, &error)) << c.what << ": " << error.reason;
        for (int turn = 0; turn < 20; ++turn) {
            bool lost = false;
            const std::string got = TakeOneTurn(line, &lost, &error);
            ASSERT_NE(got, "(no event)") << c.what;
            EXPECT_FALSE(lost) << c.what << ": " << error.reason;
            EXPECT_LE(got.size(), NetLink::kMaxPending) << c.what;
        }
        line.close();
        EXPECT_TRUE(server.ClientLeftEarly()) << c.what; // each turn came back
    }
}

class NullOutput : public OutputSink {
  public:
    bool write(std::string_view, std::string*) override { return true; }
};

TEST(WinCliNet, AServerThatKeepsSendingEndsAtTheTimeout) {
    for (const auto& c : FloodCases()) {
        ScriptedServer server({{0, c.greeting}, {100, c.flood, false, 4000}});
        WinNetSessionLine line(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
        LineError error;
        ASSERT_TRUE(line.open(9600, &error)) << c.what << ": " << error.reason;
        const CliParse p = ParseCliArguments({"query"});
        SteadyClock clock;
        NullOutput out;
        TrafficReport report(false, out, clock);
        const int status = RunLoopSession(PlanFrames(*p.options, {}).frames, line, report, clock,
                                         300, [](std::string_view) {});
        line.close();
        EXPECT_EQ(status, ExitStatus::Timeout) << c.what;
        EXPECT_TRUE(server.ClientLeftEarly()) << c.what; // not when the flood ended
    }
}

// After a good open the server stops making sense: the line gives it up
// once, with the reason, whether bytes still come or not.
TEST(WinNetLine, AServerThatStopsMakingSenseIsGivenUpOnce) {
    const struct {
        const char* what;
        std::string greeting;
        const char* says;
    } cases[] = {
        {"silent, BINARY never answered", AgreementWithoutBinary(9600),
         "did not answer the offer of telnet option 0"},
        {"a subnegotiation that never ends",
         Agreement(9600) + Bytes({255, 250, 44, 107}) + std::string(5000, 'x'), "never ends"},
    };
    for (const auto& c : cases) {
        ScriptedServer server({{0, c.greeting}}, true);
        WinNetLine line(NetAddress{NetProtocol::Rfc2217, "127.0.0.1", server.port()}, 1000);
        LineError error;
        ASSERT_TRUE(line.open(9600, &error)) << c.what << ": " << error.reason;
        int losses = 0;
        std::string reason;
        for (int turn = 0; turn < 50 && losses == 0; ++turn) {
            bool lost = false;
            if (WaitForSingleObject(line.event(), 5000) != WAIT_OBJECT_0)
                break; // nothing wakes the line: the server is never given up
            line.take(&lost, &error);
            if (lost) {
                ++losses;
                reason = error.reason;
            }
        }
        bool lost = false;
        line.take(&lost, &error);
        EXPECT_FALSE(lost) << c.what;
        EXPECT_EQ(losses, 1) << c.what;
        EXPECT_NE(reason.find(c.says), std::string::npos) << c.what << ": " << reason;
        EXPECT_FALSE(line.isOpen()) << c.what;
    }
}

} // namespace
