// vxt4710-cli's services on Linux for the run of core/cli_run.h, without
// Qt: standard streams through stdio, ports through the ports folder and the
// system's list (cli/posix_ports.h), the line on platform/serial_port.h or
// the network link, the session on one poll() loop (cli/poll_session.h).
#pragma once

#include "core/cli_run.h"

#include <memory>
#include <string>

class PollLine;

class LinuxCliSystem : public CliSystem {
  public:
    // outputMissing: the program was started without standard output.
    explicit LinuxCliSystem(bool outputMissing = false);
    ~LinuxCliSystem() override;

    OutputSink& standardOutput() override {
        return outputMissing_ ? static_cast<OutputSink&>(missing_) : out_;
    }
    OutputSink& standardError() override { return err_; }
    CliPlatform platform() const override { return CliPlatform::Linux; }
    std::string version() const override;
    std::string helpPortsFolder() override;
    ListedPort listPort(int n) override;
    std::optional<std::string> readText(const std::string& path, std::string* reason) override;
    std::unique_ptr<OutputSink> createFile(const std::string& path, bool replace,
                                           std::string* failure) override;
    PortRoute routePort(const std::string& port) override;
    bool openSerial(const PortRoute& route, int rate, LineError* error) override;
    bool openNet(const NetAddress& address, int rate, LineError* error) override;
    int runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain) override;
    bool openTap(TapSide side, const PortRoute& route, const NetAddress* address, int rate,
                 LineError* error) override;
    int runMonitor(TapWatch& watch, WakeEvent* stop) override;
    doctor::Survey surveyPorts(const std::string& port) override;

  private:
    // The system's serial ports, sorted; asked for once, and only when a
    // COM name has no link.
    const std::vector<std::string>& systemPorts();

    FileOutput out_;
    FileOutput err_;
    MissingOutput missing_;
    bool outputMissing_;
    std::optional<std::vector<std::string>> systemPorts_;
    std::unique_ptr<PollLine> line_;
    // The monitor's taps (host, chip) and their names.
    std::unique_ptr<PollLine> taps_[2];
    std::string tapNames_[2];
};
