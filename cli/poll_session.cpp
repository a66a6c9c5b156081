#include "cli/poll_session.h"

#include "platform/standard_streams.h"
#include "platform/termination_watch.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace {

// The session's timer: a deadline the loop sleeps towards, never waking the
// session early.
class PollTimer : public SessionTimer {
  public:
    explicit PollTimer(const MonotonicClock& clock) : clock_(clock) {}
    void start(int ms) override { deadline_ = clock_.nowMs() + std::max(ms, 0); }
    void stop() override { deadline_ = -1; }
    // Milliseconds until it is due (0: now), -1 when stopped.
    int64_t left() const {
        return deadline_ < 0 ? -1 : std::max<int64_t>(deadline_ - clock_.nowMs(), 0);
    }
    bool due() {
        if (deadline_ < 0 || clock_.nowMs() < deadline_)
            return false;
        deadline_ = -1;
        return true;
    }

  private:
    const MonotonicClock& clock_;
    int64_t deadline_ = -1;
};

constexpr int kOutputWatchMs = 100;

} // namespace

OutputWatch::OutputWatch(const MonotonicClock& clock)
    : clock_(clock), next_(clock.nowMs() + kOutputWatchMs) {}

int64_t OutputWatch::leftMs() const {
    return std::max<int64_t>(next_ - clock_.nowMs(), 0);
}

bool OutputWatch::readerGone(std::string* reason) {
    if (clock_.nowMs() < next_)
        return false;
    next_ = clock_.nowMs() + kOutputWatchMs;
    if (!StandardOutputReaderGone())
        return false;
    *reason = "Broken pipe (the reader of standard output has gone)";
    return true;
}

int RunPollSession(std::vector<PlannedFrame> frames, PollLine& line, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    PollTimer timer(clock);
    CliSession session(std::move(frames), {line, timer, clock, report, std::move(complain)},
                       timeoutMs, [](int) {});
    // SIGINT, SIGTERM and SIGHUP from here on stop the chip first; a second
    // one is the session's to handle too.
    const int signals = termination::Install();
    OutputWatch output(clock);

    const auto readLine = [&] {
        bool lost = false;
        LineError error;
        const std::string bytes = line.take(&lost, &error);
        session.onLineTurn(bytes, lost, error);
    };

    session.start();
    while (!session.done()) {
        int64_t wait = output.leftMs();
        if (const int64_t left = timer.left(); left >= 0)
            wait = std::min(wait, left);
        if (const int lineWait = line.wakeWithinMs(); lineWait >= 0)
            wait = std::min<int64_t>(wait, lineWait);
        if (line.holding())
            wait = 0;
        pollfd fds[2] = {{line.descriptor(), POLLIN, 0}, {signals, POLLIN, 0}};
        // The capture's packets are written when the loop would sleep: not
        // while the line has more to read, which the reply may wait for.
        int n = 0;
        if (report.captureHeld() && (n = ::poll(fds, 2, 0)) == 0)
            report.flushCapture();
        if (n == 0)
            n = ::poll(fds, 2, static_cast<int>(std::max<int64_t>(wait, 0)));
        if (n < 0 && errno != EINTR)
            break; // cannot happen with valid descriptors; never spin
        // A line that keeps sending must not hide the timer and the signals:
        // each is looked at on every turn.
        if ((n > 0 && fds[0].revents != 0) || line.holding())
            readLine();
        if (!session.done() && n > 0 && fds[1].revents != 0) {
            int caught[16];
            int got = 0;
            while (!session.done() && (got = termination::ReadPending(caught, 16)) > 0)
                session.interruptAll(caught, got);
        }
        LineError expiry;
        if (!session.done() && line.expired(&expiry))
            session.onLineFailed(expiry);
        if (!session.done() && timer.due())
            session.onTimer();
        if (std::string why; !session.done() && output.readerGone(&why))
            session.onOutputGone(why);
    }
    termination::Restore();
    return session.status();
}
