// vxt4710-cli from its parsed options to its exit status.
#pragma once

#include "core/cli_options.h"
#include "core/session_io.h"

#include <string>

// Runs options to the end (the event loop runs inside) and returns the exit
// status. clock: started at process start, for the t_ms of --json.
int RunCli(const CliOptions& options, const MonotonicClock& clock);

// A command line that cannot be run: message and the usage line on standard
// error and, under --json, a final result object on standard output.
// Returns the status for bad usage.
int RefuseUsage(const std::string& message, bool json, const MonotonicClock& clock);

// The ports command: COM1-COM20 and the device each stands for.
int ListPorts(const CliOptions& options, const MonotonicClock& clock);
