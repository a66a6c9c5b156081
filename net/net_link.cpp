#include "net/net_link.h"

#include <algorithm>
#include <chrono>

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

LineError ErrorOf(const tcp::Error& error) {
    return LineError{tcp::Describe(error)};
}

const LineError kClosed{"the connection is closed"};

} // namespace

NetLink::NetLink(NetAddress address, int timeoutMs)
    : address_(std::move(address)), timeoutMs_(timeoutMs), client_(timeoutMs) {}

bool NetLink::open(int rate, LineError* error) {
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
    return true;
}

bool NetLink::setRemote(const std::vector<std::pair<ComPortCommand, uint32_t>>& settings,
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
        const std::string why = failure();
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

bool NetLink::readOnce(int waitMs, LineError* error, size_t* got) {
    std::string bytes;
    tcp::Error e;
    if (!connection_.read(&bytes, waitMs, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    if (got)
        *got = bytes.size();
    if (!telnet()) {
        keep(bytes);
        return true;
    }
    std::string data, out;
    client_.receive(bytes, NowMs(), &data, &out);
    keep(data);
    if (!out.empty() && !connection_.write(out, timeoutMs_, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    return true;
}

void NetLink::keep(std::string_view data) {
    const size_t room = kMaxPending - std::min(kMaxPending, pending_.size());
    pending_.append(data.substr(0, room));
    dropped_ += data.size() - std::min(room, data.size());
}

bool NetLink::readTurn(LineError* error, bool* more, size_t* got) {
    *more = false;
    *got = 0;
    const int64_t end = NowMs() + kTurnMs;
    for (;;) {
        size_t once = 0;
        if (!readOnce(0, error, &once))
            return false;
        if (once == 0)
            return true;
        *got += once;
        // Stopped before a read could take the turn past kTurnBytes (a
        // short read leaves the total off the reads' size): more would be
        // dropped though the front end takes what every turn brings.
        if (*got + kReadBytes > kTurnBytes || NowMs() >= end) {
            *more = true;
            return true;
        }
    }
}

std::string NetLink::failure() const {
    return telnet() ? client_.failure(NowMs()) : std::string();
}

bool NetLink::write(std::string_view bytes, LineError* error) {
    if (!connection_.isOpen()) {
        *error = kClosed;
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

bool NetLink::setRate(int rate, LineError* error) {
    if (!telnet()) {
        *error = LineError{kRawRateRefusal};
        return false;
    }
    if (!connection_.isOpen()) {
        *error = kClosed;
        return false;
    }
    return setRemote({{ComPortCommand::SetBaudRate, static_cast<uint32_t>(rate)}}, error);
}

void NetLink::close() {
    connection_.close();
}
