// One run of vxt4710-cli from its arguments to its exit status, the same on
// every system: parse, refuse, --help, --version, ports and the session
// commands. Every status is decided here; each system's main() supplies only
// its services (CliSystem).
#pragma once

#include "core/capture_file.h"
#include "core/cli_monitor.h"
#include "core/cli_options.h"
#include "core/cli_session.h"
#include "core/frame_plan.h"
#include "core/net_address.h"
#include "core/port_doctor.h"
#include "core/session_io.h"
#include "core/traffic_report.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class WakeEvent; // platform/wake_event.h

// The command line as the system could read it.
struct CliArguments {
    std::vector<std::string> args; // UTF-8, without the program's name
    // Not empty: an argument could not be decoded ("argument 2 is not valid
    // UTF-8"), and args holds what could be read of them (for --json).
    std::string undecodable;
};

// What the ports command shows for COM<n>.
struct ListedPort {
    std::string device;       // what COM<n> stands for; empty: nothing
    std::string bindingError; // a binding file that holds no address: its path and why
    std::string staleLink;    // a link left by a simulated chip that has ended: its target
};

// Where --port leads on this system.
struct PortRoute {
    std::string device;  // the port in messages (UTF-8); all empty: failure says why
    std::string path;    // what the system opens for a serial port (UTF-8)
    std::string address; // a port on another machine: its network address
    std::string notice;  // a line for standard error before the serial port opens
    std::string failure; // why the name leads nowhere
    // The failure is a serial port's (shown with the hint about access); a
    // binding file that holds no address is not.
    bool serialHint = true;
};

// The services of one system.
class CliSystem {
  public:
    virtual ~CliSystem() = default;
    virtual OutputSink& standardOutput() = 0;
    virtual OutputSink& standardError() = 0;
    virtual CliPlatform platform() const = 0;
    virtual std::string version() const = 0; // "1.2.3"
    // The ports folder as --help names it (its real path, as the user finds it).
    virtual std::string helpPortsFolder() = 0;
    // n from 1 to 20, in that order.
    virtual ListedPort listPort(int n) = 0;
    // speak's text file ("-": standard input); replay's capture.
    virtual std::optional<std::string> readText(const std::string& path, std::string* reason) = 0;
    // --capture's file, made to be written as the traffic comes; an
    // existing file is replaced only when replace is set. Null with
    // *failure when it cannot be made.
    virtual std::unique_ptr<OutputSink> createFile(const std::string& path, bool replace,
                                                   std::string* failure) = 0;
    // The wall clock in µs since 1970 (a capture's packet times).
    virtual int64_t epochUs() const;
    virtual PortRoute routePort(const std::string& port) = 0;
    // Opens the line for the session; false with *error when it cannot.
    virtual bool openSerial(const PortRoute& route, int rate, LineError* error) = 0;
    virtual bool openNet(const NetAddress& address, int rate, LineError* error) = 0;
    // Runs frames on the line opened last until the session ends (bytes,
    // timer, termination signals and a lost reader of standard output
    // delivered from the system's loop) and returns its status.
    virtual int runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                           const MonotonicClock& clock, int timeoutMs, Complaint complain) = 0;
    // One of the monitor's two taps, opened to be read only: nothing is
    // ever written to it. A serial port (route.path) or, when address is
    // given, a port on another machine. False with *error when it cannot.
    virtual bool openTap(TapSide side, const PortRoute& route, const NetAddress* address, int rate,
                         LineError* error) = 0;
    // Watches both open taps until the watch ends (bytes, its wake-ups, a
    // lost reader of standard output, and termination signals or, when
    // stop is given, stop set from another thread); follows its rateIndex()
    // on both; returns its status.
    virtual int runMonitor(TapWatch& watch, WakeEvent* stop) = 0;
    // What the port doctor looks at: the system's ports, adapters,
    // processes and the ports folder's bindings; port (as --port gives it)
    // the one asked about, empty for all. By default nothing is surveyed,
    // and the survey says so.
    virtual doctor::Survey surveyPorts(const std::string& port);
};

// Opens both taps of a watch by the names a user gives them (COM names,
// device paths, rfc2217://, socket://) at rate. False with *failure ("chip
// tap: cannot open …") when one cannot be opened. notice hears what a route
// says on the way.
bool OpenTaps(CliSystem& system, const std::string& host, const std::string& chip, int rate,
              std::string* failure, const Complaint& notice);

// The whole run; returns the exit status.
int RunCli(const CliArguments& arguments, CliSystem& system, const MonotonicClock& clock);
