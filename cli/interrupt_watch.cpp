#include "cli/interrupt_watch.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int gPipe[2] = {-1, -1};
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe work here: the signal's number, one byte, into the
// pipe.
void OnSignal(int signo) {
    const char b = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &b, 1);
}
} // namespace

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent) {
    // Without this a closed pipe on standard output would kill the program
    // with the chip still speaking.
    signal(SIGPIPE, SIG_IGN);
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char buf[16];
        ssize_t n = 0;
        while ((n = ::read(gPipe[0], buf, sizeof buf)) > 0) {
            for (ssize_t i = 0; i < n; ++i)
                emit interrupted(static_cast<unsigned char>(buf[i]));
        }
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int s : kWatched)
        sigaction(s, &sa, nullptr);
}

InterruptWatch::~InterruptWatch() {
    for (const int s : kWatched)
        signal(s, SIG_DFL);
    notifier_.reset();
    for (int& fd : gPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
