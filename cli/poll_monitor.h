// vxt4710-cli monitor on one poll() loop: both taps' descriptors, the
// termination signals' descriptor and the session's wake-ups, as
// RunPollSession does for one line.
#pragma once

#include "cli/poll_session.h"
#include "core/cli_monitor.h"

#include <string>

// One tap: its line and the port's name as the user gave it.
struct PollTap {
    PollLine* line = nullptr;
    std::string name;
};

// Watches host and chip until the session ends; returns its status.
int RunPollMonitor(MonitorSession& session, PollTap host, PollTap chip,
                   const MonotonicClock& clock);
