// vxt4710-cli monitor: the watch of a tapped line from a shell. Both taps'
// bytes come in as calls from the platform's loop; each frame, status byte
// and run of stray bytes is printed as one line once nothing more can change
// it (its answer came or its timeout passed), in the order of the line;
// Ctrl+C, SIGTERM or the duration end it with a summary. Status 0 without a
// finding, 1 with findings, 3 when a port failed, 74 when standard output
// failed.
#pragma once

#include "core/capture_file.h"
#include "core/cli_session.h" // Complaint
#include "core/session_io.h"
#include "core/tap_monitor.h"
#include "core/tap_watch.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// "host" or "chip".
std::string_view TapSideName(TapSide side);

class MonitorSession : public TapWatch {
  public:
    struct Io {
        OutputSink& out;
        const MonotonicClock& clock;
        Complaint complain = ComplainOnStandardError;
    };
    // durationMs: 0 runs until a signal; otherwise ends after it.
    MonitorSession(bool json, int64_t durationMs, Io io, TapMonitor::Options options = {});

    // The watch starts: t = 0 from here.
    void start();
    // Each item printed also goes into capture, its time epochStartUs (the
    // wall clock at the start) + its own.
    void setCapture(CaptureWriter* capture, int64_t epochStartUs) {
        capture_ = capture;
        epochStartUs_ = epochStartUs;
    }
    // A capture's packets instead of a watch, at their own times; then the
    // summary, as a watch ends.
    void replay(const std::vector<CapturePacket>& packets);
    // Bytes of both taps read in one turn of the loop (either may be empty).
    void onTurn(std::string_view host, std::string_view chip) override;
    // A tap's port failed (name: the port as the user gave it): what was
    // seen is printed, then the summary; status 3.
    void onLineFailed(TapSide side, const std::string& name, const LineError& error) override;
    // A wake-up the loop was asked for (wakeWithinMs).
    void onTimer() override;
    // A termination signal: the normal end of a watch.
    void interrupt(int signo) override;
    // Standard output's reader has gone (found between lines): 74.
    void onOutputGone(const std::string& reason) override;

    // How long the loop may sleep at most (-1: until bytes or a signal).
    int wakeWithinMs() const override;
    // The rate index both taps should listen at now (core/line_rates.h);
    // the loop follows a change before it reads on.
    int rateIndex() const override { return monitor_.RateIndex(); }
    bool done() const override { return done_; }
    int status() const override { return status_; }

  private:
    int64_t nowUs() const;
    void flush(bool all);
    void print(const TapItem& item);
    void finish(int status) { finishAt(status, nowUs()); }
    void finishAt(int status, int64_t atUs);
    // The summary line (or result object); nothing once output failed.
    void summarize(int status);
    void put(const std::string& line);

    bool json_;
    int64_t durationMs_;
    Io io_;
    TapMonitor monitor_;
    TapMonitor::Options options_;
    int64_t startUs_ = 0;
    int64_t printed_ = 0; // rows below this are printed
    bool done_ = false;
    int status_ = 0;
    bool outputFailed_ = false;
    std::string failure_;
    CaptureWriter* capture_ = nullptr;
    int64_t epochStartUs_ = 0;
};
