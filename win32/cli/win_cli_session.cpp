#include "win32/cli/win_cli_session.h"

#include "core/text_util.h"
#include "platform/termination_watch.h"
#include "win32/win_text.h"

WinSessionLine::WinSessionLine(std::wstring path, std::string name)
    : path_(std::move(path)), name_(std::move(name)),
      event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    port_.setNotify([this] { SetEvent(event_); });
}

WinSessionLine::~WinSessionLine() {
    close();
    CloseHandle(event_);
}

bool WinSessionLine::open(int rate, LineError* error) {
    return port_.open(Utf8FromUtf16(U16(path_)), rate, error) == SerialPort::OpenResult::Ok;
}

bool WinSessionLine::write(std::string_view bytes, LineError* error) {
    return port_.write(bytes, error);
}

bool WinSessionLine::reopen(int rate, LineError* error) {
    port_.close();
    return open(rate, error);
}

void WinSessionLine::drain(int timeoutMs) {
    // Closing may reset the port under bytes the driver still holds.
    port_.drain(timeoutMs);
}

void WinSessionLine::close() {
    port_.close();
}

std::string WinSessionLine::take(bool* lost, LineError* error) {
    std::string bytes;
    *lost = !port_.read(&bytes, error); // told once
    return bytes;
}

WinSessionTimer::WinSessionTimer(const MonotonicClock& clock)
    : clock_(clock), timer_(CreateWaitableTimerW(nullptr, FALSE, nullptr)) {}

WinSessionTimer::~WinSessionTimer() {
    CloseHandle(timer_);
}

void WinSessionTimer::arm(int64_t ms) {
    LARGE_INTEGER due;
    due.QuadPart = -(ms > 0 ? ms : 0) * 10000; // relative, in 100 ns
    SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
}

void WinSessionTimer::start(int ms) {
    deadline_ = clock_.nowMs() + ms;
    arm(ms);
}

void WinSessionTimer::stop() {
    deadline_ = -1;
    CancelWaitableTimer(timer_);
}

bool WinSessionTimer::due() {
    if (deadline_ < 0)
        return false; // stopped after it had fired
    const int64_t left = deadline_ - clock_.nowMs();
    if (left > 0) {
        arm(left);
        return false;
    }
    deadline_ = -1;
    return true;
}

int RunWinSession(std::vector<PlannedFrame> frames, LoopLine& line, TrafficReport& report,
                  const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    WinSessionTimer timer(clock);
    CliSession session(std::move(frames), {line, timer, clock, report, std::move(complain)},
                       timeoutMs, [](int) {});
    // Ctrl+C and Ctrl+Break from here on stop the chip first; a second one
    // is the session's to handle too.
    termination::Install();
    HANDLE handles[3] = {line.event(), timer.handle(), HANDLE(termination::WaitHandle())};
    const DWORD count = handles[2] ? 3 : 2;

    // Handles the object at index which; false for a wait that failed.
    const auto handle = [&](DWORD which) {
        if (which == WAIT_OBJECT_0) {
            bool lost = false;
            LineError error;
            const std::string bytes = line.take(&lost, &error);
            session.onLineTurn(bytes, lost, error);
        } else if (which == WAIT_OBJECT_0 + 1) {
            if (timer.due())
                session.onTimer();
        } else if (which == WAIT_OBJECT_0 + 2) {
            int signals[16];
            int n = 0;
            while (!session.done() && (n = termination::ReadPending(signals, 16)) > 0)
                session.interruptAll(signals, n);
        } else {
            return false; // cannot happen with valid handles; never spin
        }
        return true;
    };
    session.start();
    while (!session.done()) {
        // The capture's packets are written when the loop would sleep: not
        // while the line has more to read, which the reply may wait for.
        DWORD which =
            report.captureHeld() ? WaitForMultipleObjects(count, handles, FALSE, 0) : WAIT_TIMEOUT;
        if (which == WAIT_TIMEOUT) {
            report.flushCapture();
            which = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        }
        if (!handle(which))
            break;
        // The wait names the first object set: a line that keeps sending
        // would hide the timer and Ctrl+C, so they are looked at after
        // every turn of it.
        for (DWORD i = 1; which == WAIT_OBJECT_0 && i < count && !session.done(); ++i)
            if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0)
                handle(WAIT_OBJECT_0 + i);
    }
    termination::Restore();
    return session.status();
}
