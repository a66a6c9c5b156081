// The command-line programs' one event loop, on every system: the session
// (core/cli_session.h) and the monitor's watch (core/tap_watch.h) get the
// line's bytes, their timer, the termination signals and a look at standard
// output on the program's one thread. What the loop waits on is a
// descriptor for poll() on POSIX and an event for WaitForMultipleObjects on
// Windows (platform/posix/wait_turn.cpp, platform/windows/wait_turn.cpp).
#pragma once

#include "core/cli_session.h"
#include "core/tap_watch.h"

#include <cstdint>
#include <string>
#include <vector>

class WakeEvent;

// One thing a loop waits on: a descriptor (POSIX) or an event HANDLE
// (Windows); the other stays unset. Neither set: nothing to wait on.
struct Waitable {
    int descriptor = -1;
    void* handle = nullptr;
};

// Waits at most timeoutMs (-1: without bound) until any of items is ready,
// then marks every one that is in ready[]: a line that keeps sending hides
// neither the timer nor the signals. False when the wait itself failed.
bool WaitTurn(const Waitable* items, bool* ready, int count, int64_t timeoutMs);

// The line as the loop sees it: besides the session's calls, what becomes
// ready when bytes or the loss of the device wait, and the call that takes
// them.
class LoopLine : public SessionLine {
  public:
    virtual Waitable waitable() const = 0;
    // The bytes read since the last take; *lost set once the device has
    // gone, with *error its reason.
    virtual std::string take(bool* lost, LineError* error) = 0;
    // Bytes wait to be taken that the waitable does not announce (they came
    // while a rate change waited for the server).
    virtual bool holding() const { return false; }
    // How long the loop may sleep at most for this line's own deadlines
    // (a server's answer it waits for), -1: no bound.
    virtual int wakeWithinMs() const { return -1; }
    // Called on such a wake-up: a line that has given up on its server
    // reports it as lost.
    virtual bool expired(LineError*) { return false; }
};

// The session's timer: a deadline the loop sleeps towards, never waking the
// session early.
class DeadlineTimer : public SessionTimer {
  public:
    explicit DeadlineTimer(const MonotonicClock& clock) : clock_(clock) {}
    void start(int ms) override;
    void stop() override { deadline_ = -1; }
    // Milliseconds until it is due (0: now), -1 when stopped.
    int64_t left() const;
    // Whether the time asked for has come (once).
    bool due();

  private:
    const MonotonicClock& clock_;
    int64_t deadline_ = -1;
};

// A reader of standard output that goes away while the line is quiet is
// noticed between lines, not only at the next write seconds later: a look
// every 100 ms.
class OutputWatch {
  public:
    explicit OutputWatch(const MonotonicClock& clock);
    // How long the loop may sleep before the next look.
    int64_t leftMs() const;
    // At most once a look: whether the reader has gone, with *reason why.
    bool readerGone(std::string* reason);

  private:
    const MonotonicClock& clock_;
    int64_t next_;
};

// Runs frames on the open line until the session ends and returns its exit
// status.
int RunLoopSession(std::vector<PlannedFrame> frames, LoopLine& line, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain);

// A tap of the watched line and the port's name as the user gave it.
struct LoopTap {
    LoopLine* line;
    std::string name;
};

// Reads both taps until the watch is done and returns its status. With
// stop, the loop ends when it is set (a window's watch) and leaves the
// termination signals and standard output alone; without, those end it.
int RunLoopMonitor(TapWatch& watch, LoopTap host, LoopTap chip, const MonotonicClock& clock,
                   WakeEvent* stop = nullptr);
