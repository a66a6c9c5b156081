#include "cli/poll_monitor.h"

#include "core/line_rates.h"
#include "platform/termination_watch.h"
#include "platform/wake_event.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

int RunPollMonitor(TapWatch& session, PollTap host, PollTap chip, const MonotonicClock& clock,
                   WakeEvent* stop) {
    if (!stop)
        termination::Install();
    PollTap* taps[2] = {&host, &chip};
    const TapSide sides[2] = {TapSide::Host, TapSide::Chip};
    int rateIndex = session.rateIndex();
    OutputWatch output(clock);

    // The chip accepted a rate change: both taps listen at the new rate.
    const auto followRate = [&] {
        if (session.rateIndex() == rateIndex)
            return;
        rateIndex = session.rateIndex();
        for (int i = 0; i < 2 && !session.done(); ++i) {
            LineError error;
            if (!taps[i]->line->reopen(RateOfIndex(rateIndex), &error))
                session.onLineFailed(sides[i], taps[i]->name, error);
        }
    };

    while (!session.done()) {
        int64_t wait = output.leftMs();
        if (const int w = session.wakeWithinMs(); w >= 0)
            wait = std::min<int64_t>(wait, w);
        for (const PollTap* tap : taps) {
            if (const int w = tap->line->wakeWithinMs(); w >= 0)
                wait = std::min<int64_t>(wait, w);
            if (tap->line->holding())
                wait = 0;
        }
        pollfd fds[3] = {{host.line->descriptor(), POLLIN, 0},
                         {chip.line->descriptor(), POLLIN, 0},
                         {stop ? stop->descriptor() : termination::Descriptor(), POLLIN, 0}};
        const int n = ::poll(fds, 3, static_cast<int>(std::max<int64_t>(wait, 0)));
        if (n < 0 && errno != EINTR)
            break; // cannot happen with valid descriptors; never spin
        // Both taps every turn, handed over together: which came first is
        // the session's to tell (a chip's answer before its frame would be
        // taken for a stray).
        std::string bytes[2];
        bool lost[2] = {false, false};
        LineError errors[2];
        for (int i = 0; i < 2; ++i) {
            if ((n > 0 && fds[i].revents != 0) || taps[i]->line->holding())
                bytes[i] = taps[i]->line->take(&lost[i], &errors[i]);
            else if (taps[i]->line->expired(&errors[i]))
                lost[i] = true;
        }
        session.onTurn(bytes[0], bytes[1]);
        for (int i = 0; i < 2 && !session.done(); ++i) {
            if (lost[i])
                session.onLineFailed(sides[i], taps[i]->name, errors[i]);
        }
        if (!session.done())
            followRate();
        if (!session.done() && n > 0 && fds[2].revents != 0) {
            int caught[16];
            if (stop)
                session.interrupt(0);
            else if (termination::ReadPending(caught, 16) > 0)
                session.interrupt(caught[0]);
        }
        if (!session.done())
            session.onTimer();
        if (std::string why; !stop && !session.done() && output.readerGone(&why))
            session.onOutputGone(why);
    }
    if (!stop)
        termination::Restore();
    return session.status();
}
