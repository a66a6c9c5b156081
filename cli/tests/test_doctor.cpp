// The port doctor on trees of its own under VXT4710_ROOT, laid out as a
// real system's are: sysfs links from class/tty into the USB device's
// folder, bus/usb/devices, /proc/<pid>/comm and fd links, device nodes
// replaced by files, /proc/self/status saying whose access counts. Each
// tree gives the kinds of finding it should, once each, and no other.
#include "cli/cli_run.h"
#include "core/port_doctor.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kUsbDevice = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";

class Tree {
  public:
    Tree() {
        char pattern[] = "/tmp/vxt4710-doctor-XXXXXX";
        root_ = ::mkdtemp(pattern);
    }
    ~Tree() {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }
    const std::string& root() const { return root_; }
    std::string at(const std::string& path) const { return root_ + path; }

    void file(const std::string& path, const std::string& text, fs::perms mode = fs::perms(0644)) {
        fs::create_directories(fs::path(at(path)).parent_path());
        std::ofstream(at(path)) << text;
        fs::permissions(at(path), mode);
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories(fs::path(at(path)).parent_path());
        fs::remove(at(path));
        fs::create_symlink(target, at(path));
    }
    void remove(const std::string& path) { fs::remove_all(at(path)); }

    // A USB serial adapter at the bus's port 1-<port>, with its tty when
    // driver is given (bound), latency the FTDI timer when not empty.
    void adapter(int port, const std::string& ids, const std::string& tty,
                 const std::string& driver, const std::string& latency = {}) {
        const std::string usb =
            "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port);
        const std::string bus = "1-" + std::to_string(port);
        file(usb + "/idVendor", ids.substr(0, 4) + "\n");
        file(usb + "/idProduct", ids.substr(5, 4) + "\n");
        file(usb + "/product", "USB Serial\n");
        link("/sys/bus/usb/devices/" + bus, "../../../devices/pci0000:00/0000:00:14.0/usb1/" + bus);
        if (driver.empty())
            return;
        // The interface, the port device under it, its tty and the class link.
        const std::string portDevice = usb + "/" + bus + ":1.0/" + tty;
        file("/sys/bus/usb-serial/drivers/" + driver + "/uevent", "");
        link(portDevice + "/driver", "../../../../../../../bus/usb-serial/drivers/" + driver);
        if (!latency.empty())
            file(portDevice + "/latency_timer", latency + "\n");
        link(portDevice + "/tty/" + tty + "/device", "../../../" + tty);
        link("/sys/class/tty/" + tty, "../../devices/pci0000:00/0000:00:14.0/usb1/" + bus + "/" +
                                          bus + ":1.0/" + tty + "/tty/" + tty);
        node(tty);
    }
    void node(const std::string& tty) { file("/dev/" + tty, "", fs::perms(0660)); }
    void process(int pid, const std::string& name, const std::vector<std::string>& open = {}) {
        const std::string folder = "/proc/" + std::to_string(pid);
        file(folder + "/comm", name + "\n");
        fs::create_directories(at(folder + "/fd"));
        for (std::size_t i = 0; i < open.size(); ++i)
            link(folder + "/fd/" + std::to_string(i + 3), open[i]);
    }
    // Whose access counts: this process's own ids (the owner of every node
    // made here), or a stranger's.
    void user(bool owner) {
        const std::string uid = owner ? std::to_string(::getuid()) : "4242";
        const std::string gid = owner ? std::to_string(::getgid()) : "4242";
        file("/proc/self/status", "Name:\tvxt4710-cli\nUid:\t" + uid + "\t" + uid + "\t" + uid +
                                      "\t" + uid + "\nGid:\t" + gid + "\t" + gid + "\t" + gid +
                                      "\t" + gid + "\nGroups:\t4243 \n");
        file("/etc/group", "root:x:0:\ndialout:x:" + std::to_string(::getgid()) + ":\n");
    }
    std::string portsFolder() const { return at("/config/vxt4710/ports"); }
    void binding(int n, const std::string& target) {
        fs::create_directories(portsFolder());
        fs::create_symlink(target, portsFolder() + "/com" + std::to_string(n));
    }

  private:
    std::string root_;
};

// A machine with one CH340 adapter on ttyUSB0 that the user may open.
void Healthy(Tree& t) {
    t.adapter(1, "1a86:7523", "ttyUSB0", "ch341-uart");
    t.process(1, "systemd");
    t.user(true);
}

std::vector<std::string> KindsOf(Tree& tree, const std::string& port = {}) {
    ::setenv("VXT4710_ROOT", tree.root().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", tree.at("/config").c_str(), 1);
    LinuxCliSystem system;
    const doctor::Diagnosis d = doctor::Diagnose(system.surveyPorts(port));
    std::vector<std::string> kinds;
    for (const doctor::Finding& f : d.findings)
        kinds.push_back(f.kind);
    std::sort(kinds.begin(), kinds.end());
    return kinds;
}

struct TreeRow {
    TreeRow(const char* n, std::function<void(Tree&)> m, std::vector<std::string> k,
            std::string p = {})
        : name(n), make(std::move(m)), kinds(std::move(k)), port(std::move(p)) {}
    const char* name;
    std::function<void(Tree&)> make;
    std::vector<std::string> kinds; // sorted
    std::string port;               // --port; empty: every port
};

const TreeRow kTrees[] = {
    {"healthy", Healthy, {}},
    {"healthy asked by device", Healthy, {}, "/dev/ttyUSB0"},
    {"brltty runs and took the adapter",
     [](Tree& t) {
         t.adapter(1, "1a86:7523", "ttyUSB0", "");
         t.process(812, "brltty");
         t.user(true);
     },
     {"brltty"}},
    {"brltty rules installed",
     [](Tree& t) {
         t.adapter(1, "10c4:ea60", "ttyUSB0", "");
         t.file("/usr/lib/udev/rules.d/85-brltty.rules", "# rules\n");
         t.user(true);
     },
     {"brltty"}},
    {"brltty rules with every adapter bound",
     [](Tree& t) {
         Healthy(t);
         t.file("/usr/lib/udev/rules.d/85-brltty.rules", "# rules\n");
     },
     {}},
    {"no driver",
     [](Tree& t) {
         t.adapter(1, "067b:2303", "ttyUSB0", "");
         t.user(true);
     },
     {"no-driver"}},
    {"an unknown USB device without port",
     [](Tree& t) {
         Healthy(t);
         t.adapter(2, "046d:c52b", "", "");
     },
     {}},
    {"permission",
     [](Tree& t) {
         Healthy(t);
         t.user(false);
     },
     {"permission"}},
    {"permission for everyone",
     [](Tree& t) {
         Healthy(t);
         t.user(false);
         fs::permissions(t.at("/dev/ttyUSB0"), fs::perms(0666));
     },
     {}},
    {"held",
     [](Tree& t) {
         Healthy(t);
         t.process(900, "minicom", {"/dev/ttyUSB0", "/dev/null"});
     },
     {"held"}},
    {"held elsewhere than the port asked",
     [](Tree& t) {
         Healthy(t);
         t.adapter(2, "1a86:7523", "ttyUSB1", "ch341-uart");
         t.process(900, "minicom", {"/dev/ttyUSB1"});
     },
     {},
     "/dev/ttyUSB0"},
    {"modemmanager on ttyACM",
     [](Tree& t) {
         Healthy(t);
         t.adapter(2, "2341:0043", "ttyACM0", "cdc_acm");
         t.process(700, "ModemManager");
     },
     {"modemmanager"}},
    {"modemmanager without ttyACM",
     [](Tree& t) {
         Healthy(t);
         t.process(700, "ModemManager");
     },
     {}},
    {"ftdi latency 16 ms",
     [](Tree& t) {
         t.adapter(1, "0403:6001", "ttyUSB0", "ftdi_sio", "16");
         t.user(true);
     },
     {"ftdi-latency"}},
    {"ftdi latency 1 ms",
     [](Tree& t) {
         t.adapter(1, "0403:6001", "ttyUSB0", "ftdi_sio", "1");
         t.user(true);
     },
     {}},
    {"com link to a device that is gone",
     [](Tree& t) {
         Healthy(t);
         t.binding(2, "/dev/ttyUSB7");
     },
     {"com-link"}},
    {"com link to a device that is there",
     [](Tree& t) {
         Healthy(t);
         t.binding(2, "/dev/ttyUSB0");
     },
     {}},
    {"com link left by a simulated chip",
     [](Tree& t) {
         Healthy(t);
         t.binding(3, "/dev/pts/77");
         std::ofstream(t.portsFolder() + "/.com3.owner") << "999999\n/dev/pts/77\nprevious-none\n";
     },
     {"com-link"}},
    {"com file without address",
     [](Tree& t) {
         Healthy(t);
         fs::create_directories(t.portsFolder());
         std::ofstream(t.portsFolder() + "/com4") << "not an address\n";
     },
     {"com-link"}},
    {"com1 falls back to a port of the computer's own",
     [](Tree& t) {
         const std::string uart = "/sys/devices/platform/serial8250/tty/ttyS0";
         t.file("/sys/bus/platform/drivers/serial8250/uevent", "");
         t.link("/sys/devices/platform/serial8250/driver",
                "../../../bus/platform/drivers/serial8250");
         t.link(uart + "/device", "../../../serial8250");
         t.file(uart + "/type", "4\n");
         t.link("/sys/class/tty/ttyS0", "../../devices/platform/serial8250/tty/ttyS0");
         t.node("ttyS0");
         t.user(true);
     },
     {"com-link"}},
    {"com1 stands for nothing", [](Tree& t) { t.user(true); }, {"com-link"}},
    {"asked device that does not exist", Healthy, {"gone"}, "/dev/ttyUSB3"},
    {"asked COM name bound to a device that is gone",
     [](Tree& t) {
         Healthy(t);
         t.binding(2, "/dev/ttyUSB7");
     },
     {"com-link"},
     "COM2"},
    {"every finding at once",
     [](Tree& t) {
         t.adapter(1, "0403:6001", "ttyUSB0", "ftdi_sio", "16");
         t.adapter(2, "2341:0043", "ttyACM0", "cdc_acm");
         t.adapter(3, "1a86:7523", "ttyUSB1", "");
         t.process(812, "brltty");
         t.process(700, "ModemManager");
         t.process(900, "minicom", {"/dev/ttyUSB0"});
         t.user(false);
         t.binding(5, "/dev/ttyUSB9");
     },
     {"brltty", "com-link", "ftdi-latency", "held", "modemmanager", "permission", "permission"}},
};

class Trees : public ::testing::TestWithParam<TreeRow> {};

TEST_P(Trees, FindEachKindWhereItApplies) {
    const TreeRow& row = GetParam();
    Tree tree;
    row.make(tree);
    EXPECT_EQ(KindsOf(tree, row.port), row.kinds);
}

INSTANTIATE_TEST_SUITE_P(Cases, Trees, ::testing::ValuesIn(kTrees), vxt_test::RowName());

struct HostileRow {
    const char* name;
    std::function<void(Tree&)> make;
    std::string unread; // a part of what it says it could not read
};

const HostileRow kHostile[] = {
    {"everything missing", [](Tree&) {}, "/sys/class/tty"},
    {"links into themselves",
     [](Tree& t) {
         t.user(true);
         t.link("/sys/class/tty/ttyUSB0", "ttyUSB0");
         t.link("/sys/bus/usb/devices/1-1", "../devices/1-1");
         t.link("/sys/bus/devices", "../bus");
         t.link("/proc/5/fd", "../5/fd");
     },
     "the open files of 1 processes"},
    {"files that are no files",
     [](Tree& t) {
         t.adapter(1, "1a86:7523", "ttyUSB0", "ch341-uart");
         fs::create_directories(t.at("/proc/1"));
         fs::create_directories(t.at("/proc/self"));
         fs::create_directories(t.at("/etc"));
         ::mkfifo(t.at("/proc/1/comm").c_str(), 0644);
         ::mkfifo(t.at("/proc/self/status").c_str(), 0644);
         ::mkfifo(t.at("/etc/group").c_str(), 0644);
     },
     "/proc/self/status: not a file"},
    {"unreadable folders",
     [](Tree& t) {
         Healthy(t);
         fs::permissions(t.at("/sys"), fs::perms::none);
         fs::permissions(t.at("/proc"), fs::perms::none);
     },
     ""},
};

class Hostile : public ::testing::TestWithParam<HostileRow> {};

// No crash, no hang, and what could not be read is said.
TEST_P(Hostile, SaysWhatItCouldNotRead) {
    const HostileRow& row = GetParam();
    Tree tree;
    row.make(tree);
    ::setenv("VXT4710_ROOT", tree.root().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", tree.at("/config").c_str(), 1);
    LinuxCliSystem system;
    const doctor::Diagnosis d = doctor::Diagnose(system.surveyPorts("/dev/ttyUSB0"));
    std::string unread;
    for (const std::string& u : d.unread)
        unread += u + "\n";
    EXPECT_NE(unread.find(row.unread), std::string::npos) << unread;
    // root reads anything: the rows of unreadable folders then read all.
    if (::geteuid() != 0 || std::string(row.name) != "unreadable folders") {
        EXPECT_FALSE(d.unread.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Hostile, ::testing::ValuesIn(kHostile), vxt_test::RowName());

// A huge file is read only so far.
TEST(Doctor, HugeFilesAreReadOnlySoFar) {
    Tree tree;
    Healthy(tree);
    std::ofstream(tree.at("/etc/group")) << "";
    ::truncate(tree.at("/etc/group").c_str(), int64_t(1) << 36); // sparse, 64 GiB
    ::truncate(tree.at("/proc/1/comm").c_str(), int64_t(1) << 36);
    EXPECT_EQ(KindsOf(tree), std::vector<std::string>{});
}

// The program itself on a tree: its status and its one JSON object.
TEST(Doctor, TheProgramEndsOnItsFindings) {
    for (const bool healthy : {true, false}) {
        Tree tree;
        Healthy(tree);
        if (!healthy)
            tree.process(900, "minicom", {"/dev/ttyUSB0"});
        const std::string command = "VXT4710_ROOT='" + tree.root() + "' XDG_CONFIG_HOME='" +
                                    tree.at("/config") + "' '" VXT4710_CLI "' --json doctor";
        FILE* out = ::popen(command.c_str(), "r");
        ASSERT_NE(out, nullptr);
        std::string text;
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, out))
            text.append(buf, n);
        const int status = ::pclose(out);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), healthy ? 0 : 1) << text;
        EXPECT_EQ(text.find("{\"findings\": ["), 0u) << text;
        EXPECT_EQ(text.find("\"kind\": \"held\"") != std::string::npos, !healthy) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
}

} // namespace
