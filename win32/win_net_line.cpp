#include "win32/win_net_line.h"

WinNetLine::WinNetLine(NetAddress address, int timeoutMs)
    : link_(std::move(address), timeoutMs), event_(WSACreateEvent()) {}

WinNetLine::~WinNetLine() {
    close();
    WSACloseEvent(event_);
}

void WinNetLine::notifyWindow(HWND window, UINT message) {
    stopChecks(); // its thread reads window_ and message_
    window_ = window;
    message_ = message;
    watch();
    if (link_.isOpen())
        startChecks();
}

// A wake-up with nothing to read: take() then asks the telnet client whether
// the server is overdue.
void CALLBACK WinNetLine::Check(PVOID self, BOOLEAN) {
    auto* line = static_cast<WinNetLine*>(self);
    if (line->window_)
        PostMessageW(line->window_, line->message_, 0, 0);
    else
        SetEvent(line->event_);
}

void WinNetLine::startChecks() {
    if (link_.telnet() && !checks_ &&
        !CreateTimerQueueTimer(&checks_, nullptr, &WinNetLine::Check, this, kCheckMs, kCheckMs,
                               WT_EXECUTEDEFAULT))
        checks_ = nullptr;
}

void WinNetLine::stopChecks() {
    if (!checks_)
        return;
    // Waits for a check under way: none runs once this returns.
    DeleteTimerQueueTimer(nullptr, checks_, INVALID_HANDLE_VALUE);
    checks_ = nullptr;
}

void WinNetLine::watch() {
    if (!link_.isOpen())
        return;
    const auto s = static_cast<SOCKET>(link_.handle());
    if (window_)
        WSAAsyncSelect(s, window_, message_, FD_READ | FD_CLOSE);
    else
        WSAEventSelect(s, event_, FD_READ | FD_CLOSE);
}

bool WinNetLine::open(int rate, LineError* error) {
    close();
    if (!link_.open(rate, error))
        return false;
    ResetEvent(event_);
    watch();
    startChecks();
    return true;
}

std::string WinNetLine::take(bool* lost, LineError* error) {
    *lost = false;
    if (!link_.isOpen())
        return link_.takePending();
    if (!window_) {
        WSANETWORKEVENTS happened{};
        WSAEnumNetworkEvents(static_cast<SOCKET>(link_.handle()), event_, &happened);
        ResetEvent(event_); // also when set by hand after a rate change
    }
    // The window's line rests between turns (see again()).
    if (resting_)
        return link_.takePending();
    // One bounded turn: a server that keeps sending must leave the caller's
    // timers and messages their turn, so the rest is asked for again.
    bool more = false;
    size_t got = 0;
    if (!link_.readTurn(error, &more, &got))
        *lost = true;
    else if (more || (window_ && got > 0))
        again();
    if (!*lost) {
        const std::string why = link_.failure();
        if (!why.empty()) {
            *error = LineError{why};
            *lost = true;
        }
    }
    if (*lost)
        close(); // told once: the next send connects again
    return link_.takePending();
}

// The loop's event is set again. A window would get the socket's message
// again at once, before its input, paint and timers, for as long as a server
// sends: after a turn that brought data it rests instead, its socket quiet,
// until a timer (the lowest of its messages) lets it read again.
void WinNetLine::again() {
    if (!window_) {
        SetEvent(event_);
        return;
    }
    resting_ = true;
    WSAAsyncSelect(static_cast<SOCKET>(link_.handle()), window_, 0, 0);
    SetTimer(window_, reinterpret_cast<UINT_PTR>(this), USER_TIMER_MINIMUM, &WinNetLine::Resume);
}

void CALLBACK WinNetLine::Resume(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    auto* self = reinterpret_cast<WinNetLine*>(id);
    self->resting_ = false;
    self->watch();
    PostMessageW(self->window_, self->message_, 0, 0);
}

bool WinNetLine::write(std::string_view bytes, LineError* error) {
    return link_.write(bytes, error);
}

bool WinNetLine::setRate(int rate, LineError* error) {
    const bool ok = link_.setRate(rate, error);
    // The data that came meanwhile is handed on after the confirmation.
    if (!link_.pending().empty()) {
        if (window_)
            PostMessageW(window_, message_, 0, 0);
        else
            SetEvent(event_);
    }
    return ok;
}

void WinNetLine::close() {
    if (window_)
        KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    resting_ = false;
    stopChecks();
    if (link_.isOpen()) {
        // No more notifications for a socket about to go.
        const auto s = static_cast<SOCKET>(link_.handle());
        if (window_)
            WSAAsyncSelect(s, window_, 0, 0);
        else
            WSAEventSelect(s, nullptr, 0);
    }
    link_.close();
}
