// One run of vxt4710-cli on an open line: sends the planned frames one after
// another, each when the chip's awaited reply has come, explains every byte
// read, and ends with the exit status.
#pragma once

#include "cli/chip_line.h"
#include "cli/frame_plan.h"
#include "cli/traffic_report.h"

#include <QObject>
#include <QTimer>

class Session : public QObject {
    Q_OBJECT
  public:
    Session(QList<PlannedFrame> frames, ChipLine& line, TrafficReport& report, int timeoutMs,
            int newRate, QObject* parent = nullptr);

    // Sends the first frame. The end comes through finished().
    void start();
    // Ctrl+C: during speak sends stop and waits at most a second for its
    // acceptance; then ends with status 130.
    void interrupt();

  signals:
    void finished(int status);

  private:
    enum class Phase { Idle, Acceptance, Speaking, Status, Stopping, Done };

    void sendNext();
    void onBytes(const QByteArray& bytes);
    void onByte(uint8_t byte);
    void onTimeout();
    void wait(Phase phase, int timeoutMs);
    // Reports the end once: the final object, a message on standard error.
    void finish(int status, const QString& result, const QString& message,
                const QList<QPair<QString, QVariant>>& fields = {});
    void portFailure(const LineFailure& failure);

    QList<PlannedFrame> frames_;
    ChipLine& line_;
    TrafficReport& report_;
    int timeoutMs_;
    int newRate_;
    qsizetype next_ = 0; // index of the frame to send next
    Phase phase_ = Phase::Idle;
    QTimer timer_;
    bool speaking_ = false; // a text piece went out: Ctrl+C must stop the chip
};

// The port-failure message, the system's reason and, when access was
// denied, the hint about the group dialout; one line each.
QString PortFailureText(const QString& device, const LineFailure& failure);
