#include "serial/net_line.h"

NetLine::NetLine(NetAddress address, QObject* parent, int timeoutMs)
    : QObject(parent), link_(std::move(address), timeoutMs) {
    deadlines_.setInterval(200);
    QObject::connect(&deadlines_, &QTimer::timeout, this, [this] {
        const std::string why = link_.failure();
        if (!why.empty())
            fail(LineError{why});
    });
}

NetLine::~NetLine() {
    close();
}

bool NetLine::open(int rate, LineError* error) {
    close();
    if (!dial(rate, error))
        return false;
    watch();
    return true;
}

bool NetLine::dial(int rate, LineError* error) {
    failed_ = false;
    return link_.open(rate, error);
}

void NetLine::watch() {
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(link_.handle()),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, &NetLine::onReadable);
    if (link_.telnet())
        deadlines_.start();
}

void NetLine::onReadable() {
    LineError error;
    if (!link_.readOnce(0, &error)) {
        fail(error);
        return;
    }
    const std::string why = link_.failure();
    if (!why.empty()) {
        fail(LineError{why});
        return;
    }
    deliver();
}

void NetLine::deliver() {
    if (link_.pending().empty() || failed_)
        return;
    const std::string bytes = link_.takePending();
    emit received(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// Told once; the connection goes, and the next open connects again.
void NetLine::fail(const LineError& error) {
    if (failed_)
        return;
    failed_ = true;
    close();
    emit failed(error);
}

bool NetLine::write(std::string_view bytes, LineError* error) {
    return link_.write(bytes, error);
}

bool NetLine::reopen(int rate, LineError* error) {
    const bool ok = link_.setRate(rate, error);
    // The data that came meanwhile is handed on after the confirmation.
    if (!link_.pending().empty())
        QTimer::singleShot(0, this, &NetLine::deliver);
    return ok;
}

void NetLine::close() {
    deadlines_.stop();
    notifier_.reset();
    link_.close();
}
