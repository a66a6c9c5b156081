// vxt4710-cli.exe from its arguments to its exit status: the same commands,
// options, output and statuses as the Linux program.
#pragma once

#include "core/cli_options.h"
#include "core/session_io.h"

#include <string>
#include <vector>

// Where COM<n> and any other --port name lead on Windows: a network
// address, a COM name bound to one in portsFolder (win32/win_port_binding.h),
// or the port itself.
struct WinPortChoice {
    std::wstring path;   // what CreateFileW opens
    std::string name;    // the port in messages
    std::string address; // a port on another machine: its address
    std::string failure; // a binding that leads nowhere: why
};
WinPortChoice ChooseWinPort(const std::string& port, const std::wstring& portsFolder);

// The whole run: parse, refuse, help, version, ports or the session.
int RunWinCli(const std::vector<std::string>& args, const MonotonicClock& clock);

// A command line that cannot be run: message and the usage line on standard
// error and, under --json, a final result object on standard output.
int RefuseWinUsage(const std::string& message, bool json, const MonotonicClock& clock);
