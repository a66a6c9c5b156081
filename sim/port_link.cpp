#include "sim/port_link.h"

#include "sim/report.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace chipsim {

namespace {
std::string ReadLink(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}
} // namespace

bool MakeDirs(const std::string& dir) {
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            const std::string part = dir.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PortLink::make(const std::string& folder, int n, const std::string& device) {
    if (!MakeDirs(folder)) {
        std::fprintf(stderr, "vxt4710-chipsim: cannot create the ports folder %s: %s\n",
                     folder.c_str(), std::strerror(errno));
        return false;
    }
    path_ = folder + "/com" + std::to_string(n);
    const std::string ours = device_; // our own link of before an unplug
    device_ = device;
    n_ = n;
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "vxt4710-chipsim: %s exists and is no link; not replacing it\n",
                         path_.c_str());
            path_.clear();
            return false;
        }
        const std::string old = ReadLink(path_);
        // A pseudo-terminal of an earlier run is gone; anything else (a
        // real adapter) is put back when we exit.
        if (old != ours && old.rfind("/dev/pts/", 0) != 0)
            previous_ = old;
        unlink(path_.c_str());
    }
    if (symlink(device.c_str(), path_.c_str()) != 0) {
        std::fprintf(stderr, "vxt4710-chipsim: cannot link %s: %s\n", path_.c_str(),
                     std::strerror(errno));
        path_.clear();
        return false;
    }
    Say("linked COM" + std::to_string(n) + ": " + path_ + " -> " + device);
    if (!previous_.empty())
        Say("(the earlier link to " + previous_ + " comes back on exit)");
    return true;
}

void PortLink::unplug() {
    if (path_.empty() || ReadLink(path_) != device_)
        return;
    const std::string gone =
        path_.substr(0, path_.rfind('/')) + "/.com" + std::to_string(n_) + "-unplugged";
    unlink(path_.c_str());
    if (symlink(gone.c_str(), path_.c_str()) == 0) {
        device_ = gone;
        Say("COM" + std::to_string(n_) + " names no device now: " + path_ + " -> " + gone);
    } else {
        path_.clear();
    }
}

void PortLink::remove() {
    if (path_.empty())
        return;
    if (ReadLink(path_) == device_) {
        unlink(path_.c_str());
        if (!previous_.empty()) [[maybe_unused]]
            int r = symlink(previous_.c_str(), path_.c_str());
    }
    path_.clear();
}

} // namespace chipsim
