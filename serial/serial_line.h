// The one serial line set-up that the window's serial control and
// vxt4710-cli share: the platform's serial port (platform/serial_port.h)
// with a socket notifier on its descriptor, so that bytes arrive through
// Qt's event loop. A device that goes away (an adapter pulled out) reads as
// unusable at once, is no longer watched, and is closed and told exactly
// once, when the event loop next runs.
#pragma once

#include "core/session_io.h"
#include "platform/serial_port.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

class SerialLine : public QObject {
    Q_OBJECT
  public:
    // What becomes of bytes that arrived before the open.
    using Waiting = SerialPort::Waiting;

    explicit SerialLine(QObject* parent = nullptr);
    ~SerialLine() override;

    // Opens device at rate with the line settings (closing whatever was open
    // first). On failure the port is closed and error says why.
    bool open(const QString& device, qint32 rate, LineError* error,
              Waiting waiting = Waiting::Keep);
    // The line settings at rate, on the open port.
    bool setRate(qint32 rate, LineError* error);
    // Hands every byte to the driver at once: a caller that does not return
    // to the event loop must still reach the chip.
    bool write(const QByteArray& bytes, LineError* error);
    // Waits until everything written has left for the line, at most timeoutMs.
    bool drain(int timeoutMs) { return port_.drain(timeoutMs); }
    // Closes the port; a close still on its way after a loss is called off.
    void close();

    bool isOpen() const { return port_.isOpen(); }
    // Open, and the device has not gone away.
    bool usable() const { return port_.isOpen() && !lost_; }
    // The device has gone away and the close is on its way.
    bool lost() const { return lost_; }
    QString device() const { return device_; }
    const SerialPort& port() const { return port_; }

    // The bytes read from the line that nobody has taken yet.
    qint64 bytesAvailable() const { return buffer_.size(); }
    QByteArray read(qint64 maxBytes);
    QByteArray readAll() { return read(buffer_.size()); }
    // Drops the oldest count bytes.
    void skip(qint64 count) { buffer_.remove(0, count); }

  signals:
    // Bytes arrived and wait in bytesAvailable().
    void readyRead();
    // The device went away: sent once per open, just after the close.
    void gone(const LineError& error);

  private:
    void onReadable();
    void lose(const LineError& error);

    SerialPort port_;
    QSocketNotifier* notifier_ = nullptr; // a child; goes with deleteLater()
    QByteArray buffer_;
    QString device_;
    bool lost_ = false;
    unsigned generation_ = 0; // counts closes, so a late close spares a new open
};
