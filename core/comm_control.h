// The serial-communications control MSComm1: exactly the operations the
// window asks of its serial layer. One control serves every system
// (core/line_comm_control.h), and a fake stands beside it for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised by the control when the port is missing, in use, cannot be opened or
// refuses a write. Handlers turn it into the port-failure message.
class CommError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Event codes reported through CommEvent().
namespace CommEvents {
constexpr int16_t Send = 1;
constexpr int16_t Receive = 2;
} // namespace CommEvents

class CommControl {
  public:
    virtual ~CommControl() = default;

    // Port number 1..20 (1 = COM1); set while the port is closed.
    virtual void SetCommPort(int16_t port) = 0;
    virtual int16_t CommPort() const = 0;

    // "9600,N,8,1", "19200,N,8,1" or "38400,N,8,1"; takes effect at once on an
    // open port. Throws CommError when an open port refuses it.
    virtual void SetSettings(const std::string& settings) = 0;
    virtual std::string Settings() const = 0;

    // Receive buffer: Input() returns at most this many bytes per read.
    virtual void SetInBufferSize(int16_t bytes) = 0;
    virtual int16_t InBufferSize() const = 0;

    virtual bool PortOpen() const = 0;
    // true opens port CommPort() with the current settings (throws CommError
    // when it cannot); false closes it. A port on another machine connects
    // in the background: PortOpen() is true meanwhile, Output() waits for the
    // connection, and a connection that fails raises OnPortFailure instead.
    virtual void SetPortOpen(bool open) = 0;
    // Whether port n is connecting in the background now.
    virtual bool Connecting(int n) const {
        (void)n;
        return false;
    }

    // Queues every byte for transmission and returns at once. Throws
    // CommError when the port is closed or refuses the write.
    virtual void Output(std::string_view bytes) = 0;

    // The received bytes that are waiting (at most InBufferSize), removed
    // from the receive buffer. Bytes left behind raise another OnComm once
    // the current one has been handled.
    virtual std::string Input() = 0;

    // The code of the event being reported by OnComm.
    virtual int16_t CommEvent() const = 0;

    // The device that port n stands for (shown to the user, UTF-8), or an
    // empty string when there is none.
    virtual std::string DeviceFor(int n) const {
        (void)n;
        return {};
    }
    // DeviceFor(1) .. DeviceFor(count) in one go (asking the system once).
    virtual std::vector<std::string> Devices(int count) const {
        std::vector<std::string> devices;
        for (int n = 1; n <= count; ++n)
            devices.push_back(DeviceFor(n));
        return devices;
    }

    // Whether the chip's rate change can be followed on port n (the port's
    // rate can be set from here).
    virtual bool RateChangeable(int n) const {
        (void)n;
        return true;
    }

    // The handler of OnComm: called on the window's thread, with code 2 as
    // soon as a received byte is waiting.
    void SetOnComm(std::function<void()> handler) { onComm_ = std::move(handler); }

    // Called on the window's thread, once, when a background connection
    // fails (reason: the system's or the server's words, UTF-8); the port
    // is closed then and what waited for it is dropped.
    void SetOnPortFailure(std::function<void(const std::string& reason)> handler) {
        onPortFailure_ = std::move(handler);
    }

  protected:
    void RaiseOnComm() {
        if (onComm_)
            onComm_();
    }
    void RaisePortFailure(const std::string& reason) {
        if (onPortFailure_)
            onPortFailure_(reason);
    }

  private:
    std::function<void()> onComm_;
    std::function<void(const std::string&)> onPortFailure_;
};

// Parses a settings string; false for anything but "<rate>,N,8,1" (blanks
// around the fields and a lower-case n allowed).
bool ParseCommSettings(std::string_view settings, int32_t* baudRate);
