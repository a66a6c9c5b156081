#include "core/cli_run.h"

#include "core/cli_plan.h"
#include "core/exit_status.h"
#include "core/text_util.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// The run's view of its system's standard streams.
class Run {
  public:
    Run(CliSystem& system, const MonotonicClock& clock) : system_(system), clock_(clock) {}

    void complain(std::string_view message) {
        std::string ignored; // nowhere left to say it
        system_.standardError().write(ComplaintText(message), &ignored);
    }
    Complaint complaint() {
        return [this](std::string_view message) { complain(message); };
    }

    // Bad usage: the message and the usage line on standard error and, under
    // --json, a final result object on standard output.
    int refuseUsage(const std::string& message, bool json) {
        TrafficReport report(json, system_.standardOutput(), clock_);
        report.result("usage", ExitStatus::Usage, {{"message", message}});
        complain(message);
        std::string ignored;
        system_.standardError().write(UsageLine() + "\n", &ignored);
        return ExitStatus::Usage;
    }

    // --help and --version: 74 when standard output cannot take them (a
    // full disk, a pipe whose reader has gone).
    int print(const std::string& text) {
        std::string failure;
        if (system_.standardOutput().write(text, &failure))
            return ExitStatus::Ok;
        return outputFailed(failure);
    }

    int outputFailed(const std::string& failure) {
        complain("standard output could not be written: " + failure);
        return ExitStatus::Output;
    }

    int listPorts(const CliOptions& options);
    int session(const CliOptions& options);
    int monitor(const CliOptions& options);
    int replay(const CliOptions& options);
    int doctor(const CliOptions& options);

  private:
    int talk(const CliOptions& options, const FramePlan& plan, TrafficReport& report);
    // --capture's file, made before anything goes on the line; false (the
    // run refused) when it cannot be.
    bool openCapture(const CliOptions& options, const std::vector<CaptureInterface>& lines,
                     TrafficReport& report, int* status);
    // The run's status, unless a write of the capture failed and the run
    // itself went well.
    int endCapture(int status);

    // After a serial port's failure: where to learn what keeps it from
    // working.
    int pointAtDoctor(const std::string& port) {
        complain("to find what keeps the port from working: vxt4710-cli doctor --port " + port);
        return ExitStatus::Port;
    }

    int refuse(TrafficReport& report, int status, const std::string& result,
               const std::string& message) {
        report.result(result, status, {{"message", message}});
        complain(message);
        return status;
    }
    int netSession(const CliOptions& options, const FramePlan& plan, const std::string& name,
                   TrafficReport& report, int timeoutMs);

    CliSystem& system_;
    const MonotonicClock& clock_;
    std::unique_ptr<OutputSink> captureFile_;
    std::unique_ptr<CaptureWriter> capture_;
    std::string captureFailure_;
};

bool Run::openCapture(const CliOptions& options, const std::vector<CaptureInterface>& lines,
                      TrafficReport& report, int* status) {
    if (options.capture.empty())
        return true;
    std::string failure;
    captureFile_ = system_.createFile(options.capture, options.overwrite, &failure);
    if (!captureFile_) {
        if (failure == "the file exists")
            failure += " (--overwrite replaces it)";
        *status = refuse(report, ExitStatus::CannotCreate, "capture",
                         "cannot create the capture " + options.capture + ": " + failure);
        return false;
    }
    capture_ = std::make_unique<CaptureWriter>(
        [this](std::string_view bytes) { return captureFile_->write(bytes, &captureFailure_); },
        lines, "vxt4710-cli " + system_.version());
    return true;
}

int Run::endCapture(int status) {
    if (!capture_ || capture_->ok())
        return status;
    complain("the capture could not be written: " + captureFailure_);
    return status == ExitStatus::Ok ? ExitStatus::CannotCreate : status;
}

int Run::listPorts(const CliOptions& options) {
    TrafficReport report(options.json, system_.standardOutput(), clock_);
    for (int n = 1; n <= 20; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const ListedPort port = system_.listPort(n);
        std::string text = name + '\t' + (port.device.empty() ? "-" : port.device);
        JsonFields fields{{"port", name},
                          {"device", port.device.empty() ? JsonValue() : JsonValue(port.device)}};
        if (!port.bindingError.empty()) {
            text += " (" + port.bindingError + ")";
            fields.emplace_back("binding_error", port.bindingError);
        }
        if (!port.staleLink.empty()) {
            text += " (the link to " + port.staleLink + " of a simulated chip that has ended)";
            fields.emplace_back("stale_link", port.staleLink);
        }
        // A link's target is any bytes: none may act on the terminal.
        report.line(ShownEscaped(text, true), fields);
    }
    return report.failed() ? outputFailed(report.failure()) : ExitStatus::Ok;
}

int Run::session(const CliOptions& options) {
    TrafficReport report(options.json, system_.standardOutput(), clock_);
    // Everything that can be refused is refused before the port is touched:
    // nothing goes on the line.
    const FramePlan plan =
        PlanFrames(options, [this](const std::string& path, std::string* reason) {
            return system_.readText(path, reason);
        });
    if (plan.status != ExitStatus::Ok)
        return refuse(report, plan.status, PlanRefusalKind(plan.status), plan.error);
    int status = ExitStatus::Ok;
    if (!openCapture(options, {{options.port, options.rate}}, report, &status))
        return status;
    if (capture_)
        report.setCapture(capture_.get(), [this] { return system_.epochUs(); });
    const int talked = talk(options, plan, report);
    report.flushCapture();
    return endCapture(talked);
}

int Run::talk(const CliOptions& options, const FramePlan& plan, TrafficReport& report) {
    const int timeoutMs = static_cast<int>(std::ceil(options.timeoutSeconds * 1000));
    if (LooksLikeNetAddress(options.port))
        return netSession(options, plan, options.port, report, timeoutMs);
    // A COM name may stand for a port on another machine (its binding holds
    // the address).
    const PortRoute route = system_.routePort(options.port);
    if (!route.address.empty())
        return netSession(options, plan, route.address, report, timeoutMs);
    if (route.device.empty()) {
        if (!route.serialHint)
            return refuse(report, ExitStatus::Port, "port", route.failure);
        refuse(report, ExitStatus::Port, "port", PortFailureText({}, LineError{route.failure}));
        return pointAtDoctor(options.port);
    }
    if (!route.notice.empty())
        complain(route.notice);
    LineError error;
    if (!system_.openSerial(route, options.rate, &error)) {
        refuse(report, ExitStatus::Port, "port", PortFailureText(route.device, error));
        return pointAtDoctor(options.port);
    }
    return system_.runSession(plan.frames, report, clock_, timeoutMs, complaint());
}

// A port on another machine, through its port server.
int Run::netSession(const CliOptions& options, const FramePlan& plan, const std::string& name,
                    TrafficReport& report, int timeoutMs) {
    NetAddress address;
    std::string bad;
    if (!ParseNetAddress(name, &address, &bad))
        return refuse(report, ExitStatus::Port, "port", bad); // it names the port
    // The chip would change its rate and the port could not follow.
    if (PlanChangesRate(plan) && address.protocol == NetProtocol::Raw)
        return refuse(report, ExitStatus::Port, "port",
                      PortFailureText(name, LineError{kRawRateRefusal}));
    LineError error;
    if (!system_.openNet(address, options.rate, &error))
        return refuse(report, ExitStatus::Port, "port", PortFailureText(name, error));
    return system_.runSession(plan.frames, report, clock_, timeoutMs, complaint());
}

// Both taps open, read only, then the watch.
int Run::monitor(const CliOptions& options) {
    TrafficReport report(options.json, system_.standardOutput(), clock_);
    std::string failure;
    if (!OpenTaps(system_, options.tapHost, options.tapChip, options.rate, &failure, complaint()))
        return refuse(report, ExitStatus::Port, "port", failure);
    int status = ExitStatus::Ok;
    if (!openCapture(options,
                     {{options.tapHost, options.rate}, {options.tapChip, options.rate}}, report,
                     &status))
        return status;
    const auto durationMs = static_cast<int64_t>(std::ceil(options.durationSeconds * 1000));
    TapMonitor::Options watch;
    watch.rateIndex = RateIndexOf(options.rate);
    MonitorSession session(options.json, durationMs,
                           {system_.standardOutput(), clock_, complaint()}, watch);
    if (capture_)
        session.setCapture(capture_.get(), system_.epochUs());
    session.start();
    return endCapture(system_.runMonitor(session, nullptr));
}

// A capture's packets as the monitor shows a watch.
int Run::replay(const CliOptions& options) {
    TrafficReport report(options.json, system_.standardOutput(), clock_);
    std::string reason;
    const std::optional<std::string> file = system_.readText(options.argument, &reason);
    if (!file)
        return refuse(report, ExitStatus::NoInput, "input",
                      "cannot read " + options.argument + ": " + reason);
    const CaptureContents contents = ReadCapture(*file);
    for (const std::string& problem : contents.problems)
        complain(options.argument + ": " + problem);
    MonitorSession session(options.json, 0, {system_.standardOutput(), clock_, complaint()});
    session.replay(contents.packets);
    const int status = session.status();
    return contents.problems.empty() || status == ExitStatus::Output ? status
                                                                     : ExitStatus::DataError;
}

// Why a port does not work: the findings, each with its fix; 1 when there
// is any.
int Run::doctor(const CliOptions& options) {
    const doctor::Diagnosis diagnosis =
        doctor::Diagnose(system_.surveyPorts(options.portGiven ? options.port : std::string()));
    const int status = diagnosis.findings.empty() ? ExitStatus::Ok : ExitStatus::PortTrouble;
    const std::string text = options.json ? doctor::DiagnosisJson(diagnosis, status) + "\n"
                                          : doctor::DiagnosisShown(diagnosis);
    std::string failure;
    if (!system_.standardOutput().write(text, &failure))
        return outputFailed(failure);
    return status;
}

} // namespace

doctor::Survey CliSystem::surveyPorts(const std::string& port) {
    doctor::Survey survey;
    survey.askedName = port;
    survey.unread.push_back("this system's ports: not surveyed by this program");
    return survey;
}

int64_t CliSystem::epochUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool OpenTaps(CliSystem& system, const std::string& host, const std::string& chip, int rate,
              std::string* failure, const Complaint& notice) {
    for (const TapSide side : {TapSide::Host, TapSide::Chip}) {
        const std::string& name = side == TapSide::Host ? host : chip;
        const std::string what = std::string(TapSideName(side)) + " tap: ";
        NetAddress address;
        std::string bad;
        PortRoute route;
        bool net = LooksLikeNetAddress(name);
        if (!net) {
            route = system.routePort(name);
            net = !route.address.empty();
            if (!net && route.device.empty()) {
                *failure = what + (route.serialHint ? PortFailureText({}, {route.failure})
                                                    : route.failure);
                return false;
            }
        }
        if (net && !ParseNetAddress(route.address.empty() ? name : route.address, &address, &bad)) {
            *failure = what + bad;
            return false;
        }
        if (!route.notice.empty() && notice)
            notice(route.notice);
        LineError error;
        if (!system.openTap(side, route, net ? &address : nullptr, rate, &error)) {
            *failure = what + PortFailureText(net ? name : route.device, error);
            return false;
        }
    }
    return true;
}

int RunCli(const CliArguments& arguments, CliSystem& system, const MonotonicClock& clock) {
    Run run(system, clock);
    if (!arguments.undecodable.empty())
        return run.refuseUsage(arguments.undecodable, JsonAsked(arguments.args));
    const CliParse parse = ParseCliArguments(arguments.args);
    if (!parse.options)
        return run.refuseUsage(parse.error, JsonAsked(arguments.args));
    const CliOptions& options = *parse.options;
    if (options.help)
        return run.print(HelpText(system.platform(), system.helpPortsFolder()));
    if (options.version)
        return run.print("vxt4710-cli " + system.version() + "\n");
    if (options.command == CliCommand::Ports)
        return run.listPorts(options);
    if (options.command == CliCommand::Monitor)
        return run.monitor(options);
    if (options.command == CliCommand::Replay)
        return run.replay(options);
    if (options.command == CliCommand::Doctor)
        return run.doctor(options);
    return run.session(options);
}
