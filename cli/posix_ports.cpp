#include "cli/posix_ports.h"

#include "core/cli_options.h"
#include "core/net_address.h"
#include "core/port_binding_text.h"
#include "core/text_util.h"
#include "serial/port_resolution.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// path without "." and ".." parts and doubled slashes; absolute paths only.
std::string CleanPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& part : parts)
        clean += "/" + part;
    return clean.empty() ? "/" : clean;
}

} // namespace

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return CleanPath(path);
    char cwd[PATH_MAX];
    const std::string here = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    return CleanPath(here + "/" + path);
}

std::string PortsFolderPath() {
    return ports::DefaultFolder();
}

std::vector<std::string> SortedSystemPorts(std::vector<std::string> devices) {
    return ports::SortSystemPorts(std::move(devices));
}

PortLookup LookUpPort(int n, const std::string& folder,
                      const std::function<std::vector<std::string>()>& systemPorts) {
    return ports::Resolve(n, folder, systemPorts);
}

ListedPort ListedPortOf(const PortLookup& lookup) {
    ListedPort port;
    port.device = lookup.device;
    if (lookup.source == PortLookup::Source::BadFile)
        port.bindingError = lookup.failure;
    if (lookup.source == PortLookup::Source::StaleLink)
        port.staleLink = lookup.target;
    return port;
}

PortRoute RoutePosixPort(const std::string& name, const std::string& folder,
                         const std::function<std::vector<std::string>()>& systemPorts) {
    PortRoute route;
    const int n = ComNumberOf(name);
    if (n <= 0) {
        // Relative to where the user stands.
        route.device = route.path = AbsolutePath(name);
        return route;
    }
    const std::string com = "COM" + std::to_string(n);
    const std::string link = "com" + std::to_string(n);
    const PortLookup r = LookUpPort(n, folder, systemPorts);
    switch (r.source) {
    case PortLookup::Source::Link:
        break;
    case PortLookup::Source::Net: // the device is the address
        route.address = r.device;
        return route;
    case PortLookup::Source::System:
        route.notice = com + " stands for " + r.device + ", the system's serial port " +
                       std::to_string(n) + " of " + std::to_string(r.systemCount) +
                       " (there is no link " + link + " in " + folder + ")";
        break;
    case PortLookup::Source::StaleLink:
        route.failure = com + " stands for no device: its link " + link + " -> " + r.target +
                        " was left behind by a simulated chip (pid " + std::to_string(r.ownerPid) +
                        ") that has ended, and that terminal may belong to another program now; "
                        "start vxt4710-chipsim --as " +
                        com + " again or remove " + folder + "/" + link;
        return route;
    case PortLookup::Source::BadFile:
        route.failure = com + ": " + r.failure;
        route.serialHint = false;
        return route;
    case PortLookup::Source::None:
        route.failure = com + " stands for no device (no link in " + folder +
                        ", and the system has fewer serial ports)";
        return route;
    }
    route.device = route.path = r.device;
    return route;
}
