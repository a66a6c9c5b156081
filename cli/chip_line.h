// The serial line to the chip: 8 data bits, no parity, 1 stop bit, at 9600,
// 19200 or 38400 bit/s. Reports what it reads and when the line fails.
#pragma once

#include "core/line_rates.h"
#include "serial/serial_line.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// Where --port leads.
struct PortChoice {
    QString device; // empty: none, and failure says why
    QString notice; // a line for standard error before the first frame, or empty
    QString failure;
    bool serialHint = true; // the failure is a serial port's (not a bad ports file)
};
// name: COM<n> (1-20, any case) resolved as the window resolves it, through
// the link in portsFolder or else the n-th of systemPorts (called only then);
// anything else is a device path, taken relative to the current folder. A
// COM name that comes from the system's list is told in the notice: without
// a link, COM1 may well be a port with nothing on it.
PortChoice ChoosePort(const QString& name, const QString& portsFolder,
                      const std::function<QStringList()>& systemPorts);

class ChipLine : public QObject {
    Q_OBJECT
  public:
    explicit ChipLine(QObject* parent = nullptr);
    ~ChipLine() override;

    // Opens device at rate. Bytes that were waiting before the open belong
    // to nobody's frame and are dropped.
    bool open(const QString& device, int rate, LineError* error);
    // Closes and opens the same device again at rate.
    bool reopen(int rate, LineError* error);
    // Queues bytes and hands them to the driver.
    bool write(const QByteArray& bytes, LineError* error);
    // Waits until everything written has left for the line, at most timeoutMs.
    bool drain(int timeoutMs);
    void close();

    QString device() const { return line_.device(); }
    int rate() const { return rate_; }

  signals:
    void received(const QByteArray& bytes);
    // The device went away or refused to go on.
    void failed(const LineError& error);

  private:
    SerialLine line_;
    int rate_ = kDefaultLineRate;
};
