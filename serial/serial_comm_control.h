// MSComm1 over QSerialPort.
#pragma once

#include "core/comm_control.h"
#include "core/line_rates.h"
#include "serial/serial_line.h"

#include <QObject>
#include <QString>

class SerialCommControl : public QObject, public CommControl {
    Q_OBJECT
  public:
    // portsFolder: where the com<n> links are looked up.
    explicit SerialCommControl(QString portsFolder, QObject* parent = nullptr);
    ~SerialCommControl() override = default;

    void SetCommPort(int16_t port) override { commPort_ = port; }
    int16_t CommPort() const override { return commPort_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    void SetInBufferSize(int16_t bytes) override { inBufferSize_ = bytes; }
    int16_t InBufferSize() const override { return inBufferSize_; }
    // False as soon as the device has gone away.
    bool PortOpen() const override;
    void SetPortOpen(bool open) override;
    void Output(std::string_view bytes) override;
    std::string Input() override;
    int16_t CommEvent() const override { return event_; }

    // The device that port n stands for now, or an empty string.
    std::string DeviceFor(int n) const override;
    std::vector<std::string> Devices(int count) const override;
    QString PortsFolder() const { return portsFolder_; }
    QSerialPort& Port() { return line_.port(); }

  private:
    void onReadyRead();
    void deliver();
    void applySettings(const std::string& settings);

    QString portsFolder_;
    SerialLine line_;
    int16_t commPort_ = 1;
    std::string settings_ = kLineRates.front().settings;
    int16_t inBufferSize_ = 1024;
    int16_t event_ = CommEvents::Receive;
    bool delivering_ = false;   // inside OnComm
    bool deliverAgain_ = false; // data arrived while inside OnComm
    bool queued_ = false;       // a delivery is posted to the event loop
    bool readInside_ = false;   // the handler called Input()
};
