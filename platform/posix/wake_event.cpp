#include "platform/wake_event.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

WakeEvent::WakeEvent() {
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
        fds_[0] = fds_[1] = -1;
}

WakeEvent::~WakeEvent() {
    for (const int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

bool WakeEvent::valid() const {
    return fds_[0] >= 0;
}

void WakeEvent::set() {
    // One byte is enough and never read: the descriptor stays readable. A
    // full pipe already is.
    if (fds_[1] >= 0) {
        const char one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fds_[1], &one, 1);
    }
}

bool WakeEvent::isSet() const {
    pollfd fd{fds_[0], POLLIN, 0};
    return fds_[0] >= 0 && ::poll(&fd, 1, 0) > 0;
}

int WakeEvent::descriptor() const {
    return fds_[0];
}

void* WakeEvent::handle() const {
    return nullptr;
}
