#include "core/port_names.h"

#include "core/net_address.h"
#include "core/port_binding_text.h"
#include "core/text_util.h"

#include <algorithm>
#include <optional>

int ComNumberOf(std::string_view name) {
    if (name.size() < 4)
        return 0;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(name[0]) != 'c' || lower(name[1]) != 'o' || lower(name[2]) != 'm')
        return 0;
    std::string_view digits = name.substr(3);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    const int n = digits.size() <= 2 ? std::stoi(std::string(digits)) : 0;
    return n >= 1 && n <= 20 ? n : -1;
}

namespace ports {

namespace {

std::string LastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file com<n> where a link is expected (Linux) or the way to bind (Windows):
// an address, or why it is none.
PortResolution FromFile(const PortEntry& entry, FolderStyle style) {
    PortResolution r;
    std::string why;
    std::string address;
    const FileRead& content = entry.content;
    switch (content.outcome) {
    case FileRead::Outcome::Read:
        if (!ParsePortBinding(content.bytes, &address, &why) && style == FolderStyle::Links)
            why += " (a serial device is named by a link: ln -s /dev/ttyUSB0 " +
                   LastPart(entry.path) + ")";
        break;
    case FileRead::Outcome::TooLarge:
        why = "it is longer than an address can be";
        break;
    case FileRead::Outcome::NotAFile:
    case FileRead::Outcome::Missing:
    case FileRead::Outcome::Unreadable:
        if (style == FolderStyle::Files && content.error != 0)
            why = "cannot be read (system error " + std::to_string(content.error) + ")";
        else
            why = "cannot be read: " + (content.reason.empty() ? "not a file" : content.reason);
        break;
    }
    if (why.empty()) {
        r.source = PortResolution::Source::Net;
        r.device = address;
        return r;
    }
    r.source = PortResolution::Source::BadFile;
    r.failure = entry.path + ": " + why;
    return r;
}

} // namespace

PortResolution ResolveEntry(int n, const PortEntry& entry, FolderStyle style,
                            const StaleOwner& staleOwner, const SystemPorts& systemPorts) {
    PortResolution r;
    switch (entry.kind) {
    case PortEntry::Kind::Link: {
        // A link to an address points nowhere by nature: it is no link a
        // simulated chip left behind.
        if (LooksLikeNetAddress(entry.target)) {
            r.source = PortResolution::Source::Net;
            // Bytes that are no text show as \xNN (and make no address).
            r.device = ShownEscaped(entry.target);
            return r;
        }
        if (const std::optional<long> pid = staleOwner ? staleOwner(entry.target) : std::nullopt) {
            r.source = PortResolution::Source::StaleLink;
            r.target = entry.target;
            r.ownerPid = *pid;
            return r;
        }
        r.source = PortResolution::Source::Link;
        r.device = entry.device;
        return r;
    }
    case PortEntry::Kind::File:
        return FromFile(entry, style);
    case PortEntry::Kind::None:
        break;
    }
    if (n < 1 || !systemPorts)
        return r;
    const std::vector<std::string> system = systemPorts();
    if (std::size_t(n) <= system.size()) {
        r.source = PortResolution::Source::System;
        r.device = system[std::size_t(n) - 1];
        r.systemCount = static_cast<int>(system.size());
    }
    return r;
}

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
} // namespace

std::vector<std::string> SortSystemPorts(std::vector<std::string> devices) {
    std::stable_sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
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

} // namespace ports
