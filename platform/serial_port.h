// The serial port to the chip: 8 data bits, no parity, 1 stop bit, no flow
// control, at a rate of the rate table (core/line_rates.h). One
// implementation per system: termios in platform/posix/, the communications
// API in platform/windows/. No call waits for the chip: reads take what is
// there, and a loop learns when to read from handle() (POSIX, for poll() or a
// socket notifier) or from the reader thread's notification (Windows).
#pragma once

#include "core/session_io.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// What kind of failure the system reported, for the text a user reads.
enum class SerialFault {
    Other, // the system's words alone
    Held,  // another program has the port open
    Gone,  // the device went away (an adapter pulled out)
};

// The reason a user reads: a port another program holds and a device that
// is gone say so, with the system's words after (when there are any). A
// refusal that is a matter of the device's access rights is no "held".
std::string SerialFailureText(SerialFault fault, std::string_view systemText, bool accessDenied);

class SerialPort {
  public:
    enum class OpenResult {
        Ok,
        NoDevice, // the device could not be opened (missing, held, no access)
        Refused,  // it opened but refused the line settings
    };
    // What becomes of bytes that arrived before the open.
    enum class Waiting { Drop, Keep };

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens device (POSIX: a path; Windows: COMn or \\.\COMn) at rate,
    // closing whatever was open first. On failure the port stays closed and
    // *error (may be null) says why.
    OpenResult open(const std::string& device, int rate, LineError* error,
                    Waiting waiting = Waiting::Drop);
    bool isOpen() const;
    // The line settings at rate, on the open port.
    bool setRate(int rate, LineError* error);
    // Hands every byte to the driver, waiting for room when it is full.
    bool write(std::string_view bytes, LineError* error);
    // Appends the bytes waiting to *bytes without waiting for more. False
    // once when the device has gone, with *error its reason; from then on
    // the port reads and writes nothing until it is closed.
    bool read(std::string* bytes, LineError* error);
    // The device has gone (reported, or about to be by read()).
    bool lost() const;
    // Bytes written that have not left for the line yet; -1 when that
    // cannot be told.
    long queuedForLine() const;
    // Waits until everything written has left for the line, at most
    // timeoutMs; false when some is still queued.
    bool drain(int timeoutMs);
    void close();
    // The device as it was given to open().
    const std::string& device() const { return device_; }

#ifdef _WIN32
    // The reader thread, from the open to the close, calls notify (on its own
    // thread) whenever bytes or the loss of the device wait for read().
    void setNotify(std::function<void()> notify);
#else
    // The open descriptor, to poll for reading; -1 when closed.
    int handle() const;
#endif

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string device_;
};

#ifndef _WIN32
// True when the device's own access bits refuse this user reading and
// writing it (the user lacks the group that owns it). A missing device is
// no matter of groups. A relative path is taken from the current folder.
bool DeviceAccessDenied(const std::string& device);
#endif
