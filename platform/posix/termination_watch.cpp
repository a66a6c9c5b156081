#include "platform/termination_watch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace termination {
namespace {
int gPipe[2] = {-1, -1};
volatile sig_atomic_t gSecondSignalEnds = 0;
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};
static_assert(SIGHUP == kHangUp && SIGINT == kInterrupt && SIGTERM == kTerminate);

void SetAll(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // A signal must not break the caller's reads and writes; poll() still
    // returns EINTR, which the loops that use it handle.
    sa.sa_flags = handler == SIG_DFL ? 0 : SA_RESTART;
    for (const int s : kWatched)
        ::sigaction(s, &sa, nullptr);
}

// Only async-signal-safe calls in here, and the interrupted code keeps its
// errno (a write into a full pipe would change it).
void OnSignal(int signo) {
    const int savedErrno = errno;
    if (gSecondSignalEnds)
        SetAll(SIG_DFL);
    const char b = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &b, 1);
    errno = savedErrno;
}
} // namespace

int Install(const WatchOptions& options) {
    if (gPipe[0] >= 0)
        return gPipe[0];
    ::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return -1;
    }
    gSecondSignalEnds = options.secondSignalEnds ? 1 : 0;
    SetAll(OnSignal);
    return gPipe[0];
}

int Descriptor() {
    return gPipe[0];
}

void* WaitHandle() {
    return nullptr;
}

int ReadPending(int* buf, int size) {
    if (gPipe[0] < 0 || size <= 0)
        return 0;
    unsigned char bytes[64];
    int count = 0;
    while (count < size) {
        const int want = size - count < int(sizeof bytes) ? size - count : int(sizeof bytes);
        const ssize_t n = ::read(gPipe[0], bytes, static_cast<size_t>(want));
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            buf[count++] = bytes[i];
    }
    return count;
}

void Restore() {
    SetAll(SIG_DFL);
    for (int& fd : gPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace termination
