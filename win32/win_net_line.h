// The line to a chip on another machine, on Windows: a port server reached
// over TCP, as telnet with the COM-PORT option (rfc2217://, the remote
// port's rate set by the server and confirmed before a frame goes) or as raw
// TCP (socket://, bytes only). Shared by vxt4710-cli.exe, whose loop waits
// on event(), and the window's serial control, which has the socket post a
// window message instead. Both take what arrived with take() on their own
// thread; rate changes wait for the server in place. Over rfc2217:// a
// timer wakes the owner now and then while the server is silent, so that
// take() also gives up a server whose answers are overdue.
#pragma once

#include "core/net_address.h"
#include "core/session_io.h"
#include "net/net_link.h"

#include <winsock2.h>

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class WinNetLine {
  public:
    static constexpr int kTimeoutMs = NetLink::kTimeoutMs;

    explicit WinNetLine(NetAddress address, int timeoutMs = kTimeoutMs);
    ~WinNetLine();
    WinNetLine(const WinNetLine&) = delete;
    WinNetLine& operator=(const WinNetLine&) = delete;

    // Connects and, over rfc2217://, sets the remote port to rate, 8 data
    // bits, no parity, one stop bit and waits until the server confirmed
    // it. What the remote port had read before is dropped.
    bool open(int rate, LineError* error);
    // Data with each 0xFF doubled over rfc2217://.
    bool write(std::string_view bytes, LineError* error);
    // Over rfc2217:// asks the server for the rate and waits for its
    // confirmation; socket:// cannot change the rate and says so.
    bool setRate(int rate, LineError* error);
    void close();
    bool isOpen() const { return link_.isOpen(); }
    bool rateSettable() const { return link_.telnet(); }
    std::string device() const { return link_.device(); }

    // Set while data or the connection's end wait for take().
    HANDLE event() const { return event_; }
    // Instead of event(): the socket posts message to window when data or
    // the connection's end wait. Until the next open().
    void notifyWindow(HWND window, UINT message);

    // The data that arrived since the last take, one bounded turn of it
    // (NetLink::kTurnBytes or kTurnMs); when more may wait, the event is set
    // again. The window's line rests after a turn that brought data and its
    // message comes again after the window's timers. *lost set, once, when the
    // connection ended or the server stopped making sense, with *error its
    // reason; the line is closed then.
    std::string take(bool* lost, LineError* error);

  private:
    static constexpr DWORD kCheckMs = 200; // how often a silent server's deadlines are checked

    void watch();
    void again();
    static void CALLBACK Resume(HWND window, UINT, UINT_PTR id, DWORD);
    void startChecks();
    void stopChecks();
    static void CALLBACK Check(PVOID self, BOOLEAN);

    NetLink link_;
    HANDLE event_; // manual reset, as the socket's events want
    HWND window_ = nullptr;
    UINT message_ = 0;
    bool resting_ = false; // the window's line waits for its timer
    HANDLE checks_ = nullptr; // the timer of the deadline checks, while open
};
