#include "cli/interrupt_watch.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int gPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
void OnSignal(int) {
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &b, 1);
}
} // namespace

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char buf[16];
        while (::read(gPipe[0], buf, sizeof buf) > 0) {
        }
        emit interrupted();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

InterruptWatch::~InterruptWatch() {
    signal(SIGINT, SIG_DFL);
    notifier_.reset();
    for (int& fd : gPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
