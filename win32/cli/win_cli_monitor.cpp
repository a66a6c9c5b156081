#include "win32/cli/win_cli_monitor.h"

#include "core/line_rates.h"
#include "platform/termination_watch.h"
#include "platform/wake_event.h"

int RunWinMonitor(TapWatch& session, WinTap host, WinTap chip, WakeEvent* stop) {
    if (!stop)
        termination::Install();
    WinTap* taps[2] = {&host, &chip};
    const TapSide sides[2] = {TapSide::Host, TapSide::Chip};
    HANDLE handles[3] = {host.line->event(), chip.line->event(), HANDLE(stop ? stop->handle() : termination::WaitHandle())};
    const DWORD count = handles[2] ? 3 : 2;
    int rateIndex = session.rateIndex();

    while (!session.done()) {
        const int wait = session.wakeWithinMs();
        const DWORD which =
            WaitForMultipleObjects(count, handles, FALSE, wait < 0 ? INFINITE : DWORD(wait));
        if (which == WAIT_FAILED)
            break; // cannot happen with valid handles; never spin
        // Both taps every turn, handed over together: which came first is
        // the session's to tell (a chip's answer before its frame would be
        // taken for a stray).
        std::string bytes[2];
        bool lost[2] = {false, false};
        LineError errors[2];
        for (int i = 0; i < 2; ++i)
            bytes[i] = taps[i]->line->take(&lost[i], &errors[i]);
        session.onTurn(bytes[0], bytes[1]);
        for (int i = 0; i < 2 && !session.done(); ++i) {
            if (lost[i])
                session.onLineFailed(sides[i], taps[i]->name, errors[i]);
        }
        // The chip accepted a rate change: both taps listen at the new rate.
        for (int i = 0; i < 2 && !session.done() && session.rateIndex() != rateIndex; ++i) {
            LineError error;
            if (!taps[i]->line->reopen(RateOfIndex(session.rateIndex()), &error))
                session.onLineFailed(sides[i], taps[i]->name, error);
        }
        rateIndex = session.rateIndex();
        if (!session.done() && count == 3 && WaitForSingleObject(handles[2], 0) == WAIT_OBJECT_0) {
            int caught[16];
            if (stop)
                session.interrupt(0);
            else if (termination::ReadPending(caught, 16) > 0)
                session.interrupt(caught[0]);
        }
        if (!session.done())
            session.onTimer();
    }
    if (!stop)
        termination::Restore();
    return session.status();
}
