// The serial line to the chip: 8 data bits, no parity, 1 stop bit, at 9600,
// 19200 or 38400 bit/s. Reports what it reads and when the line fails.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// Why the port could not be used: the system's reason, and whether access to
// the device was denied (the user lacks the group that owns it).
struct LineFailure {
    QString reason;
    bool accessDenied = false;
};

class ChipLine : public QObject {
    Q_OBJECT
  public:
    explicit ChipLine(QObject* parent = nullptr);
    ~ChipLine() override;

    // The device behind a port name: COM<n> (any case, 1-20) resolved as the
    // window resolves it, anything else taken as the device itself. Empty
    // when COM<n> stands for no device.
    static QString DeviceOf(const QString& portName);

    // Opens device at rate. Bytes that were waiting before the open belong
    // to nobody's frame and are dropped.
    bool open(const QString& device, int rate, LineFailure* failure);
    // Closes and opens the same device again at rate.
    bool reopen(int rate, LineFailure* failure);
    // Queues bytes and hands them to the driver.
    bool write(const QByteArray& bytes, LineFailure* failure);
    // Waits until everything written has left for the line, at most timeoutMs.
    bool drain(int timeoutMs);
    void close();

    QString device() const { return device_; }
    int rate() const { return rate_; }

  signals:
    void received(const QByteArray& bytes);
    // The device went away or refused to go on.
    void failed(const LineFailure& failure);

  private:
    void onError(QSerialPort::SerialPortError error);
    LineFailure failureNow() const;

    QSerialPort port_;
    QString device_;
    int rate_ = 9600;
    bool failed_ = false;
};
