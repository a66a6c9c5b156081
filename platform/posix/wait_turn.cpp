// The loop's wait on POSIX: poll() on the descriptors.
#include "platform/line_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>

bool WaitTurn(const Waitable* items, bool* ready, int count, int64_t timeoutMs) {
    pollfd fds[8];
    if (count > 8)
        return false;
    for (int i = 0; i < count; ++i) // poll() passes over a negative descriptor
        fds[i] = {items[i].descriptor, POLLIN, 0};
    const int wait = timeoutMs < 0 ? -1 : static_cast<int>(std::min<int64_t>(timeoutMs, INT_MAX));
    const int n = ::poll(fds, static_cast<nfds_t>(count), wait);
    if (n < 0 && errno != EINTR)
        return false;
    for (int i = 0; i < count; ++i)
        ready[i] = n > 0 && fds[i].revents != 0;
    return true;
}
