// vxt4710-cli's services on Linux for the run of core/cli_run.h, without
// Qt: standard streams through stdio, ports through the ports folder and the
// system's list (cli/posix_ports.h), the line on platform/serial_port.h or
// the network link; the session and the monitor on the one loop of
// platform/line_loop.h.
#pragma once

#include "platform/loop_cli_system.h"

#include <memory>
#include <string>

class LinuxCliSystem : public LoopCliSystem {
  public:
    // outputMissing: the program was started without standard output.
    explicit LinuxCliSystem(bool outputMissing = false);

    OutputSink& standardOutput() override {
        return outputMissing_ ? static_cast<OutputSink&>(missing_) : out_;
    }
    OutputSink& standardError() override { return err_; }
    CliPlatform platform() const override { return CliPlatform::Linux; }
    std::string version() const override;
    std::string helpPortsFolder() override;
    ListedPort listPort(int n) override;
    PortRoute routePort(const std::string& port) override;
    doctor::Survey surveyPorts(const std::string& port) override;

  protected:
    std::unique_ptr<LoopLine> makeSerial(const PortRoute& route, int rate,
                                         LineError* error) override;
    std::unique_ptr<LoopLine> makeNet(const NetAddress& address, int rate,
                                      LineError* error) override;

  private:
    // The system's serial ports, sorted; asked for once, and only when a
    // COM name has no link.
    const std::vector<std::string>& systemPorts();

    FileOutput out_;
    FileOutput err_;
    MissingOutput missing_;
    bool outputMissing_;
    std::optional<std::vector<std::string>> systemPorts_;
};
