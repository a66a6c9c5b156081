#include "cli/cli_run.h"

#include "cli/chip_line.h"
#include "cli/session.h"
#include "cli/text_input.h"
#include "core/cli_plan.h"
#include "core/exit_status.h"
#include "core/net_address.h"
#include "core/text_util.h"
#include "core/traffic_report.h"
#include "qt/qt_text.h"
#include "serial/port_names.h"

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

std::string Utf8(const QString& text) {
    return ToStdBytes(text.toUtf8());
}

int Refuse(TrafficReport& report, int status, const std::string& result,
           const std::string& message) {
    report.result(result, status, {{"message", message}});
    ComplainOnStandardError(message);
    return status;
}

} // namespace

int RefuseUsage(const std::string& message, bool json, const MonotonicClock& clock) {
    FileOutput out(stdout);
    TrafficReport report(json, out, clock);
    report.result("usage", ExitStatus::Usage, {{"message", message}});
    ComplainOnStandardError(message);
    std::fprintf(stderr, "%s\n", UsageLine().c_str());
    return ExitStatus::Usage;
}

int ListPorts(const CliOptions& options, const MonotonicClock& clock) {
    FileOutput out(stdout);
    TrafficReport report(options.json, out, clock);
    const QString folder = DefaultPortsFolder();
    // Asking the system for its ports takes a while: once for the whole list.
    std::optional<QStringList> system;
    const auto systemPorts = [&system] {
        if (!system)
            system = SystemSerialPorts();
        return *system;
    };
    for (int n = 1; n <= 20; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const PortResolution r = ResolvePort(n, folder, systemPorts);
        QString text = name + u'\t' + (r.device.isEmpty() ? QStringLiteral("-") : r.device);
        JsonFields fields{{"port", Utf8(name)},
                          {"device", r.device.isEmpty() ? JsonValue() : JsonValue(Utf8(r.device))}};
        if (r.source == PortResolution::Source::BadFile) {
            text += QStringLiteral(" (%1)").arg(r.failure);
            fields.emplace_back("binding_error", Utf8(r.failure));
        }
        if (r.source == PortResolution::Source::StaleLink) {
            text += QStringLiteral(" (the link to %1 of a simulated chip that has ended)")
                        .arg(r.target);
            fields.emplace_back("stale_link", Utf8(r.target));
        }
        // A link's target is any bytes: none may act on the terminal.
        report.line(ShownEscaped(Utf8(text), true), fields);
    }
    if (report.failed()) {
        ComplainOnStandardError("standard output could not be written: " + report.failure());
        return ExitStatus::Output;
    }
    return ExitStatus::Ok;
}

int RunCli(const CliOptions& options, const MonotonicClock& clock) {
    if (options.command == CliCommand::Ports)
        return ListPorts(options, clock);
    FileOutput out(stdout);
    TrafficReport report(options.json, out, clock);

    // Everything that can be refused is refused before the port is touched:
    // nothing goes on the line.
    const FramePlan plan = PlanFrames(options, ReadAllOf);
    if (plan.status != ExitStatus::Ok)
        return Refuse(report, plan.status, PlanRefusalKind(plan.status), plan.error);

    const int timeoutMs = static_cast<int>(std::ceil(options.timeoutSeconds * 1000));
    // A COM name may stand for a port on another machine (its link's target
    // is the address).
    std::string name = options.port;
    PortChoice port;
    if (!LooksLikeNetAddress(name)) {
        port = ChoosePort(QString::fromStdString(name), DefaultPortsFolder(), SystemSerialPorts);
        if (port.device.isEmpty()) {
            return Refuse(report, ExitStatus::Port, "port",
                          port.serialHint ? PortFailureText({}, LineError{Utf8(port.failure)})
                                          : Utf8(port.failure));
        }
        if (LooksLikeNetAddress(Utf8(port.device)))
            name = Utf8(port.device);
    }
    if (LooksLikeNetAddress(name)) {
        // A port on another machine, through its port server.
        NetAddress address;
        std::string bad;
        if (!ParseNetAddress(name, &address, &bad))
            return Refuse(report, ExitStatus::Port, "port", bad); // it names the port
        // The chip would change its rate and the port could not follow.
        if (PlanChangesRate(plan) && address.protocol == NetProtocol::Raw)
            return Refuse(report, ExitStatus::Port, "port",
                          PortFailureText(name, LineError{kRawRateRefusal}));
        NetLine line(address);
        LineError error;
        if (!line.open(options.rate, &error))
            return Refuse(report, ExitStatus::Port, "port", PortFailureText(name, error));
        return RunSession(plan.frames, line, report, clock, timeoutMs);
    }

    if (!port.notice.isEmpty())
        ComplainOnStandardError(Utf8(port.notice));
    const QString device = port.device;
    ChipLine line;
    LineError error;
    if (!line.open(device, options.rate, &error))
        return Refuse(report, ExitStatus::Port, "port", PortFailureText(Utf8(device), error));

    return RunSession(plan.frames, line, report, clock, timeoutMs);
}
