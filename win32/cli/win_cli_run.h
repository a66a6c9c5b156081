// vxt4710-cli.exe's services for the run of core/cli_run.h: the same
// commands, options, output and statuses as the Linux program, on standard
// handles, the ports folder's bindings, WinPort and the network line.
#pragma once

#include "core/cli_run.h"
#include "win32/cli/win_cli_io.h"

#include <memory>
#include <string>
#include <vector>

class LoopLine;
class WinSessionLine;
class WinNetSessionLine;

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

class WinCliSystem : public CliSystem {
  public:
    WinCliSystem();
    ~WinCliSystem() override;

    OutputSink& standardOutput() override { return out_; }
    OutputSink& standardError() override { return err_; }
    CliPlatform platform() const override { return CliPlatform::Windows; }
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
    HandleOutput out_;
    HandleOutput err_;
    std::unique_ptr<WinSessionLine> serial_;
    std::unique_ptr<WinNetSessionLine> net_;
    // The monitor's taps (host, chip) and their names.
    std::unique_ptr<LoopLine> taps_[2];
    std::string tapNames_[2];
};

// The whole run on Windows's services: parse, refuse, help, version, ports
// or the session.
int RunWinCli(const std::vector<std::string>& args, const MonotonicClock& clock);
