#include "serial/serial_comm_control.h"

#include "serial/port_names.h"

#include <QMetaObject>

namespace {
// Bounds what the control holds for the handler: a babbling peer then waits
// in the kernel's buffer instead of in our memory.
constexpr qint64 kReadBufferBytes = 4096;
} // namespace

SerialCommControl::SerialCommControl(QString portsFolder, QObject* parent)
    : CommControl(parent), portsFolder_(std::move(portsFolder)) {
    port_.setReadBufferSize(kReadBufferBytes);
    connect(&port_, &QSerialPort::readyRead, this, &SerialCommControl::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialCommControl::onError);
}

SerialCommControl::~SerialCommControl() {
    if (port_.isOpen())
        port_.close();
}

QString SerialCommControl::DeviceFor(int n) const { return ResolvePortDevice(n, portsFolder_); }

void SerialCommControl::SetSettings(const QString& settings) {
    settings_ = settings;
    if (port_.isOpen())
        applySettings();
}

void SerialCommControl::applySettings() {
    qint32 rate = 9600;
    if (!ParseCommSettings(settings_, &rate))
        throw CommError("unsupported settings: " + settings_.toStdString());
    if (!port_.setBaudRate(rate) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl))
        throw CommError(port_.errorString().toStdString());
}

void SerialCommControl::SetPortOpen(bool open) {
    if (!open) {
        if (port_.isOpen())
            port_.close();
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
        applySettings();
    } catch (...) {
        port_.close();
        throw;
    }
}

void SerialCommControl::Output(const QByteArray& bytes) {
    if (!port_.isOpen())
        throw CommError("port closed");
    if (port_.write(bytes) != bytes.size())
        throw CommError(port_.errorString().toStdString());
    // Hand the bytes to the driver now: a handler that never returns to the
    // event loop (the repetition test) must still reach the chip.
    port_.flush();
    if (!port_.isOpen())
        throw CommError("port lost while writing");
}

QByteArray SerialCommControl::Input() {
    readInside_ = true;
    if (!port_.isOpen())
        return {};
    const qint64 limit = inBufferSize_ > 0 ? inBufferSize_ : kReadBufferBytes;
    return port_.read(limit);
}

void SerialCommControl::onReadyRead() {
    if (delivering_) {
        deliverAgain_ = true;
        return;
    }
    deliver();
}

void SerialCommControl::deliver() {
    queued_ = false;
    if (!port_.isOpen() || port_.bytesAvailable() <= 0)
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
    if ((readInside_ || deliverAgain_) && port_.isOpen() && port_.bytesAvailable() > 0 &&
        !queued_) {
        queued_ = true;
        QMetaObject::invokeMethod(this, &SerialCommControl::deliver, Qt::QueuedConnection);
    }
}

void SerialCommControl::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::PermissionError:
        // The device went away (an adapter pulled out): close at once, or
        // the port reports the same error again and again in a busy loop.
        if (port_.isOpen())
            port_.close();
        break;
    default:
        break;
    }
}
