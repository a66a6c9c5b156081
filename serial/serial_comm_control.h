// MSComm1 over QSerialPort.
#pragma once

#include "core/line_rates.h"
#include "serial/comm_control.h"
#include "serial/serial_line.h"

class SerialCommControl : public CommControl {
    Q_OBJECT
  public:
    // portsFolder: where the com<n> links are looked up.
    explicit SerialCommControl(QString portsFolder, QObject* parent = nullptr);
    ~SerialCommControl() override = default;

    void SetCommPort(int16_t port) override { commPort_ = port; }
    int16_t CommPort() const override { return commPort_; }
    void SetSettings(const QString& settings) override;
    QString Settings() const override { return settings_; }
    void SetInBufferSize(int16_t bytes) override { inBufferSize_ = bytes; }
    int16_t InBufferSize() const override { return inBufferSize_; }
    // False as soon as the device has gone away.
    bool PortOpen() const override;
    void SetPortOpen(bool open) override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int16_t CommEvent() const override { return event_; }

    // The device that port n stands for now, or an empty string.
    QString DeviceFor(int n) const override;
    QStringList Devices(int count) const override;
    QString PortsFolder() const { return portsFolder_; }
    QSerialPort& Port() { return line_.port(); }

  private:
    void onReadyRead();
    void deliver();
    void applySettings(const QString& settings);

    QString portsFolder_;
    SerialLine line_;
    int16_t commPort_ = 1;
    QString settings_ = QString::fromLatin1(kLineRates.front().settings);
    int16_t inBufferSize_ = 1024;
    int16_t event_ = CommEvents::Receive;
    bool delivering_ = false;   // inside OnComm
    bool deliverAgain_ = false; // data arrived while inside OnComm
    bool queued_ = false;       // a delivery is posted to the event loop
    bool readInside_ = false;   // the handler called Input()
};
