// vxt4710-cli monitor on one poll() loop: both taps' descriptors, the
// termination signals' descriptor and the session's wake-ups, as
// RunPollSession does for one line.
#pragma once

#include "cli/poll_session.h"
#include "core/tap_watch.h"

#include <string>

// One tap: its line and the port's name as the user gave it.
struct PollTap {
    PollLine* line = nullptr;
    std::string name;
};

class WakeEvent;

// Watches host and chip until the watch ends; returns its status. Without
// stop, the termination signals end it and a lost reader of standard output
// is reported; with stop (a window's watch on a thread of its own), setting
// it from another thread ends it.
int RunPollMonitor(TapWatch& session, PollTap host, PollTap chip, const MonotonicClock& clock,
                   WakeEvent* stop = nullptr);
