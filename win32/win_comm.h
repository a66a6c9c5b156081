// MSComm1 over the platform's serial port (platform/serial_port.h): its
// reader thread's notification posts a window message when bytes arrive, so
// that OnComm runs on the window's thread at once. A COM name bound to a port on another
// machine (win32/win_port_binding.h) opens the network line instead, whose
// socket posts the same message.
#pragma once

#include "core/comm_control.h"
#include "core/line_rates.h"
#include "platform/serial_port.h"
#include "win32/win_net_line.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <windows.h>

class WinCommControl : public CommControl {
  public:
    // Posted to the window when bytes are waiting; its handler calls Deliver().
    static constexpr UINT kDataMessage = WM_APP + 1;

    WinCommControl();
    // The window that gets kDataMessage.
    void SetWindow(HWND window);
    // Where COM names are bound to addresses (by default
    // %APPDATA%\vxt4710\ports).
    void SetPortsFolder(std::wstring folder) { portsFolder_ = std::move(folder); }
    ~WinCommControl() override;

    void SetCommPort(int16_t port) override { port_ = port; }
    int16_t CommPort() const override { return port_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    void SetInBufferSize(int16_t bytes) override { inBufferSize_ = bytes; }
    int16_t InBufferSize() const override { return inBufferSize_; }
    bool PortOpen() const override;
    void SetPortOpen(bool open) override;
    void Output(std::string_view bytes) override;
    std::string Input() override;
    int16_t CommEvent() const override { return CommEvents::Receive; }
    std::string DeviceFor(int n) const override;
    // False for a COM name bound to a socket:// address: its server keeps
    // the rate it gave the remote port.
    bool RateChangeable(int n) const override;
    bool Connecting(int n) const override { return connecting_ && !lost_ && n == port_; }

    // Runs OnComm for the bytes waiting (on the window's thread).
    void Deliver();

  private:
    void Close();
    void Received(std::string_view bytes);
    // Moves what the serial port has read into the receive buffer.
    void TakeFromPort();
    void OpenNetwork(const std::string& address, int32_t baud);
    // Moves what the network line has read into the receive buffer.
    void TakeFromNetwork();
    // The background connection: its line, and what it found once done.
    struct NetAttempt {
        std::unique_ptr<WinNetLine> line;
        int32_t rate = 0;
        bool ok = false;
        LineError error;
        std::atomic<bool> done{false};
    };
    void ConnectNetwork(std::unique_ptr<WinNetLine> line, int32_t baud);
    void ConnectionDone();

    HWND window_ = nullptr;
    int16_t port_ = 1;
    std::string settings_ = kLineRates.front().settings;
    int16_t inBufferSize_ = 1024;
    SerialPort line_;
    std::unique_ptr<WinNetLine> net_; // while a bound port is open
    // Connecting on a thread of its own, which posts kDataMessage when done;
    // net_ once it is through.
    std::shared_ptr<NetAttempt> connecting_;
    int32_t wantedBaud_ = 0; // asked for while connecting
    std::string outbox_;     // sent while connecting
    std::wstring portsFolder_;
    std::atomic<bool> lost_{false};
    std::atomic<bool> posted_{false};
    std::mutex mutex_;
    std::string received_; // guarded by mutex_
    bool delivering_ = false;
    bool deliverAgain_ = false;
    bool readInside_ = false; // the handler read
};
