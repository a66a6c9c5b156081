// MSComm1 over a port on another machine: the network line behind a COM
// name whose link names an address. It behaves as the serial port does: a
// lost connection closes quietly, the next open connects again, and the
// received bytes raise OnComm.
#include "serial/serial_comm_control.h"

#include "core/net_address.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <thread>

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
    const std::string wanted = FormatNetAddress(address);
    if (connecting_ && netClosing_ && connecting_->line->device() == wanted) {
        netClosing_ = false;
        netWantedRate_ = rate;
        return;
    }
    if (net_ && netClosing_ && !netLost_ && net_->device() == wanted) {
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
    // The connect and the server's agreement take up to the line's timeout:
    // the window goes on meanwhile.
    connectNet(std::make_unique<NetLine>(address), rate);
}

void SerialCommControl::connectNet(std::unique_ptr<NetLine> line, qint32 rate) {
    auto attempt = std::make_shared<NetAttempt>();
    attempt->line = std::move(line);
    attempt->rate = rate;
    connecting_ = attempt;
    netWantedRate_ = rate;
    std::thread([attempt, self = self_]() mutable {
        attempt->ok = attempt->line->dial(attempt->rate, &attempt->error);
        // The thread lets go of the attempt here: the line is a QObject of
        // the window's thread and is deleted there.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [attempt = std::move(attempt), self = std::move(self)] {
                    if (*self)
                        (*self)->onNetConnected(attempt);
                },
                Qt::QueuedConnection);
    }).detach();
}

void SerialCommControl::onNetConnected(const std::shared_ptr<NetAttempt>& attempt) {
    if (attempt != connecting_)
        return; // given up meanwhile: the connection goes with the attempt
    connecting_.reset();
    if (!attempt->ok) {
        failNet(attempt->error.reason);
        return;
    }
    net_ = std::move(attempt->line);
    net_->watch();
    netRate_ = attempt->rate;
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
    if (netClosing_)
        return; // closed meanwhile, and dropped soon
    const QByteArray waiting = std::exchange(netOutbox_, {});
    try {
        setNetRate(netWantedRate_);
        LineError error;
        if (!waiting.isEmpty() &&
            !net_->write(std::string_view(waiting.constData(), size_t(waiting.size())), &error))
            throw CommError(error.reason);
    } catch (const CommError& e) {
        failNet(e.what());
    }
}

// The background connection failed: the port is closed, what waited for it
// dropped, and the window told once.
void SerialCommControl::failNet(const std::string& reason) {
    dropNet();
    RaisePortFailure(reason);
}

void SerialCommControl::setNetRate(qint32 rate) {
    if (connecting_) {
        netWantedRate_ = rate; // asked for once the connection is through
        return;
    }
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
    if (!net_ && !connecting_)
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
    netOutbox_.clear();
    connecting_.reset(); // its thread finishes alone and lets go of it
    if (!net_)
        return;
    net_->close();
    // It may be inside one of its own signals: deleted once that returned.
    net_.release()->deleteLater();
}
