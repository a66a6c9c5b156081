// vxt4710-cli.exe's services for the run of core/cli_run.h: the same
// commands, options, output and statuses as the Linux program, on standard
// handles, the ports folder's bindings, WinPort and the network line.
#pragma once

#include "platform/loop_cli_system.h"
#include "win32/cli/win_cli_io.h"

#include <memory>
#include <string>
#include <vector>

// Where COM<n> and any other --port name lead on Windows: a network
// address, a COM name bound to one in portsFolder (win32/win_port_binding.h),
// or the port itself.
struct WinPortChoice {
    std::wstring path;   // what CreateFileW opens
    std::string name;    // the port in messages
    std::string address; // a port on another machine: its address
    std::string failure; // a binding that leads nowhere: why
};
WinPortChoice ChooseWinPort(const std::string& port, const std::wstring& portsFolder);

class WinCliSystem : public LoopCliSystem {
  public:
    WinCliSystem();

    OutputSink& standardOutput() override { return out_; }
    OutputSink& standardError() override { return err_; }
    CliPlatform platform() const override { return CliPlatform::Windows; }
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
    HandleOutput out_;
    HandleOutput err_;
};

// The whole run on Windows's services: parse, refuse, help, version, ports
// or the session.
int RunWinCli(const std::vector<std::string>& args, const MonotonicClock& clock);
