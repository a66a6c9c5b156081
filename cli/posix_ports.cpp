#include "cli/posix_ports.h"

#include "core/cli_options.h"
#include "core/net_address.h"
#include "core/port_binding_text.h"
#include "core/text_util.h"
#include "serial/link_owner.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct PortKey {
    int group;        // 0 ttyUSB, 1 ttyACM, 2 the others
    std::string stem; // name without its trailing number
    long number;      // trailing number (its first nine digits), -1 when none
};

PortKey KeyOf(const std::string& device) {
    const std::string name = device.substr(device.rfind('/') + 1);
    PortKey key{2, name, -1};
    if (name.rfind("ttyUSB", 0) == 0)
        key.group = 0;
    else if (name.rfind("ttyACM", 0) == 0)
        key.group = 1;
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    if (digits < name.size()) {
        key.stem = name.substr(0, digits);
        key.number = std::strtol(name.substr(digits, 9).c_str(), nullptr, 10);
    }
    return key;
}

// A file com<n> where a link is expected: an address, or why it is none.
PortLookup FromPlainFile(const std::string& path, int n) {
    PortLookup r;
    std::string why;
    std::string address;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot be read: ") + std::strerror(errno);
    } else {
        std::string content;
        char buf[512];
        ssize_t got = 0;
        while (content.size() <= kMaxBindingBytes && (got = ::read(fd, buf, sizeof buf)) > 0)
            content.append(buf, static_cast<std::size_t>(got));
        ::close(fd);
        if (content.size() > kMaxBindingBytes)
            why = "it is longer than an address can be";
        else if (!ParsePortBinding(content, &address, &why))
            why += " (a serial device is named by a link: ln -s /dev/ttyUSB0 com" +
                   std::to_string(n) + ")";
    }
    if (why.empty()) {
        r.source = PortLookup::Source::Net;
        r.device = address;
        return r;
    }
    r.source = PortLookup::Source::BadFile;
    r.failure = path + ": " + why;
    return r;
}

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
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config ? config : "";
    if (base.empty()) {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/") + "/.config";
    }
    return base + "/vxt4710/ports";
}

std::vector<std::string> SortedSystemPorts(std::vector<std::string> devices) {
    std::stable_sort(devices.begin(), devices.end(),
                     [](const std::string& a, const std::string& b) {
                         const PortKey ka = KeyOf(a), kb = KeyOf(b);
                         if (ka.group != kb.group)
                             return ka.group < kb.group;
                         if (ka.stem != kb.stem)
                             return ka.stem < kb.stem;
                         if (ka.number != kb.number)
                             return ka.number < kb.number;
                         return a < b;
                     });
    return devices;
}

PortLookup LookUpPort(int n, const std::string& folder,
                      const std::function<std::vector<std::string>()>& systemPorts) {
    PortLookup r;
    const std::string path = folder + "/com" + std::to_string(n);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const auto target = portlink::ReadLink(path);
        // A link to an address points nowhere by nature: it is no link a
        // simulated chip left behind.
        if (target && LooksLikeNetAddress(*target)) {
            r.source = PortLookup::Source::Net;
            // Bytes that are no text show as \xNN (and make no address).
            r.device = ShownEscaped(*target);
            return r;
        }
        const auto owner = portlink::HolderOf(folder, n, target.value_or(std::string()));
        if (owner.holder == portlink::Holder::Gone) {
            r.source = PortLookup::Source::StaleLink;
            r.target = target.value_or(std::string());
            r.ownerPid = owner.pid;
            return r;
        }
        // The device itself, also through a chain of links (udev's by-id
        // names), so that one device has one name and one lock; a link that
        // points nowhere still names the port.
        r.source = PortLookup::Source::Link;
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            r.device = real;
            std::free(real);
        } else if (target) {
            r.device =
                (*target)[0] == '/' ? CleanPath(*target) : AbsolutePath(folder + "/" + *target);
        }
        return r;
    }
    if (::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return FromPlainFile(path, n);
    if (n < 1)
        return r;
    const std::vector<std::string> system = systemPorts();
    if (n <= static_cast<int>(system.size())) {
        r.source = PortLookup::Source::System;
        r.device = system[static_cast<std::size_t>(n - 1)];
        r.systemCount = static_cast<int>(system.size());
    }
    return r;
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
