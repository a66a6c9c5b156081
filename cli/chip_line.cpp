#include "cli/chip_line.h"

#include "serial/port_names.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

ChipLine::ChipLine(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = port_.readAll();
        if (!bytes.isEmpty())
            emit received(bytes);
    });
    connect(&port_, &QSerialPort::errorOccurred, this, &ChipLine::onError);
}

ChipLine::~ChipLine() {
    close();
}

PortChoice ChoosePort(const QString& name, const QString& portsFolder,
                      const std::function<QStringList()>& systemPorts) {
    PortChoice choice;
    const int n = ComNumberOf(name);
    if (n <= 0) {
        // Relative to where the user stands, not to /dev as QSerialPort
        // takes a bare name.
        choice.device = QFileInfo(name).absoluteFilePath();
        return choice;
    }
    const QString com = QStringLiteral("COM%1").arg(n);
    const PortResolution r = ResolvePort(n, portsFolder, systemPorts);
    choice.device = r.device;
    switch (r.source) {
    case PortResolution::Source::Link:
        break;
    case PortResolution::Source::System:
        choice.notice = QStringLiteral("%1 stands for %2, the system's serial port %3 of %4 "
                                       "(there is no link com%3 in %5)")
                            .arg(com, r.device, QString::number(n), QString::number(r.systemCount),
                                 portsFolder);
        break;
    case PortResolution::Source::StaleLink:
        choice.failure =
            QStringLiteral("%1 stands for no device: its link com%2 -> %3 was left behind by a "
                           "simulated chip (pid %4) that has ended, and that terminal may belong "
                           "to another program now; start vxt4710-chipsim --as %1 again or "
                           "remove %5/com%2")
                .arg(com, QString::number(n), r.target, QString::number(r.ownerPid), portsFolder);
        break;
    case PortResolution::Source::None:
        choice.failure = QStringLiteral("%1 stands for no device (no link in %2, and the system "
                                        "has fewer serial ports)")
                             .arg(com, portsFolder);
        break;
    }
    return choice;
}

LineFailure ChipLine::failureNow() const {
    LineFailure f;
    f.reason = port_.errorString();
    // QSerialPort says "permission" also for a port held by another program;
    // only the device's own access bits call for the group hint.
    const QByteArray path = QFileInfo(device_).absoluteFilePath().toLocal8Bit();
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        f.accessDenied = true;
    return f;
}

bool ChipLine::open(const QString& device, int rate, LineFailure* failure) {
    device_ = device;
    rate_ = rate;
    failed_ = false;
    port_.setPortName(device);
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite)) {
        *failure = failureNow();
        return false;
    }
    if (!port_.setBaudRate(rate) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        *failure = failureNow();
        port_.close();
        return false;
    }
    // Stale replies (an idle report of an earlier run) must not pass for the
    // answer to this run's first frame.
    port_.clear(QSerialPort::Input);
    return true;
}

bool ChipLine::reopen(int rate, LineFailure* failure) {
    port_.close();
    const QString device = device_;
    return open(device, rate, failure);
}

bool ChipLine::write(const QByteArray& bytes, LineFailure* failure) {
    if (failed_ || !port_.isOpen()) {
        failure->reason = QStringLiteral("the port is closed");
        return false;
    }
    if (port_.write(bytes) != bytes.size()) {
        *failure = failureNow();
        return false;
    }
    port_.flush();
    return true;
}

bool ChipLine::drain(int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (port_.isOpen() && port_.bytesToWrite() > 0) {
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0 || !port_.waitForBytesWritten(static_cast<int>(left)))
            return port_.bytesToWrite() == 0;
    }
    // The driver may still hold bytes for the line; closing restores the
    // settings found at the open, which must not change the rate under them.
    int queued = 0;
    while (port_.isOpen() && ::ioctl(port_.handle(), TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (t.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(2);
    }
    return true;
}

void ChipLine::close() {
    if (port_.isOpen())
        port_.close();
}

void ChipLine::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError: {
        if (failed_ || !port_.isOpen())
            return;
        // Report once, then close: a vanished device repeats its error in a
        // busy loop while it stays open.
        failed_ = true;
        const LineFailure f = failureNow();
        QMetaObject::invokeMethod(
            this,
            [this, f] {
                close();
                emit failed(f);
            },
            Qt::QueuedConnection);
        break;
    }
    default:
        break;
    }
}
