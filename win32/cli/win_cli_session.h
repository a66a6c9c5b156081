// The core's session (core/cli_session.h) on Windows: the line is the
// platform's serial port, whose reader thread tells of its bytes through an event; the timer is a
// waitable timer; Ctrl+C and Ctrl+Break come from the termination watch. One
// loop on WaitForMultipleObjects delivers them all to the session, on the
// program's one thread.
#pragma once

#include "core/cli_session.h"
#include "platform/serial_port.h"

#include <string>
#include <windows.h>

// The line as the loop sees it: besides the session's calls, an event set
// while bytes or the loss of the device wait, and the call that takes them.
class LoopLine : public SessionLine {
  public:
    virtual HANDLE event() const = 0;
    // The bytes read since the last take; *lost set once the device has
    // gone, with *error its reason.
    virtual std::string take(bool* lost, LineError* error) = 0;
};

class WinSessionLine : public LoopLine {
  public:
    // path: what CreateFileW opens; name: the port in messages ("COM3").
    WinSessionLine(std::wstring path, std::string name);
    ~WinSessionLine() override;

    bool open(int rate, LineError* error);
    bool write(std::string_view bytes, LineError* error) override;
    bool reopen(int rate, LineError* error) override;
    void drain(int timeoutMs) override;
    void close() override;
    std::string device() const override { return name_; }

    HANDLE event() const override { return event_; }
    std::string take(bool* lost, LineError* error) override;

  private:
    std::wstring path_;
    std::string name_;
    SerialPort port_;
    HANDLE event_; // auto-reset
};

// A waitable timer that never wakes the session early: a wake-up before the
// time asked for sets the timer again for the rest.
class WinSessionTimer : public SessionTimer {
  public:
    explicit WinSessionTimer(const MonotonicClock& clock);
    ~WinSessionTimer() override;
    void start(int ms) override;
    void stop() override;

    HANDLE handle() const { return timer_; }
    // After handle() was signalled: whether the time asked for has come
    // (once), else the timer waits again for the rest.
    bool due();

  private:
    void arm(int64_t ms);

    const MonotonicClock& clock_;
    HANDLE timer_; // auto-reset
    int64_t deadline_ = -1;
};

// Runs frames on the open line until the session ends and returns its exit
// status.
int RunWinSession(std::vector<PlannedFrame> frames, LoopLine& line, TrafficReport& report,
                  const MonotonicClock& clock, int timeoutMs, Complaint complain);
