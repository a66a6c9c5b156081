// The core's session (core/cli_session.h) on Linux: the line is ChipLine
// over QSerialPort, the timer a QTimer, termination signals come through
// InterruptWatch, and Qt's event loop runs it all.
#pragma once

#include "cli/chip_line.h"
#include "core/cli_session.h"
#include "serial/net_line.h"

#include <QTimer>
#include <functional>

// ChipLine as the session's line.
class QtSessionLine : public SessionLine {
  public:
    explicit QtSessionLine(ChipLine& line) : line_(line) {}
    bool write(std::string_view bytes, LineError* error) override;
    bool reopen(int rate, LineError* error) override;
    void drain(int timeoutMs) override { line_.drain(timeoutMs); }
    void close() override { line_.close(); }
    std::string device() const override;

  private:
    ChipLine& line_;
};

// A precise single-shot QTimer as the session's timer: a coarse one may fire
// a little early, and a wait must last its full time.
class QtSessionTimer : public SessionTimer {
  public:
    explicit QtSessionTimer(std::function<void()> wake);
    void start(int ms) override { timer_.start(ms); }
    void stop() override { timer_.stop(); }

  private:
    QTimer timer_;
};

LineError LineErrorOf(const LineFailure& failure);

// Runs frames on the open line until the session ends (the event loop runs
// inside) and returns the exit status.
int RunSession(std::vector<PlannedFrame> frames, ChipLine& line, TrafficReport& report,
               const MonotonicClock& clock, int timeoutMs, Complaint complain);
int RunSession(std::vector<PlannedFrame> frames, NetLine& line, TrafficReport& report,
               const MonotonicClock& clock, int timeoutMs, Complaint complain);
