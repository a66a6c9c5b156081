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
    // Everything there is: the socket signals again only for what comes
    // after its last read.
    size_t got = 0;
    do {
        if (!link_.readOnce(0, error, &got)) {
            *lost = true;
            break;
        }
    } while (got > 0);
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
