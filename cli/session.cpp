#include "cli/session.h"

#include "cli/exit_status.h"
#include "frames/frame_builders.h"
#include "serial/reply_status.h"

#include <QCoreApplication>
#include <cstdio>

namespace {
// How long the stop frame of Ctrl+C may wait for its acceptance.
constexpr int kStopWaitMs = 1000;
// How long the last frame may take to leave for the line at the end.
constexpr int kDrainMs = 5000;
const QString kPortFailure =
    QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备");
} // namespace

QString PortFailureText(const QString& device, const LineFailure& failure) {
    QString text = kPortFailure;
    text += u'\n';
    text += device.isEmpty() ? failure.reason : device + QStringLiteral(": ") + failure.reason;
    if (failure.accessDenied)
        text += QStringLiteral("\nhint: access to the device was denied; serial devices belong to "
                               "the group dialout: sudo usermod -aG dialout $USER, then log in "
                               "again");
    return text;
}

Session::Session(QList<PlannedFrame> frames, ChipLine& line, TrafficReport& report, int timeoutMs,
                 int newRate, QObject* parent)
    : QObject(parent), frames_(std::move(frames)), line_(line), report_(report),
      timeoutMs_(timeoutMs), newRate_(newRate) {
    timer_.setSingleShot(true);
    // A coarse timer may fire a little early: a wait must last its full time.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Session::onTimeout);
    connect(&line_, &ChipLine::received, this, &Session::onBytes);
    connect(&line_, &ChipLine::failed, this, &Session::portFailure);
}

void Session::start() {
    sendNext();
}

void Session::wait(Phase phase, int timeoutMs) {
    phase_ = phase;
    timer_.start(timeoutMs);
}

void Session::sendNext() {
    if (next_ >= frames_.size()) {
        finish(ExitStatus::Ok, QStringLiteral("ok"), QString(),
               {{QStringLiteral("frames"), static_cast<int>(frames_.size())}});
        return;
    }
    const PlannedFrame& frame = frames_[next_];
    // Logged before it is written, as the window does.
    report_.frameOut(frame.bytes);
    LineFailure failure;
    if (!line_.write(frame.bytes, &failure)) {
        portFailure(failure);
        return;
    }
    speaking_ = speaking_ || frame.await == Await::AcceptanceThenIdle;
    switch (frame.await) {
    case Await::Nothing:
        ++next_;
        sendNext();
        return;
    case Await::Status:
        wait(Phase::Status, timeoutMs_);
        return;
    default:
        wait(Phase::Acceptance, timeoutMs_);
        return;
    }
}

void Session::onBytes(const QByteArray& bytes) {
    for (const char c : bytes) {
        if (phase_ == Phase::Done)
            return;
        onByte(static_cast<uint8_t>(c));
    }
}

void Session::onByte(uint8_t byte) {
    const bool awaitingRate = phase_ == Phase::Acceptance && next_ < frames_.size() &&
                              frames_[next_].await == Await::RateChange;
    const ReplyExplanation e = ExplainReply(byte, awaitingRate);

    if (e.rate == RateChange::Done) {
        // The chip listens at the new rate from now on: the port follows it
        // before the line says so.
        LineFailure failure;
        if (!line_.reopen(newRate_, &failure)) {
            report_.byteIn(byte, ReplyLogText(byte, false));
            portFailure(failure);
            return;
        }
        report_.byteIn(byte, e.log);
        std::fprintf(stderr, "vxt4710-cli: %s now at %d bit/s\n", qPrintable(line_.device()),
                     newRate_);
        finish(ExitStatus::Ok, QStringLiteral("ok"), QString(),
               {{QStringLiteral("rate"), newRate_}});
        return;
    }
    report_.byteIn(byte, e.log);

    switch (phase_) {
    case Phase::Acceptance:
        if (byte == ChipStatus::Received) {
            if (frames_[next_].await == Await::AcceptanceThenIdle) {
                wait(Phase::Speaking, timeoutMs_);
                return;
            }
            timer_.stop();
            ++next_;
            sendNext();
        } else if (byte == ChipStatus::Failed) {
            finish(ExitStatus::Rejected, QStringLiteral("rejected"),
                   QStringLiteral("the chip answered 0x45 to %1").arg(frames_[next_].what));
        }
        return;
    case Phase::Speaking:
        if (byte == ChipStatus::Idle) {
            timer_.stop();
            ++next_;
            sendNext();
        }
        return;
    case Phase::Status:
        if (byte == ChipStatus::Idle)
            finish(ExitStatus::Ok, QStringLiteral("ok"), QString(),
                   {{QStringLiteral("chip"), QStringLiteral("idle")}});
        else if (byte == ChipStatus::Speaking)
            finish(ExitStatus::Speaking, QStringLiteral("ok"), QString(),
                   {{QStringLiteral("chip"), QStringLiteral("speaking")}});
        else if (byte == ChipStatus::Failed)
            finish(ExitStatus::Rejected, QStringLiteral("rejected"),
                   QStringLiteral("the chip answered 0x45 to %1").arg(frames_[next_].what));
        return;
    case Phase::Stopping:
        if (byte == ChipStatus::Received || byte == ChipStatus::Failed)
            finish(ExitStatus::Interrupted, QStringLiteral("interrupted"),
                   QStringLiteral("interrupted; the chip was told to stop"));
        return;
    default:
        return;
    }
}

void Session::onTimeout() {
    const double seconds = timeoutMs_ / 1000.0;
    QString awaited;
    switch (phase_) {
    case Phase::Acceptance:
        awaited = QStringLiteral("the chip's acceptance (0x41)");
        break;
    case Phase::Speaking:
        awaited = QStringLiteral("the chip's idle reply (0x4F)");
        break;
    case Phase::Status:
        awaited = QStringLiteral("the chip's status (0x4F or 0x4E)");
        break;
    case Phase::Stopping:
        finish(ExitStatus::Interrupted, QStringLiteral("interrupted"),
               QStringLiteral("interrupted; the stop frame was not accepted within a second"));
        return;
    default:
        return;
    }
    finish(ExitStatus::Timeout, QStringLiteral("timeout"),
           QStringLiteral("%1 waited %2 s for %3, which did not come")
               .arg(frames_[next_].what)
               .arg(seconds)
               .arg(awaited),
           {{QStringLiteral("frame"), static_cast<int>(next_ + 1)}});
}

void Session::interrupt() {
    if (phase_ == Phase::Done)
        return;
    if (phase_ == Phase::Stopping || !speaking_) {
        finish(ExitStatus::Interrupted, QStringLiteral("interrupted"),
               QStringLiteral("interrupted"));
        return;
    }
    // The chip would go on speaking the piece it has: tell it to stop.
    const QByteArray stop = ControlFrame(FrameCommand::Stop);
    report_.frameOut(stop);
    LineFailure failure;
    if (!line_.write(stop, &failure)) {
        finish(ExitStatus::Interrupted, QStringLiteral("interrupted"),
               QStringLiteral("interrupted; the stop frame could not be written: ") +
                   failure.reason);
        return;
    }
    wait(Phase::Stopping, kStopWaitMs);
}

void Session::portFailure(const LineFailure& failure) {
    if (phase_ == Phase::Done)
        return;
    finish(ExitStatus::Port, QStringLiteral("port"), PortFailureText(line_.device(), failure));
}

void Session::finish(int status, const QString& result, const QString& message,
                     const QList<QPair<QString, QVariant>>& fields) {
    if (phase_ == Phase::Done)
        return;
    phase_ = Phase::Done;
    timer_.stop();
    line_.drain(kDrainMs);
    line_.close();
    QList<QPair<QString, QVariant>> all = fields;
    if (!message.isEmpty())
        all.append({QStringLiteral("message"), message});
    report_.result(result, status, all);
    for (const QString& l : message.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "vxt4710-cli: %s\n", qPrintable(l));
    emit finished(status);
}
