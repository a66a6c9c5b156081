// MSComm1 over a port on another machine: the network line behind a COM
// name whose link names an address. It behaves as the serial port does: a
// lost connection closes quietly, the next open connects again, and the
// received bytes raise OnComm.
#include "serial/serial_comm_control.h"

#include "core/net_address.h"

#include <QMetaObject>

namespace {
// As much as waits unread on a serial port (see serial_comm_control.cpp).
constexpr qsizetype kNetReadBufferBytes = 4096;
} // namespace

void SerialCommControl::openNet(const QString& device, qint32 rate) {
    NetAddress address;
    std::string bad;
    if (!ParseNetAddress(device.toStdString(), &address, &bad))
        throw CommError(bad);
    // Closed and opened again in one go (the rate change does that): the
    // same connection goes on, at the new rate. A new connection could find
    // the server still holding the port for the old one.
    if (net_ && netClosing_ && !netLost_ && net_->device() == FormatNetAddress(address)) {
        netClosing_ = false;
        try {
            setNetRate(rate);
        } catch (const CommError&) {
            dropNet();
            throw;
        }
        return;
    }
    dropNet();
    net_ = std::make_unique<NetLine>(address);
    connect(net_.get(), &NetLine::received, this, &SerialCommControl::onNetBytes);
    // Like an adapter pulled out: closed quietly; the next send connects again.
    connect(net_.get(), &NetLine::failed, this, [this](const LineError&) {
        netLost_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (netLost_)
                    dropNet();
            },
            Qt::QueuedConnection);
    });
    LineError error;
    if (!net_->open(rate, &error)) {
        dropNet();
        throw CommError(error.reason);
    }
    netRate_ = rate;
}

void SerialCommControl::setNetRate(qint32 rate) {
    NetAddress address;
    std::string bad;
    // A socket:// port's rate is the server's: there is nothing to set.
    if (!net_ || rate == netRate_ || !ParseNetAddress(net_->device(), &address, &bad) ||
        address.protocol == NetProtocol::Raw)
        return;
    // Waits for the server's confirmation: the next frame goes at the new rate.
    LineError error;
    if (!net_->reopen(rate, &error))
        throw CommError(error.reason);
    netRate_ = rate;
}

void SerialCommControl::onNetBytes(const QByteArray& bytes) {
    if (!netOpen())
        return;
    netIn_ += bytes;
    if (netIn_.size() > kNetReadBufferBytes)
        netIn_.remove(0, netIn_.size() - kNetReadBufferBytes);
    if (delivering_) {
        deliverAgain_ = true;
        return;
    }
    deliver();
}

void SerialCommControl::closeNetSoon() {
    if (!net_)
        return;
    if (netLost_) {
        dropNet();
        return;
    }
    // Kept until the event loop runs, for an open that follows at once.
    netClosing_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (netClosing_)
                dropNet();
        },
        Qt::QueuedConnection);
}

void SerialCommControl::dropNet() {
    netClosing_ = false;
    netLost_ = false;
    netIn_.clear();
    netRate_ = 0;
    if (!net_)
        return;
    net_->close();
    // It may be inside one of its own signals: deleted once that returned.
    net_.release()->deleteLater();
}
