// vxt4710-cli's services on Linux for the run of core/cli_run.h: standard
// streams through stdio, ports through the ports folder and the system's
// list, the line through ChipLine or NetLine, the session on Qt's event loop.
#pragma once

#include "core/cli_run.h"

#include <memory>

class ChipLine;
class NetLine;

class LinuxCliSystem : public CliSystem {
  public:
    LinuxCliSystem();
    ~LinuxCliSystem() override;

    OutputSink& standardOutput() override { return out_; }
    OutputSink& standardError() override { return err_; }
    CliPlatform platform() const override { return CliPlatform::Linux; }
    std::string version() const override;
    std::string helpPortsFolder() override;
    ListedPort listPort(int n) override;
    std::optional<std::string> readText(const std::string& path, std::string* reason) override;
    PortRoute routePort(const std::string& port) override;
    bool openSerial(const PortRoute& route, int rate, LineError* error) override;
    bool openNet(const NetAddress& address, int rate, LineError* error) override;
    int runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                   const MonotonicClock& clock, int timeoutMs, Complaint complain) override;

  private:
    FileOutput out_;
    FileOutput err_;
    // Asking the system for its ports takes a while: once for the whole list.
    std::optional<std::vector<std::string>> systemPorts_;
    std::unique_ptr<ChipLine> chip_;
    std::unique_ptr<NetLine> net_;
};
