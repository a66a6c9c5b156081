// Who holds a link com<n> of the ports folder. A simulated chip writes a
// record beside the link it makes (.com<n>.owner) and keeps that file locked
// while it runs. The lock goes with the process however it ends (even
// SIGKILL), so a link left behind by a simulated chip that was killed is told
// apart from a live one: its pseudo-terminal may belong to another program by
// now, and nothing may be written into it.
//
// Plain C++ without Qt: the simulated chip uses it too.
#pragma once

#include <optional>
#include <string>

namespace portlink {

// folder/.com<n>.owner
std::string OwnerFile(const std::string& folder, int n);

struct OwnerRecord {
    long pid = 0;
    std::string device; // what the owner pointed the link at
    // The link's target before the owner came; none when there was no link.
    std::optional<std::string> previous;
};

// Three lines: pid, device, then "previous TARGET" or "previous-none". A
// target is the rest of the file, so that one with a line break survives.
std::string FormatOwner(const OwnerRecord& record);
std::optional<OwnerRecord> ParseOwner(const std::string& text);
// The whole file read from fd (from its start), at most 64 KiB.
std::string ReadAll(int fd);

enum class Holder {
    None,  // no simulated chip made this link: it is the user's own
    Alive, // a running simulated chip holds it
    Gone,  // made by a simulated chip that has ended without clearing up
};
struct HolderInfo {
    Holder holder = Holder::None;
    long pid = 0; // the simulated chip's, when not None
};

// Whether the link folder/com<n>, which points at linkTarget (as readlink
// says), is a simulated chip's, and whether that one still runs.
HolderInfo HolderOf(const std::string& folder, int n, const std::string& linkTarget);

// The link's own target (readlink), or nothing when path is no link.
std::optional<std::string> ReadLink(const std::string& path);

} // namespace portlink
