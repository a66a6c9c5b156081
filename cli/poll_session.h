// The core's session (core/cli_session.h) on one poll() loop, without Qt:
// the line's descriptor, a timer on the steady clock, the termination
// signals' descriptor (platform/termination_watch.h) and a look at standard
// output every 100 ms, all delivered on the program's one thread, as
// RunWinSession does on Windows with WaitForMultipleObjects.
#pragma once

#include "core/cli_session.h"

#include <string>
#include <vector>

// The line as the loop sees it: a descriptor that becomes readable when
// bytes or the loss of the device wait, and the call that takes them.
class PollLine : public SessionLine {
  public:
    // -1 while closed.
    virtual int descriptor() const = 0;
    // Reads what is there; *lost set once the device has gone, with *error
    // its reason.
    virtual std::string take(bool* lost, LineError* error) = 0;
    // Bytes wait to be taken that the descriptor does not announce (they
    // came while a rate change waited for the server).
    virtual bool holding() const { return false; }
    // How long the loop may sleep at most for this line's own deadlines
    // (a server's answer it waits for), -1: no bound.
    virtual int wakeWithinMs() const { return -1; }
    // Called on such a wake-up: a line that has given up on its server
    // reports it as lost.
    virtual bool expired(LineError*) { return false; }
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
int RunPollSession(std::vector<PlannedFrame> frames, PollLine& line, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain);
