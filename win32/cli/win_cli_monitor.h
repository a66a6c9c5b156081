// vxt4710-cli.exe monitor: both taps' events, Ctrl+C and the session's
// wake-ups in one WaitForMultipleObjects loop, as RunWinSession does for
// one line.
#pragma once

#include "core/cli_monitor.h"
#include "win32/cli/win_cli_session.h"

#include <string>

// One tap: its line and the port's name as the user gave it.
struct WinTap {
    LoopLine* line = nullptr;
    std::string name;
};

// Watches host and chip until the session ends; returns its status.
int RunWinMonitor(MonitorSession& session, WinTap host, WinTap chip);
