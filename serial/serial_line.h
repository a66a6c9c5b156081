// The one serial line set-up that the window's serial control and
// vxt4710-cli share: 8 data bits, no parity, 1 stop bit, no flow control, at
// a rate of the rate table. A device that goes away (an adapter pulled out)
// reads as unusable at once and is closed exactly once, outside QSerialPort's
// notification: left open, it repeats its error in a busy loop.
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

// True for the errors of a device that has gone away; anything else passes
// (or is no error at all) and leaves the port open.
bool IsDeviceGone(QSerialPort::SerialPortError error);

// True when the device's own access bits refuse this user reading and
// writing it. QSerialPort says "permission" also for a port that another
// program holds, and a missing device is no matter of groups: neither is.
// A relative path is taken from the current folder.
bool DeviceAccessDenied(const QString& device);

// The reason a user reads for a QSerialPort error: a port another program
// holds and a device that is gone say so, with the system's text after.
QString SerialFailureText(QSerialPort::SerialPortError error, const QString& systemText,
                          bool accessDenied);

class SerialLine : public QObject {
    Q_OBJECT
  public:
    // What becomes of bytes that arrived before the open.
    enum class Waiting { Keep, Drop };

    explicit SerialLine(QObject* parent = nullptr);
    ~SerialLine() override;

    // Opens device at rate with the line settings (closing whatever was open
    // first). On failure the port is closed and failure says why.
    bool open(const QString& device, qint32 rate, LineFailure* failure,
              Waiting waiting = Waiting::Keep);
    // The line settings at rate, on the open port.
    bool setRate(qint32 rate, LineFailure* failure);
    // Queues every byte and hands them to the driver at once: a caller that
    // does not return to the event loop must still reach the chip.
    bool write(const QByteArray& bytes, LineFailure* failure);
    // Closes the port; a close still on its way after a loss is called off.
    void close();

    // Open, and the device has not gone away.
    bool usable() const { return port_.isOpen() && !lost_; }
    // The device has gone away and the close is on its way.
    bool lost() const { return lost_; }
    // What went wrong last, as the system says it now.
    LineFailure failureNow() const;
    QString device() const { return device_; }
    QSerialPort& port() { return port_; }
    const QSerialPort& port() const { return port_; }

  signals:
    // The device went away: sent once per open, just after the close.
    void gone(const LineFailure& failure);

  private:
    void onError(QSerialPort::SerialPortError error);
    bool fail(LineFailure* failure) const;

    QSerialPort port_;
    QString device_;
    bool lost_ = false;
    unsigned generation_ = 0; // counts closes, so a late close spares a new open
};
