// Where COM<n> and any other --port name lead on Linux, without Qt: a link
// com<n> in the ports folder names the device (or a network address), a
// plain file com<n> holds an address (the Windows way), else port n is the
// n-th of the system's serial ports: the rules the window follows too
// (core/port_names.h on the platform's files), with the program's messages.
#pragma once

#include "core/cli_run.h"
#include "core/port_names.h"

#include <functional>
#include <string>
#include <vector>

// $XDG_CONFIG_HOME/vxt4710/ports, by default ~/.config/vxt4710/ports.
std::string PortsFolderPath();

// Orders device paths: ttyUSB*, then ttyACM*, then the rest, numerically.
std::vector<std::string> SortedSystemPorts(std::vector<std::string> devices);

// How port n came to its device.
using PortLookup = ports::PortResolution;
// systemPorts is called only when no link names the port.
PortLookup LookUpPort(int n, const std::string& folder,
                      const std::function<std::vector<std::string>()>& systemPorts);

// What the ports command shows for port n.
ListedPort ListedPortOf(const PortLookup& lookup);

// Where --port name leads: a COM name as above (with a notice when it comes
// from the system's list), anything else a device path taken from the
// current folder.
PortRoute RoutePosixPort(const std::string& name, const std::string& folder,
                         const std::function<std::vector<std::string>()>& systemPorts);

// path made absolute from the current folder, without "." and ".." parts.
std::string AbsolutePath(const std::string& path);
