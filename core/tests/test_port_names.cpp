// What a COM name stands for, from what the ports folder holds under com<n>:
// links, files that bind it to an address (Linux and Windows words), and the
// system's own ports when nothing names it.
#include "core/port_binding_text.h"
#include "core/port_names.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

namespace {

// COM1..COM20 in any case, leading zeros allowed; the same names past 20 are
// out of range (-1); anything else is no COM name (0).
TEST(ComNames, InsideAndOutsideTheRange) {
    const struct {
        const char* name;
        int number;
    } cases[] = {
        {"COM1", 1},  {"com20", 20},  {"cOm07", 7},      {"COM0020", 20}, {"COM21", -1},
        {"COM0", -1}, {"COM000", -1}, {"COM123", -1},    {"COM", 0},      {"COM1x", 0},
        {"COM-1", 0}, {"XCOM1", 0},   {"/dev/ttyS0", 0}, {"", 0},         {"COM 1", 0},
        {"Com7", 7},  {"COM007", 7},  {"COM00", -1},     {"COM100", -1},  {"COM99999999999", -1},
        {"COMX", 0},  {"pts/0", 0},   {"COM+3", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComNumberOf(c.name), c.number) << c.name;
}

using Source = ports::PortResolution::Source;
using Style = ports::FolderStyle;

PortEntry Link(const std::string& target, const std::string& device) {
    PortEntry e;
    e.kind = PortEntry::Kind::Link;
    e.path = "/cfg/ports/com3";
    e.target = target;
    e.device = device;
    return e;
}

PortEntry File(FileRead::Outcome outcome, const std::string& bytes, const std::string& reason = {},
               unsigned long error = 0) {
    PortEntry e;
    e.kind = PortEntry::Kind::File;
    e.path = "/cfg/ports/com3";
    e.content = FileRead{outcome, bytes, reason, error};
    return e;
}

struct EntryRow {
    const char* name;
    PortEntry entry;
    Style style;
    bool stale; // a simulated chip that has ended made the link
    Source source;
    const char* device;
    const char* failure; // the whole failure, for BadFile
};

class PortEntries : public ::testing::TestWithParam<EntryRow> {};

TEST_P(PortEntries, StandForTheirDevice) {
    const EntryRow& row = GetParam();
    int systemAsked = 0;
    std::string staleAsked;
    const ports::PortResolution r = ports::ResolveEntry(
        3, row.entry, row.style,
        [&](const std::string& target) -> std::optional<long> {
            staleAsked = target;
            return row.stale ? std::optional<long>(4711) : std::nullopt;
        },
        [&] {
            ++systemAsked;
            return std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"};
        });
    EXPECT_EQ(r.source, row.source);
    EXPECT_EQ(r.device, row.device);
    EXPECT_EQ(r.failure, row.failure);
    // The system's list only when nothing in the folder names the port.
    EXPECT_EQ(systemAsked, row.entry.kind == PortEntry::Kind::None ? 1 : 0);
    // A link to an address is never taken for a simulated chip's.
    const bool linkToDevice = row.entry.kind == PortEntry::Kind::Link && row.source != Source::Net;
    EXPECT_EQ(staleAsked, linkToDevice ? row.entry.target : "");
    if (row.source == Source::StaleLink) {
        EXPECT_EQ(r.target, row.entry.target);
        EXPECT_EQ(r.ownerPid, 4711);
    }
    if (row.source == Source::System) {
        EXPECT_EQ(r.systemCount, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PortEntries,
    ::testing::Values(
        EntryRow{"nothing_there_the_systems_third", PortEntry{}, Style::Links, false,
                 Source::System, "/dev/ttyACM0", ""},
        EntryRow{"link_to_a_device", Link("/dev/serial/by-id/x", "/dev/ttyUSB7"), Style::Links,
                 false, Source::Link, "/dev/ttyUSB7", ""},
        EntryRow{"link_pointing_nowhere", Link("/dev/vxt4710-unplugged", "/dev/vxt4710-unplugged"),
                 Style::Links, false, Source::Link, "/dev/vxt4710-unplugged", ""},
        EntryRow{"link_left_by_an_ended_chip", Link("/dev/pts/9", "/dev/pts/9"), Style::Links, true,
                 Source::StaleLink, "", ""},
        EntryRow{"link_to_an_address", Link("rfc2217://lab1:7001", ""), Style::Links, true,
                 Source::Net, "rfc2217://lab1:7001", ""},
        EntryRow{"link_to_an_address_of_no_text", Link("socket://lab\xFF:7000", ""), Style::Links,
                 false, Source::Net, "socket://lab\\xFF:7000", ""},
        EntryRow{"file_with_an_address", File(FileRead::Outcome::Read, "socket://lab1:7002\r\n"),
                 Style::Links, false, Source::Net, "socket://lab1:7002", ""},
        EntryRow{"file_with_an_address_windows", File(FileRead::Outcome::Read, "rfc2217://h:1"),
                 Style::Files, false, Source::Net, "rfc2217://h:1", ""},
        EntryRow{"file_without_an_address_linux_hints_at_links",
                 File(FileRead::Outcome::Read, "/dev/ttyUSB0"), Style::Links, false,
                 Source::BadFile, "",
                 "/cfg/ports/com3: it holds \"/dev/ttyUSB0\", not an address such as "
                 "rfc2217://HOST:PORT or socket://HOST:PORT (a serial device is named by a link: "
                 "ln -s /dev/ttyUSB0 com3)"},
        EntryRow{"file_without_an_address_windows", File(FileRead::Outcome::Read, "COM1"),
                 Style::Files, false, Source::BadFile, "",
                 "/cfg/ports/com3: it holds \"COM1\", not an address such as rfc2217://HOST:PORT "
                 "or socket://HOST:PORT"},
        EntryRow{"file_too_long", File(FileRead::Outcome::TooLarge, ""), Style::Links, false,
                 Source::BadFile, "", "/cfg/ports/com3: it is longer than an address can be"},
        EntryRow{"file_too_long_windows", File(FileRead::Outcome::TooLarge, ""), Style::Files,
                 false, Source::BadFile, "",
                 "/cfg/ports/com3: it is longer than an address can be"},
        EntryRow{"file_unreadable_linux",
                 File(FileRead::Outcome::Unreadable, "", "Permission denied", 13), Style::Links,
                 false, Source::BadFile, "", "/cfg/ports/com3: cannot be read: Permission denied"},
        EntryRow{"file_unreadable_windows",
                 File(FileRead::Outcome::Unreadable, "", "Access is denied.", 5), Style::Files,
                 false, Source::BadFile, "", "/cfg/ports/com3: cannot be read (system error 5)"},
        EntryRow{"a_pipe_of_that_name", File(FileRead::Outcome::NotAFile, ""), Style::Links, false,
                 Source::BadFile, "", "/cfg/ports/com3: cannot be read: not a file"}),
    vxt_test::RowName());

// Without anything in the folder: the n-th of the system's ports, none past
// its end or for a number below 1 (the list then not asked for).
TEST(PortEntries, TheSystemsPortsByNumber) {
    const std::vector<std::string> system = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
    const struct {
        int n;
        Source source;
        const char* device;
        int asked;
    } cases[] = {
        {1, Source::System, "/dev/ttyUSB0", 1},
        {2, Source::System, "/dev/ttyUSB1", 1},
        {3, Source::None, "", 1},
        {0, Source::None, "", 0},
        {-1, Source::None, "", 0},
    };
    for (const auto& c : cases) {
        int asked = 0;
        const ports::PortResolution r =
            ports::ResolveEntry(c.n, PortEntry{}, Style::Links, nullptr, [&] {
                ++asked;
                return system;
            });
        EXPECT_EQ(r.source, c.source) << c.n;
        EXPECT_EQ(r.device, c.device) << c.n;
        EXPECT_EQ(asked, c.asked) << c.n;
    }
    // Windows asks no list: COM<n> is then its own device.
    EXPECT_EQ(ports::ResolveEntry(1, PortEntry{}, Style::Files, nullptr, nullptr).source,
              Source::None);
}

} // namespace
