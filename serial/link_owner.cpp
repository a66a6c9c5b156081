#include "serial/link_owner.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portlink {

namespace {
constexpr const char* kPrevious = "previous ";
constexpr const char* kNoPrevious = "previous-none";
constexpr size_t kMostBytes = 64 * 1024;

// Whether some open file description holds a lock on fd's file.
bool Locked(int fd) {
    struct flock fl {};
    fl.l_type = F_RDLCK; // conflicts with the owner's write lock
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0)
        return true; // cannot tell: better a live owner than a write into a stranger's terminal
    return fl.l_type != F_UNLCK;
}
} // namespace

std::string OwnerFile(const std::string& folder, int n) {
    return folder + "/.com" + std::to_string(n) + ".owner";
}

std::string FormatOwner(const OwnerRecord& r) {
    std::string text = std::to_string(r.pid) + "\n" + r.device + "\n";
    text += r.previous ? kPrevious + *r.previous : std::string(kNoPrevious);
    return text;
}

std::optional<OwnerRecord> ParseOwner(const std::string& text) {
    const size_t first = text.find('\n');
    if (first == std::string::npos)
        return std::nullopt;
    const size_t second = text.find('\n', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    OwnerRecord r;
    const std::string pid = text.substr(0, first);
    char* end = nullptr;
    errno = 0;
    r.pid = std::strtol(pid.c_str(), &end, 10);
    if (pid.empty() || *end != '\0' || errno != 0 || r.pid <= 0)
        return std::nullopt;
    r.device = text.substr(first + 1, second - first - 1);
    if (r.device.empty())
        return std::nullopt;
    const std::string rest = text.substr(second + 1);
    if (rest == kNoPrevious)
        return r;
    const std::string prefix = kPrevious;
    if (rest.size() <= prefix.size() || rest.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    r.previous = rest.substr(prefix.size());
    return r;
}

std::string ReadAll(int fd) {
    std::string text;
    char buf[4096];
    off_t at = 0;
    while (text.size() < kMostBytes) {
        const ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        at += n;
    }
    return text;
}

std::optional<std::string> ReadLink(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf)
        return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
}

HolderInfo HolderOf(const std::string& folder, int n, const std::string& linkTarget) {
    // Not blocking: a FIFO put in its place must not hang the console.
    const int fd =
        open(OwnerFile(folder, n).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return {};
    }
    const auto record = ParseOwner(ReadAll(fd));
    HolderInfo info;
    // A link the user put in place of the simulated chip's is the user's.
    if (record && record->device == linkTarget) {
        info.pid = record->pid;
        info.holder = Locked(fd) ? Holder::Alive : Holder::Gone;
    }
    close(fd);
    return info;
}

} // namespace portlink
