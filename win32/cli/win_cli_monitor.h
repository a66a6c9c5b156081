// vxt4710-cli.exe monitor: both taps' events, Ctrl+C and the session's
// wake-ups in one WaitForMultipleObjects loop, as RunWinSession does for
// one line.
#pragma once

#include "core/tap_watch.h"
#include "win32/cli/win_cli_session.h"

#include <string>

// One tap: its line and the port's name as the user gave it.
struct WinTap {
    LoopLine* line = nullptr;
    std::string name;
};

class WakeEvent;

// Watches host and chip until the watch ends; returns its status. Without
// stop, Ctrl+C and the console's other events end it; with stop (a window's
// watch on a thread of its own), setting it from another thread ends it.
int RunWinMonitor(TapWatch& session, WinTap host, WinTap chip, WakeEvent* stop = nullptr);
