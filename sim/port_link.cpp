#include "sim/port_link.h"

#include "serial/link_owner.h"
#include "sim/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace chipsim {

using portlink::OwnerRecord;

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

bool PortLink::takeName(const std::string& folder, int n) {
    if (!MakeDirs(folder)) {
        std::fprintf(stderr, "vxt4710-chipsim: cannot create the ports folder %s: %s\n",
                     folder.c_str(), std::strerror(errno));
        return false;
    }
    folder_ = folder;
    n_ = n;
    path_ = folder + "/com" + std::to_string(n);
    const std::string owner = portlink::OwnerFile(folder, n);
    // The record may vanish between our open and our lock (its simulated
    // chip just ended): then the lock is on a file nobody else sees.
    for (int attempt = 0; attempt < 20 && ownerFd_ < 0; ++attempt) {
        const int fd =
            open(owner.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        struct stat mine {};
        if (fd < 0 || fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode)) {
            std::fprintf(stderr, "vxt4710-chipsim: cannot use %s: %s\n", owner.c_str(),
                         fd < 0 ? std::strerror(errno) : "not a regular file");
            if (fd >= 0)
                close(fd);
            return false;
        }
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
            const int err = errno;
            const auto holder = portlink::ParseOwner(portlink::ReadAll(fd));
            close(fd);
            if (err == EAGAIN || err == EACCES) {
                const std::string pid =
                    holder ? " (pid " + std::to_string(holder->pid) + ")" : std::string();
                std::fprintf(stderr,
                             "vxt4710-chipsim: COM%d is held by a running simulated chip%s; "
                             "end it first or choose another COM name\n",
                             n, pid.c_str());
            } else {
                std::fprintf(stderr, "vxt4710-chipsim: cannot lock %s: %s\n", owner.c_str(),
                             std::strerror(err));
            }
            return false;
        }
        struct stat named {};
        if (stat(owner.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
            mine.st_ino == named.st_ino)
            ownerFd_ = fd;
        else
            close(fd);
    }
    if (ownerFd_ < 0) {
        std::fprintf(stderr, "vxt4710-chipsim: %s keeps changing; not taking COM%d\n",
                     owner.c_str(), n);
        return false;
    }

    // What is there now comes back on exit, except a link that a simulated
    // chip left behind when it was killed: what was there before that one.
    const auto left = portlink::ParseOwner(portlink::ReadAll(ownerFd_));
    struct stat st {};
    previous_.reset();
    if (lstat(path_.c_str(), &st) == 0) {
        const auto target = S_ISLNK(st.st_mode) ? portlink::ReadLink(path_) : std::nullopt;
        if (!target) {
            std::fprintf(stderr, "vxt4710-chipsim: %s exists and is no link; not replacing it\n",
                         path_.c_str());
            release();
            return false;
        }
        if (left && *target == left->device) {
            previous_ = left->previous;
            Say("replacing the link left behind by a simulated chip that has ended (pid " +
                std::to_string(left->pid) + "): " + path_ + " -> " + *target);
        } else {
            previous_ = target;
        }
    }
    return true;
}

bool PortLink::record() {
    const OwnerRecord r{static_cast<long>(getpid()), device_, previous_};
    const std::string text = portlink::FormatOwner(r);
    return ftruncate(ownerFd_, 0) == 0 &&
           pwrite(ownerFd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

bool PortLink::point(const std::string& target) {
    // Through a new name and a rename: the port is never without its link.
    const std::string fresh =
        folder_ + "/.com" + std::to_string(n_) + ".new-" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), path_.c_str()) == 0)
        return true;
    std::fprintf(stderr, "vxt4710-chipsim: cannot link %s: %s\n", path_.c_str(),
                 std::strerror(errno));
    unlink(fresh.c_str());
    return false;
}

void PortLink::release() {
    if (ownerFd_ < 0)
        return;
    // Gone while still locked, so that nobody takes a half-removed record
    // for a killed chip's.
    unlink(portlink::OwnerFile(folder_, n_).c_str());
    close(ownerFd_);
    ownerFd_ = -1;
}

bool PortLink::make(const std::string& folder, int n, const std::string& device) {
    if (ownerFd_ >= 0) {
        // Plugged in again: only a link that is still ours follows.
        if (portlink::ReadLink(path_) != device_) {
            Say("COM" + std::to_string(n_) + " was taken over meanwhile; leaving " + path_ +
                " alone");
            return true;
        }
    } else if (!takeName(folder, n)) {
        return false;
    }
    device_ = device;
    // The record first: killed in between, the old link does not match it
    // and is taken for what it is.
    if (!record() || !point(device)) {
        release();
        return false;
    }
    Say("linked COM" + std::to_string(n_) + ": " + path_ + " -> " + device);
    if (previous_)
        Say("(the earlier link to " + *previous_ + " comes back on exit)");
    return true;
}

void PortLink::unplug() {
    if (ownerFd_ < 0 || portlink::ReadLink(path_) != device_)
        return;
    device_ = folder_ + "/.com" + std::to_string(n_) + "-unplugged";
    if (record() && point(device_))
        Say("COM" + std::to_string(n_) + " names no device now: " + path_ + " -> " + device_);
}

void PortLink::remove() {
    if (ownerFd_ < 0)
        return;
    if (portlink::ReadLink(path_) == device_) {
        if (!previous_)
            unlink(path_.c_str());
        else if (point(*previous_))
            Say("put back " + path_ + " -> " + *previous_);
    }
    release();
}

} // namespace chipsim
