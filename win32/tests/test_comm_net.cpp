// The window's serial control on a COM name bound to a port on another
// machine: data both ways through the window's message, the connection's
// end found once and a new connection on the next open, the rate through
// the server or refused for raw TCP, and the port list's tooltip.
#include "win32/tests/scripted_server.h"
#include "win32/win_comm.h"
#include "win32/win_port_binding.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A ports folder of the test's own. Its binding files are written through
// a \\?\ path: COM3 is a device's name in every folder otherwise.
class PortsFolder {
  public:
    PortsFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"vxt4710-comm-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~PortsFolder() {
        for (const auto& f : files_)
            DeleteFileW(f.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    void Bind(int n, const std::string& content) {
        const std::wstring file = L"\\\\?\\" + path_ + L"\\com" + std::to_wstring(n);
        const HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(file);
    }
    const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

// A message-only window that hands the control's message to it, as the
// console's window does.
class CommWindow {
  public:
    explicit CommWindow(WinCommControl& comm) : comm_(comm) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VxtCommNetTest";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowW(L"VxtCommNetTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, LONG_PTR(this));
        comm_.SetWindow(hwnd_);
    }
    ~CommWindow() { DestroyWindow(hwnd_); }
    // A timer of the window's own, every 50 ms.
    void OnTimer(std::function<void()> tick) {
        onTimer_ = std::move(tick);
        SetTimer(hwnd_, kTimerId, 50, nullptr);
    }
    // Runs the window's messages until done() or withinMs passed.
    bool PumpUntil(const std::function<bool()>& done, ULONGLONG withinMs = 5000) {
        const ULONGLONG end = GetTickCount64() + withinMs;
        while (!done()) {
            if (GetTickCount64() > end)
                return false;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            Sleep(5);
        }
        return true;
    }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CommWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == WM_TIMER && wParam == kTimerId) {
            self->onTimer_();
            return 0;
        }
        if (self && msg == WinCommControl::kDataMessage) {
            self->comm_.Deliver();
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    static constexpr UINT_PTR kTimerId = 7;
    WinCommControl& comm_;
    HWND hwnd_;
    std::function<void()> onTimer_;
};

std::string Address(bool telnet, uint16_t port) {
    return (telnet ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(port);
}

TEST(WinCommNet, DataThroughTheMessageTheEndOnceAndANewConnection) {
    const struct {
        const char* what;
        bool telnet;
        std::string reply; // the chip's bytes as the server sends them
        const char* data;  // what Input() gives
        const char* sent;  // how the control's 0xFD 0xFF goes out
    } cases[] = {
        {"rfc2217", true, Bytes({0x41, 255, 255}), "\x41\xFF", "\xFD\xFF\xFF"},
        {"socket", false, Bytes({0x41, 255}), "\x41\xFF", "\xFD\xFF"},
    };
    for (const auto& c : cases) {
        const std::string agreement = c.telnet ? Agreement(9600) : "";
        // The first connection ends after the reply; the second stays.
        ScriptedServer server(
            {{{0, agreement}, {300, c.reply}, {300, "", true}}, {{0, agreement}, {300, c.reply}}});
        PortsFolder folder;
        folder.Bind(3, Address(c.telnet, server.port()));
        WinCommControl comm;
        comm.SetPortsFolder(folder.path());
        CommWindow window(comm);
        std::string input;
        comm.SetOnComm([&] { input += comm.Input(); });
        comm.SetCommPort(3);
        ASSERT_NO_THROW(comm.SetPortOpen(true)) << c.what;
        EXPECT_TRUE(comm.PortOpen());
        EXPECT_NO_THROW(comm.Output("\xFD\xFF"));
        EXPECT_TRUE(window.PumpUntil([&] { return input == c.data; })) << c.what << ": " << input;
        // The server hangs up: found on the next message, and the next send
        // fails (the window shows its port-failure message once).
        EXPECT_TRUE(window.PumpUntil([&] { return !comm.PortOpen(); })) << c.what;
        EXPECT_THROW(comm.Output("x"), CommError) << c.what;
        // The next open connects again.
        input.clear();
        ASSERT_NO_THROW(comm.SetPortOpen(true)) << c.what;
        EXPECT_TRUE(comm.PortOpen());
        EXPECT_TRUE(window.PumpUntil([&] { return input == c.data; })) << c.what << ": " << input;
        comm.SetPortOpen(false);
        EXPECT_NE(server.Received().find(c.sent), std::string::npos) << c.what;
    }
}

// A server that never stops sending: the window's own timer still comes
// between the line's turns, and the handler gets the data.
TEST(WinCommNet, AServerThatKeepsSendingLeavesTheWindowItsTimers) {
    const struct {
        const char* what;
        bool telnet;
        std::string flood;
    } cases[] = {
        {"socket data", false, std::string(1, '\0')},
        {"rfc2217 NOPs", true, Bytes({255, 241})},
    };
    for (const auto& c : cases) {
        ScriptedServer server({{0, c.telnet ? Agreement(9600) : ""}, {0, c.flood, false, 4000}});
        PortsFolder folder;
        folder.Bind(3, Address(c.telnet, server.port()));
        WinCommControl comm;
        comm.SetPortsFolder(folder.path());
        CommWindow window(comm);
        size_t got = 0;
        comm.SetOnComm([&] { got += comm.Input().size(); });
        comm.SetCommPort(3);
        ASSERT_NO_THROW(comm.SetPortOpen(true)) << c.what;
        int ticks = 0;
        window.OnTimer([&] { ++ticks; });
        EXPECT_TRUE(window.PumpUntil([&] { return ticks >= 3; })) << c.what;
        comm.SetPortOpen(false);
        EXPECT_TRUE(server.ClientLeftEarly()) << c.what; // the ticks came during the flood
        EXPECT_EQ(got > 0, !c.telnet) << c.what;         // NOPs carry no data
    }
}

// Agreed, then silent: the port closes at the line's deadline (5 s) with no
// byte arriving, and the next send fails (the window's one message).
TEST(WinCommNet, AServerSilentAfterTheAgreementIsGivenUp) {
    // Kept longer than the wait below: the server never hangs up by itself.
    ScriptedServer server({{0, AgreementWithoutBinary(9600)}}, true, 30000);
    PortsFolder folder;
    folder.Bind(3, Address(true, server.port()));
    WinCommControl comm;
    comm.SetPortsFolder(folder.path());
    CommWindow window(comm);
    comm.SetCommPort(3);
    ASSERT_NO_THROW(comm.SetPortOpen(true));
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_TRUE(window.PumpUntil([&] { return !comm.PortOpen(); }, 15000));
    EXPECT_THROW(comm.Output("x"), CommError);
}

// With a window, a network port connects in the background: the open
// returns while the server is slow to agree, what is sent meanwhile waits
// for the agreement, and a failure is told once, through OnPortFailure.
TEST(WinCommNet, OpensInTheBackgroundAndTellsAFailureOnce) {
    const struct {
        const char* what;
        std::string greeting; // after a pause that outlasts the checks below
        const char* failure;  // part of it; empty: opens
    } cases[] = {
        {"agrees late", Agreement(9600), ""},
        {"refuses COM-PORT late", Bytes({255, 254, 44}), "COM"},
    };
    for (const auto& c : cases) {
        ScriptedServer server({{1500, c.greeting}});
        PortsFolder folder;
        folder.Bind(3, Address(true, server.port()));
        WinCommControl comm;
        comm.SetPortsFolder(folder.path());
        CommWindow window(comm);
        std::vector<std::string> failures;
        comm.SetOnPortFailure([&](const std::string& reason) { failures.push_back(reason); });
        comm.SetCommPort(3);
        ASSERT_NO_THROW(comm.SetPortOpen(true)) << c.what;
        EXPECT_TRUE(comm.Connecting(3)) << c.what;
        EXPECT_TRUE(comm.PortOpen()) << c.what;
        EXPECT_NO_THROW(comm.Output("\xFD\x01")) << c.what;
        EXPECT_TRUE(window.PumpUntil([&] { return !comm.Connecting(3); }, 10000)) << c.what;
        window.PumpUntil([] { return false; }, 300);
        EXPECT_EQ(comm.PortOpen(), !*c.failure) << c.what;
        EXPECT_EQ(failures.size(), *c.failure ? 1u : 0u) << c.what;
        if (*c.failure && !failures.empty()) {
            EXPECT_NE(failures[0].find(c.failure), std::string::npos) << failures[0];
        }
        comm.SetPortOpen(false);
        const bool sent = server.Received().find("\xFD\x01") != std::string::npos;
        EXPECT_EQ(sent, !*c.failure) << c.what;
    }
}

TEST(WinCommNet, TheRateThroughTheServerOrAPlainRefusal) {
    const struct {
        const char* what;
        bool telnet;
        const char* settings;
        bool refused;
    } cases[] = {
        {"rfc2217 to 19200", true, "19200,N,8,1", false},
        {"socket to 19200", false, "19200,N,8,1", true},
        {"socket at its rate", false, "9600,N,8,1", false},
    };
    for (const auto& c : cases) {
        const std::string agreement = c.telnet ? Agreement(9600) : "";
        ScriptedServer server({{0, agreement}, {200, c.telnet ? Answer(1, Rate(19200)) : ""}});
        PortsFolder folder;
        folder.Bind(3, Address(c.telnet, server.port()));
        WinCommControl comm;
        comm.SetPortsFolder(folder.path());
        comm.SetCommPort(3);
        // The window asks first and sends no set-rate frame to a socket:// port.
        EXPECT_EQ(comm.RateChangeable(3), c.telnet) << c.what;
        ASSERT_NO_THROW(comm.SetPortOpen(true)) << c.what;
        bool refused = false;
        try {
            comm.SetSettings(c.settings);
        } catch (const CommError& e) {
            refused = true;
            EXPECT_EQ(std::string(e.what()), kRawRateRefusal) << c.what;
        }
        EXPECT_EQ(refused, c.refused) << c.what;
        EXPECT_EQ(comm.Settings(), c.refused ? "9600,N,8,1" : c.settings) << c.what;
        EXPECT_TRUE(comm.PortOpen()) << c.what;
        comm.SetPortOpen(false);
        // Over rfc2217:// the server was asked for the new rate.
        const bool asked =
            server.Received().find(Bytes({255, 250, 44, 1}) + Rate(19200)) != std::string::npos;
        EXPECT_EQ(asked, c.telnet) << c.what;
    }
}

TEST(WinCommNet, ABindingThatLeadsNowhereFailsTheOpenAndTheTipShowsAddresses) {
    PortsFolder folder;
    folder.Bind(2, "rfc2217://lab1:7001\r\n");
    folder.Bind(4, "COM1");
    folder.Bind(5, "socket://lab1:7002");
    WinCommControl comm;
    comm.SetPortsFolder(folder.path());
    comm.SetCommPort(4);
    EXPECT_THROW(comm.SetPortOpen(true), CommError);
    EXPECT_FALSE(comm.PortOpen());
    const struct {
        int n;
        std::u16string device; // empty: not in the list
    } cases[] = {
        {1, u"\\Device\\Serial0"},  {2, u"rfc2217://lab1:7001"},
        {3, u"\\Device\\Serial2"},  {4, u""},
        {5, u"socket://lab1:7002"},
    };
    const auto ports =
        WithBindings({{1, u"\\Device\\Serial0"}, {3, u"\\Device\\Serial2"}}, folder.path());
    for (const auto& c : cases) {
        const auto it = ports.find(c.n);
        EXPECT_EQ(it == ports.end() ? u"" : it->second, c.device) << c.n;
    }
    EXPECT_EQ(comm.DeviceFor(2), "rfc2217://lab1:7001");
}

} // namespace
