// Where COM<n> and any other --port name lead on Linux, without Qt: a link
// com<n> in the ports folder names the device (or a network address), a
// plain file com<n> holds an address (the Windows way), else port n is the
// n-th of the system's serial ports. The window resolves the same names
// through serial/port_names.h; this is the command-line program's copy of
// those rules on plain POSIX calls.
#pragma once

#include "core/cli_run.h"

#include <functional>
#include <string>
#include <vector>

// $XDG_CONFIG_HOME/vxt4710/ports, by default ~/.config/vxt4710/ports.
std::string PortsFolderPath();

// Orders device paths: ttyUSB*, then ttyACM*, then the rest, numerically.
std::vector<std::string> SortedSystemPorts(std::vector<std::string> devices);

// How port n came to its device.
struct PortLookup {
    enum class Source { None, Link, StaleLink, System, Net, BadFile };
    Source source = Source::None;
    std::string device;  // empty for None, StaleLink and BadFile
    std::string target;  // StaleLink: where the link points
    long ownerPid = 0;   // StaleLink: the simulated chip that made it
    int systemCount = 0; // System: how many ports the system has
    std::string failure; // BadFile: its path and what is wrong with it
};
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
