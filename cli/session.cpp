#include "cli/session.h"

#include "cli/exit_status.h"
#include "core/frame_builders.h"
#include "core/reply_status.h"
#include "qt/qt_text.h"

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {
// How long the stop frame of an early end may wait for its acceptance.
constexpr int kStopWaitMs = 1000;
// How long the last frame may take to leave for the line at the end.
constexpr int kDrainMs = 5000;
// After a second signal the end comes at once: the stop frame only gets
// this long to leave.
constexpr int kHurriedDrainMs = 200;
// --confirm-idle: how long to let a busy chip speak before asking again.
constexpr int kAskAgainMs = 500;
const QString kPortFailure =
    QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备");

QString SignalText(int signo) {
    switch (signo) {
    case SIGINT:
        return QStringLiteral("interrupted (SIGINT)");
    case SIGTERM:
        return QStringLiteral("terminated (SIGTERM)");
    case SIGHUP:
        return QStringLiteral("hung up (SIGHUP)");
    default:
        return QStringLiteral("ended by signal %1").arg(signo);
    }
}
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
                 QObject* parent)
    : QObject(parent), frames_(std::move(frames)), line_(line), report_(report),
      timeoutMs_(timeoutMs) {
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
    // A signal may have ended the run before its first frame.
    if (phase_ == Phase::Done || outputLost())
        return;
    if (next_ >= frames_.size()) {
        finish(ExitStatus::Ok, QStringLiteral("ok"), QString(),
               {{QStringLiteral("frames"), static_cast<int>(frames_.size())}});
        return;
    }
    const PlannedFrame& frame = frames_[next_];
    if (frame.confirmIdle && !confirmed_) {
        confirmClock_.start();
        askIdle();
        return;
    }
    confirmed_ = false;
    // Logged before it is written, as the window does.
    report_.frameOut(frame.bytes);
    if (outputLost())
        return;
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

// The query before a piece: only an idle answer lets the piece go, so a
// stray 0x4F during the piece before cannot cut it short.
void Session::askIdle() {
    const QByteArray query = ToQBytes(ControlFrame(FrameCommand::Query));
    report_.frameOut(query);
    if (outputLost())
        return;
    LineFailure failure;
    if (!line_.write(query, &failure)) {
        portFailure(failure);
        return;
    }
    wait(Phase::ConfirmIdle, std::max<qint64>(1, timeoutMs_ - confirmClock_.elapsed()));
}

void Session::onBytes(const QByteArray& bytes) {
    for (const char c : bytes) {
        if (phase_ == Phase::Done)
            return;
        onByte(static_cast<uint8_t>(c));
        if (phase_ != Phase::Done)
            outputLost();
    }
}

bool Session::expected(uint8_t byte) const {
    switch (phase_) {
    case Phase::Acceptance:
    case Phase::Stopping:
        return byte == ChipStatus::Received || byte == ChipStatus::Failed;
    case Phase::Speaking:
        return byte == ChipStatus::Idle;
    case Phase::Status:
    case Phase::ConfirmIdle:
        return byte == ChipStatus::Idle || byte == ChipStatus::Speaking ||
               byte == ChipStatus::Failed;
    default:
        return false;
    }
}

void Session::onByte(uint8_t byte) {
    const bool awaitingRate = phase_ == Phase::Acceptance && next_ < frames_.size() &&
                              frames_[next_].await == Await::RateChange;
    const ReplyExplanation e = ExplainReply(byte, awaitingRate);

    if (e.rate == RateChange::Done) {
        // The chip listens at the new rate from now on: the port follows it
        // before the line says so.
        const int rate = frames_[next_].newRate;
        LineFailure failure;
        if (!line_.reopen(rate, &failure)) {
            report_.byteIn(byte, ToQString(ReplyLogText(byte, false)));
            portFailure(failure);
            return;
        }
        report_.byteIn(byte, ToQString(e.log));
        std::fprintf(stderr, "vxt4710-cli: %s now at %d bit/s\n", qPrintable(line_.device()), rate);
        finish(ExitStatus::Ok, QStringLiteral("ok"), QString(), {{QStringLiteral("rate"), rate}});
        return;
    }
    report_.byteIn(byte, ToQString(e.log));
    if (e.log.empty())
        return; // no status byte: noise
    if (!expected(byte)) {
        static const char* const kAwaiting[] = {"nothing", "acceptance", "idle", "status",
                                                "status",  "nothing",    "stop", "nothing"};
        report_.unexpected(byte, QString::fromLatin1(kAwaiting[static_cast<int>(phase_)]),
                           static_cast<int>(std::min(next_, frames_.size() - 1) + 1));
        return;
    }
    onAnswer(byte);
}

// byte is what the current phase waits for.
void Session::onAnswer(uint8_t byte) {
    const auto rejected = [this] {
        finish(ExitStatus::Rejected, QStringLiteral("rejected"),
               QStringLiteral("the chip answered 0x45 to %1").arg(frames_[next_].what));
    };
    switch (phase_) {
    case Phase::Acceptance:
        if (byte == ChipStatus::Failed) {
            rejected();
        } else if (frames_[next_].await == Await::AcceptanceThenIdle) {
            // Only now may a 0x4F end this piece.
            wait(Phase::Speaking, timeoutMs_);
        } else {
            timer_.stop();
            ++next_;
            sendNext();
        }
        return;
    case Phase::Speaking:
        timer_.stop();
        ++next_;
        sendNext();
        return;
    case Phase::Status:
        if (byte == ChipStatus::Failed)
            rejected();
        else
            finish(
                byte == ChipStatus::Idle ? ExitStatus::Ok : ExitStatus::Speaking,
                QStringLiteral("ok"), QString(),
                {{QStringLiteral("chip"),
                  byte == ChipStatus::Idle ? QStringLiteral("idle") : QStringLiteral("speaking")}});
        return;
    case Phase::ConfirmIdle:
        if (byte == ChipStatus::Idle) {
            timer_.stop();
            confirmed_ = true;
            sendNext();
            return;
        }
        // Busy, or the query was not understood: let it speak, then ask again.
        wait(Phase::ConfirmPause, static_cast<int>(std::clamp<qint64>(
                                      timeoutMs_ - confirmClock_.elapsed(), 1, kAskAgainMs)));
        return;
    case Phase::Stopping:
        finish(stopEnd_.status, stopEnd_.result,
               stopEnd_.message + QStringLiteral("; the chip was told to stop"), stopEnd_.fields);
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
    case Phase::ConfirmPause:
        if (confirmClock_.elapsed() < timeoutMs_) {
            askIdle();
            return;
        }
        [[fallthrough]];
    case Phase::ConfirmIdle:
        awaited = QStringLiteral("the chip's idle answer (0x4F) to a query");
        break;
    case Phase::Stopping:
        finish(stopEnd_.status, stopEnd_.result,
               stopEnd_.message +
                   QStringLiteral("; the stop frame was not accepted within a second"),
               stopEnd_.fields);
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

void Session::interrupt(int signo) {
    stopAndEnd(ExitStatus::SignalBase + signo, QStringLiteral("interrupted"), SignalText(signo),
               {{QStringLiteral("signal"), signo}});
}

bool Session::outputLost() {
    if (!report_.failed() || outputLost_)
        return outputLost_;
    outputLost_ = true;
    // An end already under way keeps its status.
    if (phase_ != Phase::Stopping && phase_ != Phase::Done)
        stopAndEnd(ExitStatus::Output, QStringLiteral("output"),
                   QStringLiteral("standard output could not be written: ") + report_.failure(),
                   {});
    return true;
}

void Session::stopAndEnd(int status, const QString& result, const QString& message,
                         const QList<QPair<QString, QVariant>>& fields) {
    if (phase_ == Phase::Done)
        return;
    if (phase_ == Phase::Stopping) {
        // Asked again to end: the stop frame is on the line, the wait for its
        // acceptance is given up.
        finish(stopEnd_.status, stopEnd_.result,
               stopEnd_.message + QStringLiteral("; ended again before the stop frame was "
                                                 "accepted"),
               stopEnd_.fields, kHurriedDrainMs);
        return;
    }
    if (!speaking_) {
        finish(status, result, message, fields);
        return;
    }
    // The chip would go on speaking the piece it has: tell it to stop.
    stopEnd_ = {status, result, message, fields};
    const QByteArray stop = ToQBytes(ControlFrame(FrameCommand::Stop));
    report_.frameOut(stop);
    LineFailure failure;
    if (!line_.write(stop, &failure)) {
        finish(status, result,
               message + QStringLiteral("; the stop frame could not be written: ") + failure.reason,
               fields);
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
                     const QList<QPair<QString, QVariant>>& fields, int drainMs) {
    if (phase_ == Phase::Done)
        return;
    phase_ = Phase::Done;
    timer_.stop();
    line_.drain(drainMs < 0 ? kDrainMs : drainMs);
    line_.close();
    QList<QPair<QString, QVariant>> all = fields;
    if (!message.isEmpty())
        all.append({QStringLiteral("message"), message});
    report_.result(result, status, all);
    for (const QString& l : message.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "vxt4710-cli: %s\n", qPrintable(l));
    emit finished(status);
}
