// The file service on POSIX systems.
#include "platform/files.h"

#include "core/port_binding_text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

FileRead Failed(FileRead::Outcome outcome, int error) {
    FileRead result;
    result.outcome = outcome;
    result.reason = ErrorText(static_cast<unsigned long>(error));
    result.error = static_cast<unsigned long>(error);
    return result;
}

FileRead TooLarge() {
    FileRead result;
    result.outcome = FileRead::Outcome::TooLarge;
    return result;
}

// fd to its end, refusing more than limit bytes; a standard input that
// reads nothing at all (closed) is empty, as on Windows.
FileRead ReadToEnd(int fd, int64_t limit, bool standardInput) {
    bool first = true;
    return ReadLimited(
        [fd, standardInput, &first](char* buf, std::size_t size, std::string* reason) -> int64_t {
            for (;;) {
                const ssize_t n = ::read(fd, buf, size);
                const bool wasFirst = first;
                first = false;
                if (n >= 0)
                    return n;
                if (errno == EINTR)
                    continue;
                if (standardInput && wasFirst && errno == EBADF)
                    return 0;
                *reason = ErrorText(static_cast<unsigned long>(errno));
                return -1;
            }
        },
        limit);
}

// A regular file open on fd, of the size st says.
FileRead ReadDiskFile(int fd, const struct stat& st, int64_t limit) {
    if (!S_ISREG(st.st_mode)) {
        FileRead result;
        result.outcome = FileRead::Outcome::NotAFile;
        return result;
    }
    if (st.st_size > limit)
        return TooLarge();
    // One byte past the limit: a file that grew meanwhile is refused too.
    return ReadToEnd(fd, limit, false);
}

} // namespace

FileRead Read(const std::string& path, FileReadMode mode, int64_t limit) {
    switch (mode) {
    case FileReadMode::StandardInput:
        return ReadToEnd(STDIN_FILENO, limit, true);
    case FileReadMode::AnyFile: {
        // Standard input and special files have no size: read in pieces.
        const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
        if (file.fd < 0)
            return Failed(errno == ENOENT ? FileRead::Outcome::Missing
                                          : FileRead::Outcome::Unreadable,
                          errno);
        struct stat st {};
        if (::fstat(file.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            // In the words the command-line program has always used.
            FileRead result = Failed(FileRead::Outcome::Unreadable, EISDIR);
            result.reason = "file to open is a directory";
            return result;
        }
        return ReadToEnd(file.fd, limit, false);
    }
    case FileReadMode::DiskFile: {
        struct stat st {};
        // Anything that cannot be looked at is, for the user, not there.
        if (::stat(path.c_str(), &st) != 0)
            return Failed(FileRead::Outcome::Missing, errno);
        if (!S_ISREG(st.st_mode)) {
            FileRead result;
            result.outcome = FileRead::Outcome::NotAFile;
            return result;
        }
        if (st.st_size > limit)
            return TooLarge();
        const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
        if (file.fd < 0)
            return Failed(FileRead::Outcome::Unreadable, errno);
        return ReadToEnd(file.fd, limit, false);
    }
    case FileReadMode::CreateIfAbsent: {
        // One open both creates the file, empty, when it is absent and opens
        // an existing one (read-only ones too) for reading. Non-blocking, so
        // that a pipe in its place cannot hold the caller; only a regular
        // file is read.
        const Descriptor file{
            ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666)};
        if (file.fd < 0) {
            const int error = errno;
            // Perhaps a large file that cannot be opened: still said to be too large.
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > limit)
                return TooLarge();
            return Failed(FileRead::Outcome::Unreadable, error);
        }
        struct stat st {};
        if (::fstat(file.fd, &st) != 0)
            return Failed(FileRead::Outcome::Unreadable, errno);
        return ReadDiskFile(file.fd, st, limit);
    }
    }
    return {};
}

std::string Save(const std::string& path, const ByteProducer& produce) {
    // A link is followed: the file it names is replaced, the link stays.
    std::string target = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    const mode_t permissions = exists ? (st.st_mode & 07777) : 0666;
    const std::string temporary = target + ".vxt4710-part";
    int error = 0;
    {
        const Descriptor file{
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, permissions)};
        if (file.fd < 0)
            return ErrorText(static_cast<unsigned long>(errno));
        // The replacement keeps the old file's permissions.
        if (exists)
            (void)::fchmod(file.fd, permissions);
        const ByteSink write = [&](std::string_view bytes) {
            while (!bytes.empty()) {
                const ssize_t n = ::write(file.fd, bytes.data(), bytes.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    error = n < 0 ? errno : EIO;
                    return false;
                }
                bytes.remove_prefix(std::size_t(n));
            }
            return true;
        };
        if (!produce(write) && error == 0)
            error = EIO;
        if (error == 0 && ::fsync(file.fd) != 0)
            error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error == 0)
        return {};
    ::unlink(temporary.c_str());
    return ErrorText(static_cast<unsigned long>(error));
}

namespace {

class AppendFile : public OutputSink {
  public:
    explicit AppendFile(int fd) : fd_(fd) {}
    ~AppendFile() override { ::close(fd_); }
    bool write(std::string_view bytes, std::string* failure) override {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *failure = ErrorText(static_cast<unsigned long>(n < 0 ? errno : EIO));
                return false;
            }
            bytes.remove_prefix(std::size_t(n));
        }
        return true;
    }

  private:
    int fd_;
};

} // namespace

std::unique_ptr<OutputSink> CreateAppendFile(const std::string& path, bool replace,
                                             std::string* failure) {
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL), 0666);
    if (fd < 0) {
        *failure = errno == EEXIST ? "the file exists"
                                   : ErrorText(static_cast<unsigned long>(errno));
        return nullptr;
    }
    return std::make_unique<AppendFile>(fd);
}

std::string PortsFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = home ? home : "";
        while (!base.empty() && base.back() == '/')
            base.pop_back();
        base += "/.config";
    }
    return base + "/vxt4710/ports";
}

PortEntry ReadPortEntry(const std::string& folder, int n) {
    PortEntry entry;
    entry.path = folder + "/com" + std::to_string(n);
    struct stat st {};
    if (::lstat(entry.path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return entry;
    if (!S_ISLNK(st.st_mode)) {
        entry.kind = PortEntry::Kind::File;
        // Only a file on disk: a pipe of that name cannot hold the caller.
        entry.content = Read(entry.path, FileReadMode::DiskFile, kMaxBindingBytes);
        return entry;
    }
    entry.kind = PortEntry::Kind::Link;
    std::string target(PATH_MAX, '\0');
    const ssize_t size = ::readlink(entry.path.c_str(), target.data(), target.size());
    target.resize(size > 0 ? std::size_t(size) : 0);
    entry.target = target;
    // The device itself, also through a chain of links (udev's by-id
    // names), so that one device has one name; a link that points nowhere
    // still names where it points.
    if (char* resolved = ::realpath(entry.path.c_str(), nullptr)) {
        entry.device = resolved;
        std::free(resolved);
    } else if (!target.empty()) {
        entry.device = target[0] == '/' ? target : folder + "/" + target;
    }
    return entry;
}

std::string ErrorText(unsigned long code) {
    const char* text = std::strerror(static_cast<int>(code));
    return text && *text ? std::string(text) : "system error " + std::to_string(code);
}

} // namespace files
