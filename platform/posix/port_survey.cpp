// The port doctor's survey on Linux: sysfs for the ports and the USB bus,
// /proc for the processes and the user, /dev for the device nodes. A real
// system's trees are large and odd (unreadable folders, links into
// themselves); every read here is bounded and no link is followed but by
// realpath, which ends on a loop.
#include "platform/port_survey.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kSmallFile = 4096;        // sysfs attributes, comm, status
constexpr std::size_t kGroupFile = 1024 * 1024; // /etc/group
constexpr std::size_t kMaxEntries = 20000;      // names read from one folder
constexpr std::size_t kMaxProcesses = 4096;
constexpr std::size_t kMaxFds = 1024; // a process's open files looked at
constexpr int kMaxDepth = 16;         // folders walked up from a port to its USB device

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The tree under root, as the system's paths name it ("/sys/...").
class Tree {
  public:
    Tree(const std::string& root, std::vector<std::string>& unread) : unread_(unread) {
        if (root.empty() || root == "/")
            return;
        char real[PATH_MAX];
        root_ = ::realpath(root.c_str(), real) ? real : root;
        if (root_ == "/")
            root_.clear();
    }

    std::string at(const std::string& path) const { return root_ + path; }
    bool own() const { return root_.empty(); }

    // A regular file's first limit bytes. Missing files are noted only when
    // note is set; any other failure is always noted.
    std::optional<std::string> read(const std::string& path, std::size_t limit, bool note) {
        const int fd = ::open(at(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            failed(path, errno, note);
            return std::nullopt;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            unread_.push_back(path + ": not a file");
            return std::nullopt;
        }
        std::string text;
        char buf[4096];
        while (text.size() < limit) {
            const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - text.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                failed(path, errno, true);
                ::close(fd);
                return std::nullopt;
            }
            if (n == 0)
                break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return text;
    }

    // silent: no failure is noted (the caller counts them).
    std::optional<std::vector<std::string>> list(const std::string& path, bool note,
                                                 bool silent = false) {
        DIR* dir = ::opendir(at(path).c_str());
        if (!dir) {
            lastError_ = errno;
            if (!silent)
                failed(path, errno, note);
            return std::nullopt;
        }
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            if (names.size() >= kMaxEntries) {
                unread_.push_back(path + ": more than " + std::to_string(kMaxEntries) +
                                  " entries, the rest not looked at");
                break;
            }
            names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::optional<std::string> readLink(const std::string& path) const {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(at(path).c_str(), target, sizeof target - 1);
        if (n < 0)
            return std::nullopt;
        return std::string(target, static_cast<std::size_t>(n));
    }

    // Where path leads, links resolved, as a path of the tree; nothing when
    // it leads nowhere or out of the tree.
    std::optional<std::string> real(const std::string& path) const {
        char real[PATH_MAX];
        if (!::realpath(at(path).c_str(), real))
            return std::nullopt;
        const std::string r = real;
        if (own())
            return r;
        if (r.compare(0, root_.size(), root_) != 0 ||
            (r.size() > root_.size() && r[root_.size()] != '/'))
            return std::nullopt;
        return r.size() == root_.size() ? "/" : r.substr(root_.size());
    }

    bool exists(const std::string& path) const {
        struct stat st {};
        return ::stat(at(path).c_str(), &st) == 0;
    }

    void failed(const std::string& path, int error, bool note) {
        if (note || (error != ENOENT && error != ENOTDIR))
            unread_.push_back(path + ": " + std::strerror(error));
    }

    int lastError() const { return lastError_; }

  private:
    std::string root_;
    int lastError_ = 0;
    std::vector<std::string>& unread_;
};

std::optional<uint16_t> HexId(const std::optional<std::string>& text) {
    if (!text)
        return std::nullopt;
    const std::string t = Trimmed(*text);
    if (t.empty() || t.size() > 4)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long v = std::strtoul(t.c_str(), &end, 16);
    if (*end != '\0')
        return std::nullopt;
    return static_cast<uint16_t>(v);
}

// The folder of the USB device a port's device folder hangs from.
std::string UsbAncestor(Tree& tree, std::string folder) {
    for (int depth = 0; depth < kMaxDepth && folder.size() > 1; ++depth) {
        if (tree.exists(folder + "/idVendor") && tree.exists(folder + "/idProduct"))
            return folder;
        folder = Parent(folder);
    }
    return {};
}

void SurveyTtys(Tree& tree, doctor::Survey& s) {
    const auto names = tree.list("/sys/class/tty", true);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string entry = "/sys/class/tty/" + name;
        const auto driver = tree.readLink(entry + "/device/driver");
        if (!driver) // virtual terminals and pseudo-terminals have no driver
            continue;
        // A UART slot reserved with no chip behind it says type 0.
        const auto type = tree.read(entry + "/type", kSmallFile, false);
        if (type && Trimmed(*type) == "0")
            continue;
        doctor::PortNode port;
        port.device = "/dev/" + name;
        port.driver = LastPart(*driver);
        if (const auto folder = tree.real(entry + "/device"))
            port.usbKey = UsbAncestor(tree, *folder);
        if (const auto latency = tree.read(entry + "/device/latency_timer", kSmallFile, false)) {
            char* end = nullptr;
            const std::string t = Trimmed(*latency);
            const long ms = std::strtol(t.c_str(), &end, 10);
            if (!t.empty() && *end == '\0' && ms >= 0 && ms <= 1000)
                port.latencyMs = static_cast<int>(ms);
        }
        s.ports.push_back(port);
    }
}

void SurveyUsb(Tree& tree, doctor::Survey& s) {
    const auto names = tree.list("/sys/bus/usb/devices", true);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string entry = "/sys/bus/usb/devices/" + name;
        const auto vendor = HexId(tree.read(entry + "/idVendor", kSmallFile, false));
        const auto product = HexId(tree.read(entry + "/idProduct", kSmallFile, false));
        if (!vendor || !product) // an interface, not a device
            continue;
        doctor::UsbDevice usb;
        usb.where = entry;
        usb.key = tree.real(entry).value_or(entry);
        usb.vendor = *vendor;
        usb.product = *product;
        usb.name = Trimmed(tree.read(entry + "/product", kSmallFile, false).value_or(""));
        s.usb.push_back(usb);
    }
}

void SurveyProcesses(Tree& tree, doctor::Survey& s) {
    const auto names = tree.list("/proc", true);
    if (!names)
        return;
    const std::string self = std::to_string(::getpid());
    std::size_t closed = 0;
    std::size_t seen = 0;
    for (const std::string& name : *names) {
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        if ((tree.own() && name == self) || name.size() > 9)
            continue;
        if (++seen > kMaxProcesses)
            break;
        doctor::Process p;
        p.pid = std::stol(name);
        const std::string folder = "/proc/" + name;
        p.name = Trimmed(tree.read(folder + "/comm", 64, false).value_or(""));
        // Other users' processes: counted, not listed.
        const auto fds = tree.list(folder + "/fd", true, true);
        if (!fds) {
            closed += tree.lastError() != ENOENT; // not a process that has just ended
        } else {
            for (std::size_t i = 0; i < fds->size() && i < kMaxFds; ++i) {
                const auto target = tree.readLink(folder + "/fd/" + (*fds)[i]);
                if (target && target->compare(0, 5, "/dev/") == 0 &&
                    std::find(p.devices.begin(), p.devices.end(), *target) == p.devices.end())
                    p.devices.push_back(*target);
            }
        }
        s.processes.push_back(p);
    }
    if (closed > 0)
        s.unread.push_back("the open files of " + std::to_string(closed) +
                           " processes (another user's: run as root to see who holds a port)");
}

std::vector<uint32_t> Numbers(const std::string& text) {
    std::vector<uint32_t> numbers;
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(p, &end, 10);
        if (end == p) {
            ++p;
            continue;
        }
        numbers.push_back(static_cast<uint32_t>(v));
        p = end;
    }
    return numbers;
}

// The status line "Key:\t..." of /proc/self/status.
std::string StatusLine(const std::string& status, const std::string& key) {
    std::size_t at = status.find("\n" + key + ":");
    at = status.compare(0, key.size() + 1, key + ":") == 0 ? 0 : at;
    if (at == std::string::npos)
        return {};
    at = status.find(':', at) + 1;
    return status.substr(at, status.find('\n', at) - at);
}

void SurveyUser(Tree& tree, doctor::Survey& s) {
    if (const auto status = tree.read("/proc/self/status", kSmallFile * 4, true)) {
        const auto uids = Numbers(StatusLine(*status, "Uid"));
        const auto gids = Numbers(StatusLine(*status, "Gid"));
        if (uids.size() >= 2 && gids.size() >= 2) {
            s.user.known = true;
            s.user.uid = uids[1]; // the effective ids decide
            s.user.gids = {gids[1]};
            for (const uint32_t g : Numbers(StatusLine(*status, "Groups")))
                s.user.gids.push_back(g);
            return;
        }
        s.unread.push_back("/proc/self/status: no Uid and Gid lines");
    }
    if (!tree.own())
        return; // a tree of its own says whose access counts, or nobody's
    s.user.known = true;
    s.user.uid = ::geteuid();
    s.user.gids = {::getegid()};
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    for (int i = 0; i < n; ++i)
        s.user.gids.push_back(groups[i]);
}

void SurveyGroups(Tree& tree, doctor::Survey& s) {
    const auto text = tree.read("/etc/group", kGroupFile, false);
    if (!text)
        return;
    std::size_t start = 0;
    while (start < text->size()) {
        const std::size_t end = std::min(text->find('\n', start), text->size());
        const std::string line = text->substr(start, end - start);
        start = end + 1;
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos)
            continue;
        const std::string gid = line.substr(b + 1, line.find(':', b + 1) - b - 1);
        if (gid.empty() || gid.size() > 9 ||
            !std::all_of(gid.begin(), gid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        s.groups.push_back({static_cast<uint32_t>(std::stoul(gid)), line.substr(0, a)});
    }
}

void SurveyBrlttyRules(Tree& tree, doctor::Survey& s) {
    for (const char* folder : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d", "/etc/udev/rules.d"}) {
        const auto names = tree.list(folder, false);
        if (!names)
            continue;
        for (const std::string& name : *names) {
            const bool rules = name.size() > 6 && name.compare(name.size() - 6, 6, ".rules") == 0;
            if (rules && name.find("brltty") != std::string::npos)
                s.brlttyRules.push_back(std::string(folder) + "/" + name);
        }
    }
}

// The device nodes of the ports and of devices: their mode and owners.
void SurveyNodes(Tree& tree, doctor::Survey& s, const std::vector<std::string>& devices) {
    for (const std::string& device : devices) {
        const bool known =
            std::any_of(s.ports.begin(), s.ports.end(),
                        [&](const doctor::PortNode& p) { return p.device == device; });
        if (!known && !device.empty()) {
            doctor::PortNode port;
            port.device = device;
            s.ports.push_back(port);
        }
    }
    for (doctor::PortNode& port : s.ports) {
        struct stat st {};
        if (::stat(tree.at(port.device).c_str(), &st) != 0) {
            port.nodeMissing = errno == ENOENT || errno == ENOTDIR;
            if (!port.nodeMissing)
                tree.failed(port.device, errno, true);
            continue;
        }
        port.nodeKnown = true;
        port.mode = st.st_mode & 07777;
        port.uid = st.st_uid;
        port.gid = st.st_gid;
    }
}

} // namespace

std::string SurveyRoot() {
    const char* root = std::getenv("VXT4710_ROOT");
    return root ? root : "";
}

doctor::Survey SurveyPorts(const std::string& root, const std::vector<std::string>& devices) {
    doctor::Survey s;
    s.system = doctor::System::Linux;
    Tree tree(root, s.unread);
    SurveyTtys(tree, s);
    SurveyUsb(tree, s);
    SurveyProcesses(tree, s);
    SurveyUser(tree, s);
    SurveyGroups(tree, s);
    SurveyBrlttyRules(tree, s);
    SurveyNodes(tree, s, devices);
    return s;
}
