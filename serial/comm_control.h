// The serial-communications control MSComm1: exactly the operations the
// console asks of its serial layer. The real one drives a QSerialPort; a fake
// stands beside it for tests.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>

// Raised by the control when the port is missing, in use, cannot be opened or
// refuses a write. Handlers turn it into the port-failure message.
class CommError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Event codes reported through CommEvent().
namespace CommEvents {
constexpr int16_t Send = 1;
constexpr int16_t Receive = 2;
} // namespace CommEvents

class CommControl : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~CommControl() override = default;

    // Port number 1..20 (1 = COM1); set while the port is closed.
    virtual void SetCommPort(int16_t port) = 0;
    virtual int16_t CommPort() const = 0;

    // "9600,N,8,1", "19200,N,8,1" or "38400,N,8,1"; takes effect at once on an
    // open port. Throws CommError when an open port refuses it.
    virtual void SetSettings(const QString& settings) = 0;
    virtual QString Settings() const = 0;

    // Receive buffer: Input() returns at most this many bytes per read.
    virtual void SetInBufferSize(int16_t bytes) = 0;
    virtual int16_t InBufferSize() const = 0;

    virtual bool PortOpen() const = 0;
    // true opens port CommPort() with the current settings (throws CommError
    // when it cannot); false closes it.
    virtual void SetPortOpen(bool open) = 0;

    // Queues every byte for transmission and returns at once. Throws
    // CommError when the port is closed or refuses the write.
    virtual void Output(const QByteArray& bytes) = 0;

    // The received bytes that are waiting (at most InBufferSize), one
    // character per byte, removed from the receive buffer. Bytes left behind
    // raise another OnComm once the current one has been handled.
    virtual QByteArray Input() = 0;

    // The code of the event being reported by OnComm.
    virtual int16_t CommEvent() const = 0;

    // The device that port n stands for (shown to the user), or an empty
    // string when there is none.
    virtual QString DeviceFor(int n) const {
        Q_UNUSED(n);
        return QString();
    }
    // DeviceFor(1) .. DeviceFor(count) in one go (asking the system once).
    virtual QStringList Devices(int count) const {
        QStringList devices;
        for (int n = 1; n <= count; ++n)
            devices << DeviceFor(n);
        return devices;
    }

  signals:
    // Raised on the user-interface thread; code 2 as soon as a received byte
    // is waiting.
    void OnComm();
};

// Parses a settings string; returns false for anything but "<rate>,N,8,1".
bool ParseCommSettings(const QString& settings, qint32* baudRate);
