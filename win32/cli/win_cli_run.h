// vxt4710-cli.exe from its arguments to its exit status: the same commands,
// options, output and statuses as the Linux program.
#pragma once

#include "core/cli_options.h"
#include "core/session_io.h"

#include <string>
#include <vector>

// Where COM<n> and any other --port name lead on Windows.
struct WinPortChoice {
    std::wstring path; // what CreateFileW opens
    std::string name;  // the port in messages
};
WinPortChoice ChooseWinPort(const std::string& port);

// The whole run: parse, refuse, help, version, ports or the session.
int RunWinCli(const std::vector<std::string>& args, const MonotonicClock& clock);

// A command line that cannot be run: message and the usage line on standard
// error and, under --json, a final result object on standard output.
int RefuseWinUsage(const std::string& message, bool json, const MonotonicClock& clock);
