// What a loop that reads both taps of a watched line feeds: the command-line
// program's session (core/cli_monitor.h) and the monitor window's watch
// (core/monitor_view.h) alike. The loop is the system's; it reads both taps
// every turn, follows rateIndex() on both, and calls these on its thread.
#pragma once

#include "core/session_io.h"
#include "core/tap_monitor.h"

#include <string>
#include <string_view>

class TapWatch {
  public:
    virtual ~TapWatch() = default;
    // Bytes of both taps read in one turn (either may be empty).
    virtual void onTurn(std::string_view host, std::string_view chip) = 0;
    // A tap's port failed (name: the port as the user gave it): the end.
    virtual void onLineFailed(TapSide side, const std::string& name, const LineError& error) = 0;
    // A wake-up the loop was asked for (wakeWithinMs).
    virtual void onTimer() = 0;
    // A termination signal (signo) or, with 0, the user's stop: the end.
    virtual void interrupt(int signo) = 0;
    // Standard output's reader has gone; only a watch that writes there minds.
    virtual void onOutputGone(const std::string& reason) { (void)reason; }
    // How long the loop may sleep at most (-1: until bytes or a signal).
    virtual int wakeWithinMs() const = 0;
    // The rate index both taps should listen at now (core/line_rates.h).
    virtual int rateIndex() const = 0;
    virtual bool done() const = 0;
    virtual int status() const = 0;
};
