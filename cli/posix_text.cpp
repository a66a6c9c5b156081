#include "cli/posix_text.h"

#include "core/text_input.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::string> ReadPosixText(const std::string& path, std::string* reason) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (!standardInput && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        *reason = "file to open is a directory";
        return std::nullopt;
    }
    // Read in pieces: standard input and special files have no size.
    auto bytes = ReadLimited(
        [fd](char* buf, std::size_t size, std::string* why) -> int64_t {
            for (;;) {
                const ssize_t n = ::read(fd, buf, size);
                if (n >= 0)
                    return n;
                if (errno != EINTR) {
                    *why = std::strerror(errno);
                    return -1;
                }
            }
        },
        reason);
    if (!standardInput)
        ::close(fd);
    return bytes;
}
