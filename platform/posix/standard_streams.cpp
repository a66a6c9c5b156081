#include "platform/standard_streams.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool OpenStandardStreams(bool* outputWasClosed) {
    if (outputWasClosed)
        *outputWasClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO && outputWasClosed)
            *outputWasClosed = true;
        // open() takes the lowest free descriptor: fd itself, since every
        // lower one is open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0)
            return false;
        if (opened != fd) {
            const bool moved = ::dup2(opened, fd) == fd;
            ::close(opened);
            if (!moved)
                return false;
        }
    }
    return true;
}

bool StandardOutputReaderGone() {
    // No events asked for: POLLERR (a pipe without reader) and POLLHUP come
    // regardless; a file or /dev/null never reports either.
    pollfd p{STDOUT_FILENO, 0, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}
