#include "win32/win_net_line.h"

namespace {

int64_t NowMs() {
    return static_cast<int64_t>(GetTickCount64());
}

LineError ErrorOf(const tcp::Error& error) {
    return LineError{tcp::Describe(error)};
}

} // namespace

WinNetLine::WinNetLine(NetAddress address, int timeoutMs)
    : address_(std::move(address)), timeoutMs_(timeoutMs), client_(timeoutMs),
      event_(WSACreateEvent()) {}

WinNetLine::~WinNetLine() {
    close();
    WSACloseEvent(event_);
}

void WinNetLine::notifyWindow(HWND window, UINT message) {
    window_ = window;
    message_ = message;
    watch();
}

void WinNetLine::watch() {
    if (!connection_.isOpen())
        return;
    const auto s = static_cast<SOCKET>(connection_.handle());
    if (window_)
        WSAAsyncSelect(s, window_, message_, FD_READ | FD_CLOSE);
    else
        WSAEventSelect(s, event_, FD_READ | FD_CLOSE);
}

bool WinNetLine::open(int rate, LineError* error) {
    close();
    client_ = TelnetClient(timeoutMs_);
    tcp::Error e;
    if (!connection_.connect(address_.host, address_.port, timeoutMs_, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    if (telnet()) {
        std::string out;
        client_.start(NowMs(), &out);
        if (!connection_.write(out, timeoutMs_, &e)) {
            *error = ErrorOf(e);
            connection_.close();
            return false;
        }
        // No SET-CONTROL: a server whose port has no modem lines never
        // confirms it.
        if (!setRemote({{ComPortCommand::SetBaudRate, static_cast<uint32_t>(rate)},
                        {ComPortCommand::SetDataSize, 8},
                        {ComPortCommand::SetParity, 1},
                        {ComPortCommand::SetStopSize, 1}},
                       error)) {
            connection_.close();
            return false;
        }
    }
    // Bytes that waited at the remote port before this connection (a chip's
    // power-up answer) belong to nobody's frame, as on a direct line.
    pending_.clear();
    ResetEvent(event_);
    watch();
    return true;
}

bool WinNetLine::setRemote(const std::vector<std::pair<ComPortCommand, uint32_t>>& settings,
                           LineError* error) {
    std::string out;
    for (const auto& [command, value] : settings)
        client_.request(command, value, NowMs(), &out);
    tcp::Error e;
    if (!out.empty() && !connection_.write(out, timeoutMs_, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    const auto answered = [&] {
        for (const auto& setting : settings)
            if (client_.awaiting(setting.first))
                return false;
        return true;
    };
    while (!answered()) {
        if (!readOnce(50, error))
            return false;
        const std::string why = client_.failure(NowMs());
        if (!why.empty()) {
            *error = LineError{why};
            return false;
        }
    }
    for (const auto& [command, value] : settings) {
        if (client_.confirmed(command) != value) {
            const uint32_t got = client_.confirmed(command).value_or(0);
            *error = LineError{command == ComPortCommand::SetBaudRate
                                   ? "the server set " + std::to_string(got) +
                                         " bit/s instead of " + std::to_string(value)
                                   : "the server did not take the port's settings (8 data "
                                     "bits, no parity, one stop bit)"};
            return false;
        }
    }
    return true;
}

bool WinNetLine::readOnce(int waitMs, LineError* error, size_t* got) {
    std::string bytes;
    tcp::Error e;
    if (!connection_.read(&bytes, waitMs, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    if (got)
        *got = bytes.size();
    if (!telnet()) {
        pending_ += bytes;
        return true;
    }
    std::string data, out;
    client_.receive(bytes, NowMs(), &data, &out);
    pending_ += data;
    if (!out.empty() && !connection_.write(out, timeoutMs_, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    return true;
}

std::string WinNetLine::take(bool* lost, LineError* error) {
    *lost = false;
    if (!connection_.isOpen())
        return std::exchange(pending_, {});
    if (!window_) {
        WSANETWORKEVENTS happened{};
        WSAEnumNetworkEvents(static_cast<SOCKET>(connection_.handle()), event_, &happened);
        ResetEvent(event_); // also when set by hand after a rate change
    }
    // Everything there is: the socket signals again only for what comes
    // after its last read.
    size_t got = 0;
    do {
        if (!readOnce(0, error, &got)) {
            *lost = true;
            break;
        }
    } while (got > 0);
    if (!*lost && telnet()) {
        const std::string why = client_.failure(NowMs());
        if (!why.empty()) {
            *error = LineError{why};
            *lost = true;
        }
    }
    if (*lost)
        close(); // told once: the next send connects again
    return std::exchange(pending_, {});
}

bool WinNetLine::write(std::string_view bytes, LineError* error) {
    if (!connection_.isOpen()) {
        *error = LineError{"the connection is closed"};
        return false;
    }
    std::string out;
    if (telnet())
        TelnetClient::encodeData(bytes, &out);
    else
        out = bytes;
    tcp::Error e;
    if (connection_.write(out, timeoutMs_, &e))
        return true;
    *error = ErrorOf(e);
    return false;
}

bool WinNetLine::setRate(int rate, LineError* error) {
    if (!telnet()) {
        *error = LineError{kRawRateRefusal};
        return false;
    }
    if (!connection_.isOpen()) {
        *error = LineError{"the connection is closed"};
        return false;
    }
    // The data that comes meanwhile is handed on after the confirmation.
    const bool ok = setRemote({{ComPortCommand::SetBaudRate, static_cast<uint32_t>(rate)}}, error);
    if (!pending_.empty()) {
        if (window_)
            PostMessageW(window_, message_, 0, 0);
        else
            SetEvent(event_);
    }
    return ok;
}

void WinNetLine::close() {
    if (connection_.isOpen()) {
        // No more notifications for a socket about to go.
        const auto s = static_cast<SOCKET>(connection_.handle());
        if (window_)
            WSAAsyncSelect(s, window_, 0, 0);
        else
            WSAEventSelect(s, nullptr, 0);
    }
    connection_.close();
}
