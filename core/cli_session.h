// One run of the command-line program on an open line: sends the planned
// frames one after another, each when the chip's awaited reply has come,
// explains every byte read, and ends with the exit status. The platform
// drives it: bytes, line failures, timer wake-ups and termination signals
// come in as calls, from one loop.
#pragma once

#include "core/frame_plan.h"
#include "core/session_io.h"
#include "core/traffic_report.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The termination signals by their numbers (the same on every platform this
// builds for; a console's Ctrl+C counts as SIGINT).
namespace TerminationSignal {
constexpr int HangUp = 1;
constexpr int Interrupt = 2;
constexpr int Terminate = 15;
} // namespace TerminationSignal

// A message for standard error, one or more lines (UTF-8).
using Complaint = std::function<void(std::string_view message)>;

// Each non-empty line of message after "vxt4710-cli: ", each ended by LF;
// control characters and bytes that are no UTF-8 shown as \xNN.
std::string ComplaintText(std::string_view message);
// Writes ComplaintText(message) to standard error.
void ComplainOnStandardError(std::string_view message);

// The port-failure message, the system's reason and, when access was
// denied, the hint about the group dialout; one line each. device may be
// empty: then the reason stands alone. A network address as device gives
// one line, "network port ADDRESS: reason", without the serial hint.
std::string PortFailureText(std::string_view device, const LineError& error);

// --timeout's seconds as messages show them: "60", "0.25".
std::string SecondsText(double seconds);

class CliSession {
  public:
    struct Io {
        SessionLine& line;
        SessionTimer& timer;
        const MonotonicClock& clock;
        TrafficReport& report;
        Complaint complain = ComplainOnStandardError;
    };
    // A rate change follows at its frame's PlannedFrame::newRate. finished
    // is called once, with the exit status, when the run ends.
    CliSession(std::vector<PlannedFrame> frames, Io io, int timeoutMs,
               std::function<void(int status)> finished);

    // Sends the first frame.
    void start();
    // A termination signal: once text has gone out sends stop and waits at
    // most a second for its acceptance; then ends with 128 + signo. A second
    // one while the stop waits ends at once.
    void interrupt(int signo);
    // Bytes read from the line.
    void onBytes(std::string_view bytes);
    // The device went away or refused to go on.
    void onLineFailed(const LineError& error);
    // One turn of a loop's line: the bytes it brought, then its loss (lost
    // set, error its reason), as each system's loop reads them.
    void onLineTurn(std::string_view bytes, bool lost, const LineError& error);
    // Signals caught meanwhile, in order, as long as the session runs.
    void interruptAll(const int* caught, int count);
    // The wake-up asked of the timer.
    void onTimer();
    // Standard output can take no more (its reader has gone), found between
    // lines: as a failed write, the chip is stopped and the run ends with 74.
    void onOutputGone(const std::string& reason);

    bool done() const { return phase_ == Phase::Done; }
    int status() const { return status_; }

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
    // How an early end reports itself.
    struct End {
        int status = 0;
        std::string result;
        std::string message;
        JsonFields fields;
    };

    void sendNext();
    void askIdle();
    void onByte(uint8_t byte);
    void onAnswer(uint8_t byte);
    void wait(Phase phase, int64_t timeoutMs);
    bool expected(uint8_t byte) const;
    int64_t confirmElapsed() const;
    // True once the output has failed; the first time it stops the chip and
    // ends with ExitStatus::Output.
    bool outputLost();
    // Ends early: stops the chip first when a piece of text went out.
    void stopAndEnd(End end);
    // Reports the end once: the final object, a message on standard error.
    void finish(End end, int drainMs = -1);
    void portFailure(const LineError& error);
    // The end of a run that sent everything: 0, or MaybeCut after stray
    // status bytes.
    End allSent() const;

    std::vector<PlannedFrame> frames_;
    Io io_;
    int timeoutMs_;
    std::function<void(int)> finished_;
    std::size_t next_ = 0; // index of the frame to send next
    Phase phase_ = Phase::Idle;
    int status_ = 0;
    bool speaking_ = false;    // a text piece went out: an early end must stop the chip
    bool confirmed_ = false;   // the chip answered idle to the query for frames_[next_]
    int64_t confirmStart_ = 0; // clock at the first query for frames_[next_]
    bool outputLost_ = false;
    // A status byte came that no phase awaited: the line carries stray bytes.
    bool strayStatus_ = false;
    // Pieces (from 1) that ended on a 0x4F and were followed at once by the
    // next piece: a stray 0x4F taken for their idle reply would have cut them.
    std::vector<int> endedOnIdle_;
    End stopEnd_; // the early end the stop frame waits for
};
