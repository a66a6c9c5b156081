#include "serial/serial_line.h"

#include <QFileInfo>
#include <QMetaObject>
#include <cerrno>
#include <unistd.h>

bool IsDeviceGone(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        return true;
    default:
        return false;
    }
}

bool DeviceAccessDenied(const QString& device) {
    const QByteArray path = QFileInfo(device).absoluteFilePath().toLocal8Bit();
    return ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES;
}

SerialLine::SerialLine(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLine::onError);
}

SerialLine::~SerialLine() {
    if (port_.isOpen())
        port_.close();
}

QString SerialFailureText(QSerialPort::SerialPortError error, const QString& systemText,
                          bool accessDenied) {
    // Qt's own words for these ("Permission error while locking the
    // device", "Unknown error") would send the user the wrong way.
    if (error == QSerialPort::PermissionError && !accessDenied)
        return QStringLiteral("the port is held by another program (%1)").arg(systemText);
    if (IsDeviceGone(error)) {
        if (systemText.isEmpty() || systemText == QLatin1String("Unknown error"))
            return QStringLiteral("the device is gone");
        return QStringLiteral("the device is gone (%1)").arg(systemText);
    }
    return systemText;
}

LineFailure SerialLine::failureNow() const {
    const bool denied = DeviceAccessDenied(device_);
    return {SerialFailureText(port_.error(), port_.errorString(), denied), denied};
}

bool SerialLine::fail(LineFailure* failure) const {
    if (failure)
        *failure = failureNow();
    return false;
}

bool SerialLine::open(const QString& device, qint32 rate, LineFailure* failure, Waiting waiting) {
    close();
    device_ = device;
    port_.setPortName(device);
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite))
        return fail(failure);
    if (!setRate(rate, failure)) {
        port_.close();
        return false;
    }
    // Stale replies (an idle report of an earlier run) must not pass for the
    // answer to the first frame after the open.
    if (waiting == Waiting::Drop)
        port_.clear(QSerialPort::Input);
    return true;
}

bool SerialLine::setRate(qint32 rate, LineFailure* failure) {
    if (!port_.setBaudRate(rate) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl))
        return fail(failure);
    return true;
}

bool SerialLine::write(const QByteArray& bytes, LineFailure* failure) {
    if (port_.write(bytes) != bytes.size())
        return fail(failure);
    port_.flush();
    return true;
}

void SerialLine::close() {
    if (port_.isOpen())
        port_.close();
    lost_ = false;
    ++generation_;
}

void SerialLine::onError(QSerialPort::SerialPortError error) {
    if (!IsDeviceGone(error) || !port_.isOpen() || lost_)
        return;
    // The port reads as unusable from now on; the close itself waits until
    // QSerialPort has left its notification, but no longer.
    lost_ = true;
    const LineFailure failure = failureNow();
    const unsigned generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, failure] {
            // A close or a new open since then has dealt with the loss.
            if (!lost_ || generation != generation_)
                return;
            close();
            emit gone(failure);
        },
        Qt::QueuedConnection);
}
