#include "core/cli_session.h"

#include "core/commands.h"
#include "core/exit_status.h"
#include "core/frame_builders.h"
#include "core/net_address.h"
#include "core/reply_status.h"
#include "core/text_util.h"

#include <algorithm>
#include <charconv>
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
const char kPortFailure[] = "串口不存在或被占用,若电脑没有串口，请使用USB转串口设备";

std::string SignalText(int signo) {
    switch (signo) {
    case TerminationSignal::Interrupt:
        return "interrupted (SIGINT)";
    case TerminationSignal::Terminate:
        return "terminated (SIGTERM)";
    case TerminationSignal::HangUp:
        return "hung up (SIGHUP)";
    default:
        return "ended by signal " + std::to_string(signo);
    }
}
} // namespace

std::string ComplaintText(std::string_view message) {
    std::string text;
    while (!message.empty()) {
        const std::size_t end = std::min(message.find('\n'), message.size());
        if (end > 0) {
            text += "vxt4710-cli: ";
            // Names from files, links and servers reach a terminal: no escape
            // sequence of theirs may act on it.
            text += ShownEscaped(message.substr(0, end), true);
            text += '\n';
        }
        message.remove_prefix(std::min(end + 1, message.size()));
    }
    return text;
}

void ComplainOnStandardError(std::string_view message) {
    const std::string text = ComplaintText(message);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

std::string PortFailureText(std::string_view device, const LineError& error) {
    // A port on another machine: no serial adapter would help. The address
    // and why it could not be used, on a line of their own.
    if (LooksLikeNetAddress(device))
        return "network port " + std::string(device) + ": " + error.reason;
    std::string text = kPortFailure;
    text += '\n';
    if (!device.empty()) {
        text += device;
        text += ": ";
    }
    text += error.reason;
    if (error.accessDenied)
        text += "\nhint: access to the device was denied; serial devices belong to the group "
                "dialout: sudo usermod -aG dialout $USER, then log in again";
    return text;
}

std::string SecondsText(double seconds) {
    // Six significant digits, as "%g" in the C locale: the user's locale
    // must not turn the point into a comma.
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::general, 6);
    return std::string(buffer, r.ptr);
}

CliSession::CliSession(std::vector<PlannedFrame> frames, Io io, int timeoutMs,
                       std::function<void(int status)> finished)
    : frames_(std::move(frames)), io_(std::move(io)), timeoutMs_(timeoutMs),
      finished_(std::move(finished)) {}

void CliSession::start() {
    sendNext();
}

void CliSession::wait(Phase phase, int64_t timeoutMs) {
    phase_ = phase;
    io_.timer.start(static_cast<int>(timeoutMs));
}

int64_t CliSession::confirmElapsed() const {
    return io_.clock.nowMs() - confirmStart_;
}

void CliSession::sendNext() {
    // A signal may have ended the run before its first frame.
    if (phase_ == Phase::Done || outputLost())
        return;
    if (next_ >= frames_.size()) {
        finish(allSent());
        return;
    }
    const PlannedFrame& frame = frames_[next_];
    if (frame.confirmIdle && !confirmed_) {
        confirmStart_ = io_.clock.nowMs();
        askIdle();
        return;
    }
    confirmed_ = false;
    // Logged before it is written, as the window does.
    io_.report.frameOut(frame.bytes);
    if (outputLost())
        return;
    LineError error;
    if (!io_.line.write(frame.bytes, &error)) {
        portFailure(error);
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
void CliSession::askIdle() {
    const std::string query = ControlFrame(FrameCommand::Query);
    io_.report.frameOut(query);
    if (outputLost())
        return;
    LineError error;
    if (!io_.line.write(query, &error)) {
        portFailure(error);
        return;
    }
    wait(Phase::ConfirmIdle, std::max<int64_t>(1, timeoutMs_ - confirmElapsed()));
}

void CliSession::onBytes(std::string_view bytes) {
    for (const char c : bytes) {
        if (phase_ == Phase::Done)
            return;
        onByte(static_cast<uint8_t>(c));
        if (phase_ != Phase::Done)
            outputLost();
    }
}

bool CliSession::expected(uint8_t byte) const {
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

void CliSession::onByte(uint8_t byte) {
    const bool awaitingRate = phase_ == Phase::Acceptance && next_ < frames_.size() &&
                              frames_[next_].await == Await::RateChange;
    const ReplyExplanation e = ExplainReply(byte, awaitingRate);

    if (e.rate == RateChange::Done) {
        // The chip listens at the new rate from now on: the port follows it
        // before the line says so.
        const int rate = frames_[next_].newRate;
        LineError error;
        if (!io_.line.reopen(rate, &error)) {
            io_.report.byteIn(byte, ReplyLogText(byte, false));
            portFailure(error);
            return;
        }
        io_.report.byteIn(byte, e.log);
        io_.complain(io_.line.device() + " now at " + std::to_string(rate) + " bit/s");
        finish({ExitStatus::Ok, "ok", {}, {{"rate", rate}}});
        return;
    }
    io_.report.byteIn(byte, e.log);
    if (e.log.empty())
        return; // no status byte: noise
    if (!expected(byte)) {
        static const char* const kAwaiting[] = {"nothing", "acceptance", "idle", "status",
                                                "status",  "nothing",    "stop", "nothing"};
        io_.report.unexpected(byte, kAwaiting[static_cast<int>(phase_)],
                              static_cast<int>(std::min(next_, frames_.size() - 1) + 1));
        strayStatus_ = true;
        return;
    }
    onAnswer(byte);
}

// byte is what the current phase waits for.
void CliSession::onAnswer(uint8_t byte) {
    const auto rejected = [this] {
        finish({ExitStatus::Rejected,
                "rejected",
                "the chip answered 0x45 to " + frames_[next_].what,
                {}});
    };
    switch (phase_) {
    case Phase::Acceptance:
        if (byte == ChipStatus::Failed) {
            rejected();
        } else if (frames_[next_].await == Await::AcceptanceThenIdle) {
            // Only now may a 0x4F end this piece.
            wait(Phase::Speaking, timeoutMs_);
        } else {
            io_.timer.stop();
            ++next_;
            sendNext();
        }
        return;
    case Phase::Speaking:
        io_.timer.stop();
        if (next_ + 1 < frames_.size() && !frames_[next_ + 1].confirmIdle)
            endedOnIdle_.push_back(static_cast<int>(next_ + 1));
        ++next_;
        sendNext();
        return;
    case Phase::Status:
        if (byte == ChipStatus::Failed)
            rejected();
        else
            finish({byte == ChipStatus::Idle ? ExitStatus::Ok : ExitStatus::Speaking,
                    "ok",
                    {},
                    {{"chip", byte == ChipStatus::Idle ? "idle" : "speaking"}}});
        return;
    case Phase::ConfirmIdle:
        if (byte == ChipStatus::Idle) {
            io_.timer.stop();
            confirmed_ = true;
            sendNext();
            return;
        }
        // Busy, or the query was not understood: let it speak, then ask again.
        wait(Phase::ConfirmPause,
             std::clamp<int64_t>(timeoutMs_ - confirmElapsed(), 1, kAskAgainMs));
        return;
    case Phase::Stopping: {
        End end = stopEnd_;
        end.message += "; the chip was told to stop";
        finish(std::move(end));
        return;
    }
    default:
        return;
    }
}

CliSession::End CliSession::allSent() const {
    const int frames = static_cast<int>(frames_.size());
    if (!strayStatus_ || endedOnIdle_.empty())
        return {ExitStatus::Ok, "ok", {}, {{"frames", frames}}};
    std::string pieces;
    for (const int n : endedOnIdle_)
        pieces += (pieces.empty() ? "" : ", ") + std::to_string(n);
    return {ExitStatus::MaybeCut,
            "maybe_cut",
            "a status byte came that was not awaited: the line carries stray bytes, and a "
            "stray 0x4F taken for an idle reply may have let the next piece cut short " +
                std::string(endedOnIdle_.size() > 1 ? "pieces " : "piece ") + pieces +
                " (--confirm-idle avoids this)",
            {{"frames", frames}, {"may_be_cut", endedOnIdle_}}};
}

void CliSession::onTimer() {
    std::string awaited;
    switch (phase_) {
    case Phase::Acceptance:
        awaited = "the chip's acceptance (0x41)";
        break;
    case Phase::Speaking:
        awaited = "the chip's idle reply (0x4F)";
        break;
    case Phase::Status:
        awaited = "the chip's status (0x4F or 0x4E)";
        break;
    case Phase::ConfirmPause:
        if (confirmElapsed() < timeoutMs_) {
            askIdle();
            return;
        }
        [[fallthrough]];
    case Phase::ConfirmIdle:
        awaited = "the chip's idle answer (0x4F) to a query";
        break;
    case Phase::Stopping: {
        End end = stopEnd_;
        end.message += "; the stop frame was not accepted within a second";
        finish(std::move(end));
        return;
    }
    default:
        return;
    }
    finish({ExitStatus::Timeout,
            "timeout",
            frames_[next_].what + " waited " + SecondsText(timeoutMs_ / 1000.0) + " s for " +
                awaited + ", which did not come",
            {{"frame", static_cast<int>(next_ + 1)}}});
}

void CliSession::onOutputGone(const std::string& reason) {
    if (phase_ == Phase::Done)
        return;
    io_.report.lose(reason);
    outputLost();
}

void CliSession::onLineTurn(std::string_view bytes, bool lost, const LineError& error) {
    if (!bytes.empty())
        onBytes(bytes);
    if (lost && !done())
        onLineFailed(error);
}

void CliSession::interruptAll(const int* caught, int count) {
    for (int i = 0; i < count && !done(); ++i)
        interrupt(caught[i]);
}

void CliSession::interrupt(int signo) {
    stopAndEnd(
        {ExitStatus::SignalBase + signo, "interrupted", SignalText(signo), {{"signal", signo}}});
}

bool CliSession::outputLost() {
    if (!io_.report.failed() || outputLost_)
        return outputLost_;
    outputLost_ = true;
    // An end already under way keeps its status.
    if (phase_ != Phase::Stopping && phase_ != Phase::Done)
        stopAndEnd({ExitStatus::Output,
                    "output",
                    "standard output could not be written: " + io_.report.failure(),
                    {}});
    return true;
}

void CliSession::stopAndEnd(End end) {
    if (phase_ == Phase::Done)
        return;
    if (phase_ == Phase::Stopping) {
        // Asked again to end: the stop frame is on the line, the wait for its
        // acceptance is given up.
        End again = stopEnd_;
        again.message += "; ended again before the stop frame was accepted";
        finish(std::move(again), kHurriedDrainMs);
        return;
    }
    if (!speaking_) {
        finish(std::move(end));
        return;
    }
    // The chip would go on speaking the piece it has: tell it to stop.
    const std::string stop = ControlFrame(FrameCommand::Stop);
    io_.report.frameOut(stop);
    LineError error;
    if (!io_.line.write(stop, &error)) {
        end.message += "; the stop frame could not be written: " + error.reason;
        finish(std::move(end));
        return;
    }
    stopEnd_ = std::move(end);
    wait(Phase::Stopping, kStopWaitMs);
}

void CliSession::onLineFailed(const LineError& error) {
    portFailure(error);
}

void CliSession::portFailure(const LineError& error) {
    if (phase_ == Phase::Done)
        return;
    finish({ExitStatus::Port, "port", PortFailureText(io_.line.device(), error), {}});
}

void CliSession::finish(End end, int drainMs) {
    if (phase_ == Phase::Done)
        return;
    phase_ = Phase::Done;
    status_ = end.status;
    io_.timer.stop();
    io_.line.drain(drainMs < 0 ? kDrainMs : drainMs);
    io_.line.close();
    if (!end.message.empty())
        end.fields.emplace_back("message", end.message);
    io_.report.result(end.result, end.status, end.fields);
    if (!end.message.empty())
        io_.complain(end.message);
    if (finished_)
        finished_(end.status);
}
