// What the command-line programs' services (core/cli_run.h) are alike on
// every system: files through platform/files.h, the session and the
// monitor on the one loop of platform/line_loop.h, the open line and the
// taps kept here. Each system says how it opens a serial port and a
// network port, and supplies its streams and port names.
#pragma once

#include "core/cli_run.h"
#include "platform/line_loop.h"

#include <memory>
#include <string>

class LoopCliSystem : public CliSystem {
  public:
    ~LoopCliSystem() override;

    std::optional<std::string> readText(const std::string& path, std::string* reason) override;
    std::unique_ptr<OutputSink> createFile(const std::string& path, bool replace,
                                           std::string* failure) override;
    bool openSerial(const PortRoute& route, int rate, LineError* error) override;
    bool openNet(const NetAddress& address, int rate, LineError* error) override;
    int runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain) override;
    bool openTap(TapSide side, const PortRoute& route, const NetAddress* address, int rate,
                 LineError* error) override;
    int runMonitor(TapWatch& watch, WakeEvent* stop) override;

  protected:
    // The open line, or null with *error why.
    virtual std::unique_ptr<LoopLine> makeSerial(const PortRoute& route, int rate,
                                                 LineError* error) = 0;
    virtual std::unique_ptr<LoopLine> makeNet(const NetAddress& address, int rate,
                                              LineError* error) = 0;

  private:
    std::unique_ptr<LoopLine> line_;
    // The monitor's taps (host, chip) and their names.
    std::unique_ptr<LoopLine> taps_[2];
    std::string tapNames_[2];
};
