#include "platform/line_loop.h"

#include "core/line_rates.h"
#include "platform/standard_streams.h"
#include "platform/termination_watch.h"
#include "platform/wake_event.h"

#include <algorithm>

namespace {

constexpr int kOutputWatchMs = 100;

Waitable TerminationWaitable() {
    return {termination::Descriptor(), termination::WaitHandle()};
}

// The shorter of a wait so far and a bound (-1: none).
int64_t Sooner(int64_t wait, int64_t bound) {
    return bound < 0 ? wait : wait < 0 ? bound : std::min(wait, bound);
}

} // namespace

void DeadlineTimer::start(int ms) {
    deadline_ = clock_.nowMs() + std::max(ms, 0);
}

int64_t DeadlineTimer::left() const {
    return deadline_ < 0 ? -1 : std::max<int64_t>(deadline_ - clock_.nowMs(), 0);
}

bool DeadlineTimer::due() {
    if (deadline_ < 0 || clock_.nowMs() < deadline_)
        return false;
    deadline_ = -1;
    return true;
}

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

int RunLoopSession(std::vector<PlannedFrame> frames, LoopLine& line, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    DeadlineTimer timer(clock);
    CliSession session(std::move(frames), {line, timer, clock, report, std::move(complain)},
                       timeoutMs, [](int) {});
    // The termination signals from here on stop the chip first; a second
    // one is the session's to handle too.
    termination::Install();
    OutputWatch output(clock);

    const auto readLine = [&] {
        bool lost = false;
        LineError error;
        const std::string bytes = line.take(&lost, &error);
        session.onLineTurn(bytes, lost, error);
    };

    session.start();
    while (!session.done()) {
        int64_t wait = Sooner(output.leftMs(), timer.left());
        wait = Sooner(wait, line.wakeWithinMs());
        if (line.holding())
            wait = 0;
        const Waitable items[2] = {line.waitable(), TerminationWaitable()};
        bool ready[2] = {false, false};
        // The capture's packets are written when the loop would sleep: not
        // while the line has more to read, which the reply may wait for.
        bool looked = false;
        if (report.captureHeld() && wait != 0) {
            if (!WaitTurn(items, ready, 2, 0))
                break;
            looked = ready[0] || ready[1];
            if (!looked)
                report.flushCapture();
        }
        if (!looked && !WaitTurn(items, ready, 2, wait))
            break; // cannot happen with valid descriptors; never spin
        // A line that keeps sending must not hide the timer and the signals:
        // each is looked at on every turn.
        if (ready[0] || line.holding())
            readLine();
        if (!session.done() && ready[1]) {
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

int RunLoopMonitor(TapWatch& watch, LoopTap host, LoopTap chip, const MonotonicClock& clock,
                   WakeEvent* stop) {
    if (!stop)
        termination::Install();
    LoopTap* taps[2] = {&host, &chip};
    const TapSide sides[2] = {TapSide::Host, TapSide::Chip};
    int rateIndex = watch.rateIndex();
    OutputWatch output(clock);

    // The chip accepted a rate change: both taps listen at the new rate.
    const auto followRate = [&] {
        if (watch.rateIndex() == rateIndex)
            return;
        rateIndex = watch.rateIndex();
        for (int i = 0; i < 2 && !watch.done(); ++i) {
            LineError error;
            if (!taps[i]->line->reopen(RateOfIndex(rateIndex), &error))
                watch.onLineFailed(sides[i], taps[i]->name, error);
        }
    };

    while (!watch.done()) {
        int64_t wait = Sooner(output.leftMs(), watch.wakeWithinMs());
        for (const LoopTap* tap : taps) {
            wait = Sooner(wait, tap->line->wakeWithinMs());
            if (tap->line->holding())
                wait = 0;
        }
        const Waitable items[3] = {host.line->waitable(), chip.line->waitable(),
                                   stop ? Waitable{stop->descriptor(), stop->handle()}
                                        : TerminationWaitable()};
        bool ready[3] = {false, false, false};
        if (!WaitTurn(items, ready, 3, wait))
            break; // cannot happen with valid descriptors; never spin
        // Both taps every turn, handed over together: which came first is
        // the watch's to tell (a chip's answer before its frame would be
        // taken for a stray).
        std::string bytes[2];
        bool lost[2] = {false, false};
        LineError errors[2];
        for (int i = 0; i < 2; ++i) {
            if (ready[i] || taps[i]->line->holding())
                bytes[i] = taps[i]->line->take(&lost[i], &errors[i]);
            else if (taps[i]->line->expired(&errors[i]))
                lost[i] = true;
        }
        watch.onTurn(bytes[0], bytes[1]);
        for (int i = 0; i < 2 && !watch.done(); ++i) {
            if (lost[i])
                watch.onLineFailed(sides[i], taps[i]->name, errors[i]);
        }
        if (!watch.done())
            followRate();
        if (!watch.done() && ready[2]) {
            int caught[16];
            if (stop)
                watch.interrupt(0);
            else if (termination::ReadPending(caught, 16) > 0)
                watch.interrupt(caught[0]);
        }
        if (!watch.done())
            watch.onTimer();
        if (std::string why; !stop && !watch.done() && output.readerGone(&why))
            watch.onOutputGone(why);
    }
    if (!stop)
        termination::Restore();
    return watch.status();
}
