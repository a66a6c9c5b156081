// MSComm1 over the serial line (serial/serial_line.h), or over the network line for a port whose link
// names an address (rfc2217:// or socket://).
#pragma once

#include "core/comm_control.h"
#include "core/line_rates.h"
#include "serial/net_line.h"
#include "serial/serial_line.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class SerialCommControl : public QObject, public CommControl {
    Q_OBJECT
  public:
    // portsFolder: where the com<n> links are looked up.
    explicit SerialCommControl(QString portsFolder, QObject* parent = nullptr);
    ~SerialCommControl() override { *self_ = nullptr; }

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
    // False for a socket:// port: its rate is the server's.
    bool RateChangeable(int n) const override;
    bool Connecting(int n) const override { return connecting_ && netOpen() && n == commPort_; }
    QString PortsFolder() const { return portsFolder_; }
    // The serial line, for tests that look at the port itself.
    SerialLine& Line() { return line_; }
    const SerialLine& Line() const { return line_; }

  private:
    void onReadyRead();
    void deliver();
    void applySettings(const std::string& settings);
    qint64 available() const;
    // The network port: open (or the same connection again), received
    // bytes, a lost connection, and letting go of it.
    bool netOpen() const { return (net_ || connecting_) && !netClosing_ && !netLost_; }
    void openNet(const QString& address, qint32 rate);
    void setNetRate(qint32 rate);
    void onNetBytes(const QByteArray& bytes);
    void closeNetSoon();
    void dropNet();
    // The background connection: its line, and what it found.
    struct NetAttempt {
        std::unique_ptr<NetLine> line;
        qint32 rate = 0;
        bool ok = false;
        LineError error;
    };
    void connectNet(std::unique_ptr<NetLine> line, qint32 rate);
    void onNetConnected(const std::shared_ptr<NetAttempt>& attempt);
    void failNet(const std::string& reason);

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

    std::unique_ptr<NetLine> net_;
    // Connecting on a thread of its own; net_ once it is through.
    std::shared_ptr<NetAttempt> connecting_;
    // Checked on the window's thread by what the connecting thread posts:
    // null once the control is gone.
    std::shared_ptr<SerialCommControl*> self_ = std::make_shared<SerialCommControl*>(this);
    qint32 netWantedRate_ = 0; // asked for while connecting
    QByteArray netOutbox_;     // sent while connecting
    QByteArray netIn_;         // received from the network port, not yet read
    qint32 netRate_ = 0;       // the rate the server confirmed
    bool netClosing_ = false;  // closed; the connection goes when the event loop runs
    bool netLost_ = false;     // the connection failed: closed quietly
};
