// The console's port names COM1..COM20 and what each stands for, by rules
// alike on every system; what the ports folder holds is the platform's
// (files::ReadPortEntry, platform/files.h).
//
// On Linux a link com<n> in the ports folder names the device (a link that
// points nowhere still names the port; its open then fails). Without a link,
// port n is the n-th serial port the system reports. A link whose target is a
// network address (rfc2217://HOST:PORT or socket://HOST:PORT) names a port on
// another machine: the address is the port's device. A link that a simulated
// chip made and left behind when it was killed names no device: its
// pseudo-terminal may belong to another program by now.
//
// A plain file com<n> (as the Windows console keeps its bindings, and Linux
// reads it alike) holds one network address, else is refused with why.
#pragma once

#include "core/file_read.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// n for a name COM<n> (any case, leading zeros allowed) with n from 1 to 20;
// -1 for such a name outside that range, 0 for any other name.
int ComNumberOf(std::string_view name);

namespace ports {

// How port n came to its device.
struct PortResolution {
    enum class Source {
        None,      // no link or file, and the system has fewer ports
        Link,      // the link com<n>
        StaleLink, // a link left by a simulated chip that has ended: no device
        System,    // the n-th of the system's ports
        Net,       // the link or file com<n> to a network address: device is the address
        BadFile,   // a plain file com<n> that holds no address
    };
    Source source = Source::None;
    std::string device;  // empty for None and StaleLink
    std::string target;  // StaleLink: where the link points
    long ownerPid = 0;   // StaleLink: the simulated chip that made it
    int systemCount = 0; // System: how many ports the system has
    std::string failure; // BadFile: its path and what is wrong with it
};

// The system's serial ports, in their order (asked for only when needed).
using SystemPorts = std::function<std::vector<std::string>()>;
// The pid of the simulated chip that made the link to target and has ended;
// nothing when the link is no such leftover.
using StaleOwner = std::function<std::optional<long>(const std::string& target)>;

// How the ports folder's files are told of in a failure: Linux names its
// devices by links (a file's failure says so), Windows by files.
enum class FolderStyle { Links, Files };

// Port n from what the folder holds under com<n>. staleOwner is asked only
// for a link to no address, systemPorts only when nothing names the port.
// Orders device paths: ttyUSB*, then ttyACM*, then the rest, each by its
// stem and then numerically.
std::vector<std::string> SortSystemPorts(std::vector<std::string> devices);

PortResolution ResolveEntry(int n, const PortEntry& entry, FolderStyle style,
                            const StaleOwner& staleOwner, const SystemPorts& systemPorts);

} // namespace ports
