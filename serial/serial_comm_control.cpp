#include "serial/serial_comm_control.h"

#include "serial/port_names.h"

#include <QMetaObject>
#include <optional>

namespace {
// At most this much waits unread for the handler (while replies are not
// interpreted, nothing reads them); beyond it the oldest bytes give way, so
// a babbling peer costs no memory and newer replies still get through.
constexpr qint64 kReadBufferBytes = 4096;
} // namespace

SerialCommControl::SerialCommControl(QString portsFolder, QObject* parent)
    : CommControl(parent), portsFolder_(std::move(portsFolder)) {
    // No limit inside QSerialPort: with a full buffer it would stop reading
    // and never announce a byte again.
    port_.setReadBufferSize(0);
    connect(&port_, &QSerialPort::readyRead, this, &SerialCommControl::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialCommControl::onError);
}

SerialCommControl::~SerialCommControl() {
    if (port_.isOpen())
        port_.close();
}

QString SerialCommControl::DeviceFor(int n) const {
    return ResolvePortDevice(n, portsFolder_);
}

QStringList SerialCommControl::Devices(int count) const {
    // Asking the system for its ports takes a while: once for the whole list.
    std::optional<QStringList> system;
    QStringList devices;
    for (int n = 1; n <= count; ++n) {
        if (!system && ResolvePortDevice(n, portsFolder_, {}).isEmpty())
            system = SystemSerialPorts();
        devices << ResolvePortDevice(n, portsFolder_, system.value_or(QStringList()));
    }
    return devices;
}

void SerialCommControl::SetSettings(const QString& settings) {
    // Settings that cannot be used are refused and leave the old ones, so
    // that the next open does not fail because of them.
    if (port_.isOpen())
        applySettings(settings);
    else if (!ParseCommSettings(settings, nullptr))
        throw CommError("unsupported settings: " + settings.toStdString());
    settings_ = settings;
}

void SerialCommControl::applySettings(const QString& settings) {
    qint32 rate = kDefaultLineRate;
    if (!ParseCommSettings(settings, &rate))
        throw CommError("unsupported settings: " + settings.toStdString());
    if (!port_.setBaudRate(rate) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl))
        throw CommError(port_.errorString().toStdString());
}

bool SerialCommControl::PortOpen() const {
    return port_.isOpen() && !lost_;
}

void SerialCommControl::SetPortOpen(bool open) {
    if (!open || lost_) {
        if (port_.isOpen())
            port_.close();
        lost_ = false;
        ++generation_;
        if (!open)
            return;
    }
    if (port_.isOpen())
        return;
    const QString device = DeviceFor(commPort_);
    if (device.isEmpty())
        throw CommError("no device for COM" + std::to_string(commPort_));
    port_.setPortName(device);
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite))
        throw CommError(port_.errorString().toStdString());
    try {
        applySettings(settings_);
    } catch (...) {
        port_.close();
        throw;
    }
}

void SerialCommControl::Output(const QByteArray& bytes) {
    if (!PortOpen())
        throw CommError("port closed");
    if (port_.write(bytes) != bytes.size())
        throw CommError(port_.errorString().toStdString());
    // Hand the bytes to the driver now: a handler that never returns to the
    // event loop (the repetition test) must still reach the chip.
    port_.flush();
    if (!PortOpen())
        throw CommError("port lost while writing");
}

QByteArray SerialCommControl::Input() {
    readInside_ = true;
    if (!PortOpen())
        return {};
    const qint64 limit = inBufferSize_ > 0 ? inBufferSize_ : kReadBufferBytes;
    return port_.read(limit);
}

void SerialCommControl::onReadyRead() {
    const qint64 excess = port_.bytesAvailable() - kReadBufferBytes;
    if (excess > 0)
        port_.skip(excess);
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
    if (!PortOpen() || port_.bytesAvailable() <= 0)
        return;
    delivering_ = true;
    deliverAgain_ = false;
    readInside_ = false;
    event_ = CommEvents::Receive;
    emit OnComm();
    delivering_ = false;
    // Bytes left behind (more than the receive buffer, or arrived meanwhile)
    // get a notification of their own, after other events had their turn.
    // A handler that read nothing leaves them waiting for the next arrival.
    if ((readInside_ || deliverAgain_) && PortOpen() && port_.bytesAvailable() > 0 && !queued_) {
        queued_ = true;
        QMetaObject::invokeMethod(this, &SerialCommControl::deliver, Qt::QueuedConnection);
    }
}

void SerialCommControl::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // The device went away (an adapter pulled out). The port reads as
        // closed from now on; the close itself waits until QSerialPort has
        // left its notification, but no longer, or the port reports the same
        // error again and again in a busy loop.
        if (port_.isOpen() && !lost_) {
            lost_ = true;
            const unsigned generation = generation_;
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    if (lost_ && generation == generation_) {
                        port_.close();
                        lost_ = false;
                    }
                },
                Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
}
