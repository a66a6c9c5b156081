// A serial control for tests: records every operation and lets a test play
// the chip by feeding bytes.
#pragma once

#include "core/comm_control.h"

#include <QByteArray>

#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>

class FakeCommControl : public CommControl {
  public:
    void SetCommPort(int16_t port) override;
    int16_t CommPort() const override { return commPort_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    void SetInBufferSize(int16_t bytes) override { inBufferSize_ = bytes; }
    int16_t InBufferSize() const override { return inBufferSize_; }
    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override;
    void Output(std::string_view bytes) override;
    std::string Input() override;
    int16_t CommEvent() const override { return event_; }
    std::string DeviceFor(int n) const override { return devices.value(n).toStdString(); }

    // --- test side
    // The device each port stands for (none when absent).
    QMap<int, QString> devices;
    // Ports that do not exist: opening them throws.
    QSet<int> missingPorts;
    // Every write throws while set (the port stays open).
    bool failWrites = false;
    // Every frame handed to Output, in order.
    QList<QByteArray> written;
    // "open COM<n> <settings>", "close", "settings <s>", "write <n>"...
    QStringList calls;
    int inputCalls = 0;

    // The chip sends bytes: they wait in the receive buffer and OnComm(2) is
    // raised until the handler stops reading or nothing is left.
    void Receive(const QByteArray& bytes);
    // Raises OnComm with any event code.
    void RaiseEvent(int16_t code);
    // A background connection failed: the port closes and OnPortFailure is raised.
    void FailInBackground(const std::string& reason) {
        open_ = false;
        RaisePortFailure(reason);
    }
    QByteArray Waiting() const { return buffer_; }
    // All bytes written, concatenated.
    QByteArray AllWritten() const;

  private:
    int16_t commPort_ = 1;
    std::string settings_ = "9600,N,8,1";
    int16_t inBufferSize_ = 1024;
    bool open_ = false;
    int16_t event_ = CommEvents::Receive;
    QByteArray buffer_;
};
