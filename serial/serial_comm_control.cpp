#include "serial/serial_comm_control.h"

#include "core/net_address.h"
#include "serial/port_names.h"

#include <QMetaObject>
#include <optional>

namespace {
// At most this much waits unread for the handler (while replies are not
// interpreted, nothing reads them); beyond it the oldest bytes give way, so
// a babbling peer costs no memory and newer replies still get through.
constexpr qint64 kReadBufferBytes = 4096;

qint32 RateOf(const std::string& settings) {
    int32_t rate = kDefaultLineRate;
    if (!ParseCommSettings(settings, &rate))
        throw CommError("unsupported settings: " + settings);
    return rate;
}
} // namespace

SerialCommControl::SerialCommControl(QString portsFolder, QObject* parent)
    : QObject(parent), portsFolder_(std::move(portsFolder)) {
    connect(&line_, &SerialLine::readyRead, this, &SerialCommControl::onReadyRead);
}

std::string SerialCommControl::DeviceFor(int n) const {
    return ResolvePortDevice(n, portsFolder_).toStdString();
}

bool SerialCommControl::RateChangeable(int n) const {
    const std::string device = DeviceFor(n);
    NetAddress address;
    std::string bad;
    return !(LooksLikeNetAddress(device) && ParseNetAddress(device, &address, &bad) &&
             address.protocol == NetProtocol::Raw);
}

std::vector<std::string> SerialCommControl::Devices(int count) const {
    // Asking the system for its ports takes a while: once for the whole list.
    std::optional<QStringList> system;
    std::vector<std::string> devices;
    for (int n = 1; n <= count; ++n) {
        if (!system && ResolvePortDevice(n, portsFolder_, {}).isEmpty())
            system = SystemSerialPorts();
        devices.push_back(
            ResolvePortDevice(n, portsFolder_, system.value_or(QStringList())).toStdString());
    }
    return devices;
}

void SerialCommControl::SetSettings(const std::string& settings) {
    // Settings that cannot be used are refused and leave the old ones, so
    // that the next open does not fail because of them.
    if (line_.isOpen())
        applySettings(settings);
    else if (netOpen())
        setNetRate(RateOf(settings));
    else if (!ParseCommSettings(settings, nullptr))
        throw CommError("unsupported settings: " + settings);
    settings_ = settings;
}

void SerialCommControl::applySettings(const std::string& settings) {
    LineError error;
    if (!line_.setRate(RateOf(settings), &error))
        throw CommError(error.reason);
}

bool SerialCommControl::PortOpen() const {
    return line_.usable() || netOpen();
}

void SerialCommControl::SetPortOpen(bool open) {
    if (!open || line_.lost()) {
        line_.close();
        if (!open) {
            closeNetSoon();
            return;
        }
    }
    if (netLost_)
        dropNet();
    if (line_.isOpen() || netOpen())
        return;
    const QString device = ResolvePortDevice(commPort_, portsFolder_);
    if (device.isEmpty())
        throw CommError("no device for COM" + std::to_string(commPort_));
    if (LooksLikeNetAddress(device.toStdString())) {
        openNet(device, RateOf(settings_));
        return;
    }
    dropNet(); // a connection of another port, closed a moment ago
    LineError error;
    if (!line_.open(device, RateOf(settings_), &error))
        throw CommError(error.reason);
}

void SerialCommControl::Output(std::string_view bytes) {
    if (!PortOpen())
        throw CommError("port closed");
    if (connecting_) { // goes out once the connection is through
        netOutbox_.append(bytes.data(), qsizetype(bytes.size()));
        return;
    }
    if (net_) {
        LineError error;
        if (!net_->write(bytes, &error))
            throw CommError(error.reason);
        return;
    }
    LineError error;
    if (!line_.write(QByteArray(bytes.data(), qsizetype(bytes.size())), &error))
        throw CommError(error.reason);
    if (!PortOpen())
        throw CommError("port lost while writing");
}

std::string SerialCommControl::Input() {
    readInside_ = true;
    if (!PortOpen())
        return {};
    const qint64 limit = inBufferSize_ > 0 ? inBufferSize_ : kReadBufferBytes;
    if (net_ || connecting_) {
        const QByteArray bytes = netIn_.left(limit);
        netIn_.remove(0, bytes.size());
        return bytes.toStdString();
    }
    return line_.read(limit).toStdString();
}

void SerialCommControl::onReadyRead() {
    const qint64 excess = line_.bytesAvailable() - kReadBufferBytes;
    if (excess > 0)
        line_.skip(excess);
    if (delivering_) {
        deliverAgain_ = true;
        return;
    }
    deliver();
}

void SerialCommControl::deliver() {
    queued_ = false;
    if (delivering_) {
        // Posted earlier and run by a nested event loop (a message box the
        // handler shows): the handler is still running; it gets its turn
        // once it has returned.
        deliverAgain_ = true;
        return;
    }
    if (!PortOpen() || available() <= 0)
        return;
    delivering_ = true;
    deliverAgain_ = false;
    readInside_ = false;
    event_ = CommEvents::Receive;
    RaiseOnComm();
    delivering_ = false;
    // Bytes left behind (more than the receive buffer, or arrived meanwhile)
    // get a notification of their own, after other events had their turn.
    // A handler that read nothing leaves them waiting for the next arrival.
    if ((readInside_ || deliverAgain_) && PortOpen() && available() > 0 && !queued_) {
        queued_ = true;
        QMetaObject::invokeMethod(this, &SerialCommControl::deliver, Qt::QueuedConnection);
    }
}

qint64 SerialCommControl::available() const {
    return net_ || connecting_ ? netIn_.size() : line_.bytesAvailable();
}
