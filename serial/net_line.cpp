#include "serial/net_line.h"

#include <QElapsedTimer>

namespace {

int64_t NowMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

LineError ErrorOf(const tcp::Error& error) {
    return LineError{tcp::Describe(error)};
}

} // namespace

NetLine::NetLine(NetAddress address, QObject* parent)
    : QObject(parent), address_(std::move(address)) {
    deadlines_.setInterval(200);
    connect(&deadlines_, &QTimer::timeout, this, [this] {
        const std::string why = client_.failure(NowMs());
        if (!why.empty())
            fail(LineError{why});
    });
}

NetLine::~NetLine() {
    close();
}

bool NetLine::open(int rate, LineError* error) {
    close();
    failed_ = false;
    client_ = TelnetClient(kTimeoutMs);
    tcp::Error e;
    if (!connection_.connect(address_.host, address_.port, kTimeoutMs, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    if (telnet()) {
        std::string out;
        client_.start(NowMs(), &out);
        if (!connection_.write(out, kTimeoutMs, &e)) {
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
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(connection_.handle()),
                                                  QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &NetLine::onReadable);
    if (telnet())
        deadlines_.start();
    return true;
}

bool NetLine::setRemote(const std::vector<std::pair<ComPortCommand, uint32_t>>& settings,
                        LineError* error) {
    std::string out;
    for (const auto& [command, value] : settings)
        client_.request(command, value, NowMs(), &out);
    tcp::Error e;
    if (!out.empty() && !connection_.write(out, kTimeoutMs, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    const bool answered = pumpUntil(
        [&] {
            for (const auto& setting : settings)
                if (client_.awaiting(setting.first))
                    return false;
            return true;
        },
        error);
    if (!answered)
        return false;
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

bool NetLine::pumpUntil(const std::function<bool()>& done, LineError* error) {
    while (!done()) {
        if (!readOnce(50, error))
            return false;
        const std::string why = client_.failure(NowMs());
        if (!why.empty()) {
            *error = LineError{why};
            return false;
        }
    }
    return true;
}

bool NetLine::readOnce(int waitMs, LineError* error) {
    std::string bytes;
    tcp::Error e;
    if (!connection_.read(&bytes, waitMs, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    if (!telnet()) {
        pending_.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return true;
    }
    std::string data, out;
    client_.receive(bytes, NowMs(), &data, &out);
    pending_.append(data.data(), static_cast<qsizetype>(data.size()));
    if (!out.empty() && !connection_.write(out, kTimeoutMs, &e)) {
        *error = ErrorOf(e);
        return false;
    }
    return true;
}

void NetLine::onReadable() {
    LineError error;
    if (!readOnce(0, &error)) {
        fail(error);
        return;
    }
    const std::string why = client_.failure(NowMs());
    if (!why.empty()) {
        fail(LineError{why});
        return;
    }
    deliver();
}

void NetLine::deliver() {
    if (pending_.isEmpty() || failed_)
        return;
    const QByteArray bytes = std::exchange(pending_, {});
    emit received(bytes);
}

void NetLine::fail(const LineError& error) {
    if (failed_)
        return;
    failed_ = true;
    deadlines_.stop();
    notifier_.reset();
    emit failed(error);
}

bool NetLine::write(std::string_view bytes, LineError* error) {
    if (!connection_.isOpen() || failed_) {
        *error = LineError{"the connection is closed"};
        return false;
    }
    std::string out;
    if (telnet())
        TelnetClient::encodeData(bytes, &out);
    else
        out = bytes;
    tcp::Error e;
    if (connection_.write(out, kTimeoutMs, &e))
        return true;
    *error = ErrorOf(e);
    return false;
}

bool NetLine::reopen(int rate, LineError* error) {
    if (!telnet()) {
        *error = LineError{kRawRateRefusal};
        return false;
    }
    if (!connection_.isOpen() || failed_) {
        *error = LineError{"the connection is closed"};
        return false;
    }
    // The data that comes meanwhile is handed on after the confirmation.
    const bool ok = setRemote({{ComPortCommand::SetBaudRate, static_cast<uint32_t>(rate)}}, error);
    if (!pending_.isEmpty())
        QTimer::singleShot(0, this, &NetLine::deliver);
    return ok;
}

void NetLine::close() {
    deadlines_.stop();
    notifier_.reset();
    connection_.close();
}
