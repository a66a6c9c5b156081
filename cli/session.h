// One run of vxt4710-cli on an open line: sends the planned frames one after
// another, each when the chip's awaited reply has come, explains every byte
// read, and ends with the exit status.
#pragma once

#include "cli/chip_line.h"
#include "cli/frame_plan.h"
#include "cli/traffic_report.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class Session : public QObject {
    Q_OBJECT
  public:
    // A rate change follows at its frame's PlannedFrame::newRate.
    Session(QList<PlannedFrame> frames, ChipLine& line, TrafficReport& report, int timeoutMs,
            QObject* parent = nullptr);

    // Sends the first frame. The end comes through finished().
    void start();
    // A termination signal (SIGINT, SIGTERM, SIGHUP): once text has gone out
    // sends stop and waits at most a second for its acceptance; then ends
    // with 128 + signo. A second one while the stop waits ends at once.
    void interrupt(int signo);

  signals:
    void finished(int status);

  private:
    enum class Phase {
        Idle,
        Acceptance,   // 0x41 or 0x45 to the frame sent
        Speaking,     // a piece was accepted: its idle reply 0x4F
        Status,       // query: 0x4F, 0x4E or 0x45
        ConfirmIdle,  // --confirm-idle: the answer to the query before a piece
        ConfirmPause, // --confirm-idle: the chip was busy; ask again soon
        Stopping,     // the stop frame of an early end: its acceptance
        Done
    };

    void sendNext();
    void askIdle();
    void onBytes(const QByteArray& bytes);
    void onByte(uint8_t byte);
    void onAnswer(uint8_t byte);
    void onTimeout();
    void wait(Phase phase, int timeoutMs);
    bool expected(uint8_t byte) const;
    // True once standard output has failed; the first time it stops the chip
    // and ends with ExitStatus::Output.
    bool outputLost();
    // Ends early: stops the chip first when a piece of text went out.
    void stopAndEnd(int status, const QString& result, const QString& message,
                    const QList<QPair<QString, QVariant>>& fields);
    // Reports the end once: the final object, a message on standard error.
    void finish(int status, const QString& result, const QString& message,
                const QList<QPair<QString, QVariant>>& fields = {}, int drainMs = -1);
    void portFailure(const LineFailure& failure);

    QList<PlannedFrame> frames_;
    ChipLine& line_;
    TrafficReport& report_;
    int timeoutMs_;
    qsizetype next_ = 0; // index of the frame to send next
    Phase phase_ = Phase::Idle;
    QTimer timer_;
    bool speaking_ = false;      // a text piece went out: an early end must stop the chip
    bool confirmed_ = false;     // the chip answered idle to the query for frames_[next_]
    QElapsedTimer confirmClock_; // since the first query for frames_[next_]
    bool outputLost_ = false;
    // The early end the stop frame waits for.
    struct {
        int status = 0;
        QString result;
        QString message;
        QList<QPair<QString, QVariant>> fields;
    } stopEnd_;
};

// The port-failure message, the system's reason and, when access was
// denied, the hint about the group dialout; one line each.
QString PortFailureText(const QString& device, const LineFailure& failure);
