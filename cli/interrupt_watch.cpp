#include "cli/interrupt_watch.h"

#include "platform/termination_watch.h"

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent) {
    // SIGPIPE ignored: a closed pipe on standard output must not kill the
    // program with the chip still speaking. A second signal is the session's
    // to handle, so it does not end the process.
    const int fd = termination::Install();
    if (fd < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        int signals_[16];
        int n = 0;
        while ((n = termination::ReadPending(signals_, 16)) > 0) {
            for (int i = 0; i < n; ++i)
                emit interrupted(signals_[i]);
        }
    });
}

InterruptWatch::~InterruptWatch() {
    notifier_.reset();
    termination::Restore();
}
