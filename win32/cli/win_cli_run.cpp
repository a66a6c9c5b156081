#include "win32/cli/win_cli_run.h"

#include "core/cli_plan.h"
#include "core/cli_session.h"
#include "core/exit_status.h"
#include "core/text_util.h"
#include "core/traffic_report.h"
#include "win32/cli/win_cli_io.h"
#include "win32/cli/win_cli_net.h"
#include "win32/cli/win_cli_session.h"
#include "win32/win_port.h"
#include "win32/win_port_binding.h"
#include "win32/win_text.h"

#include <cmath>

namespace {

int Refuse(TrafficReport& report, int status, const std::string& result,
           const std::string& message) {
    report.result(result, status, {{"message", message}});
    ComplainOnWindowsStandardError(message);
    return status;
}

int Print(const std::string& text) {
    HandleOutput out(GetStdHandle(STD_OUTPUT_HANDLE));
    std::string failure;
    return out.write(text, &failure) ? ExitStatus::Ok : ExitStatus::Output;
}

// A COM name is the port itself unless the ports folder binds it to an
// address.
int ListWinPorts(const CliOptions& options, const MonotonicClock& clock) {
    HandleOutput out(GetStdHandle(STD_OUTPUT_HANDLE));
    TrafficReport report(options.json, out, clock);
    const std::wstring folder = WinPortsFolder();
    for (int n = 1; n <= 20; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const PortBinding binding = ReadPortBinding(folder, n);
        if (binding.kind == PortBinding::Kind::Bound) {
            report.line(name + '\t' + binding.address,
                        {{"port", name}, {"device", binding.address}});
            continue;
        }
        if (binding.kind == PortBinding::Kind::Bad) {
            report.line(
                name + "\t- (" + binding.error + ")",
                {{"port", name}, {"device", JsonValue()}, {"binding_error", binding.error}});
            continue;
        }
        const std::string device = WinPort::DosDeviceOf(n);
        report.line(name + '\t' + (device.empty() ? "-" : device),
                    {{"port", name}, {"device", device.empty() ? JsonValue() : JsonValue(device)}});
    }
    return report.failed() ? ExitStatus::Output : ExitStatus::Ok;
}

// The folder as the user finds it, as the Linux help shows its own.
std::string HelpPortsFolder() {
    const std::wstring folder = WinPortsFolder();
    if (folder.empty())
        return "%APPDATA%\\vxt4710\\ports (APPDATA is not set: no COM name is bound)";
    return Utf8FromUtf16(U16(folder));
}

} // namespace

WinPortChoice ChooseWinPort(const std::string& port, const std::wstring& portsFolder) {
    if (LooksLikeNetAddress(port))
        return {{}, port, port, {}};
    const int n = ComNumberOf(port);
    if (n > 0) {
        const std::string name = "COM" + std::to_string(n);
        const PortBinding binding = ReadPortBinding(portsFolder, n);
        switch (binding.kind) {
        case PortBinding::Kind::Bound:
            return {{}, binding.address, binding.address, {}};
        case PortBinding::Kind::Bad:
            return {{}, name, {}, binding.error};
        case PortBinding::Kind::None:
            break;
        }
        return {WinPort::DevicePath(n), name, {}, {}};
    }
    return {Wide(Utf16FromUtf8(port)), port, {}, {}};
}

int RefuseWinUsage(const std::string& message, bool json, const MonotonicClock& clock) {
    HandleOutput out(GetStdHandle(STD_OUTPUT_HANDLE));
    TrafficReport report(json, out, clock);
    report.result("usage", ExitStatus::Usage, {{"message", message}});
    ComplainOnWindowsStandardError(message);
    WriteStandardError(UsageLine() + "\n");
    return ExitStatus::Usage;
}

int RunWinCli(const std::vector<std::string>& args, const MonotonicClock& clock) {
    const CliParse parse = ParseCliArguments(args);
    if (!parse.options)
        return RefuseWinUsage(parse.error, JsonAsked(args), clock);
    const CliOptions& options = *parse.options;
    if (options.help)
        return Print(HelpText(CliPlatform::Windows, HelpPortsFolder()));
    if (options.version)
        return Print(std::string("vxt4710-cli ") + VXT4710_VERSION + "\n");
    if (options.command == CliCommand::Ports)
        return ListWinPorts(options, clock);

    HandleOutput out(GetStdHandle(STD_OUTPUT_HANDLE));
    TrafficReport report(options.json, out, clock);
    // Everything that can be refused is refused before the port is touched:
    // nothing goes on the line.
    const FramePlan plan = PlanFrames(options, ReadWindowsText);
    if (plan.status != ExitStatus::Ok)
        return Refuse(report, plan.status, PlanRefusalKind(plan.status), plan.error);

    const int timeoutMs = static_cast<int>(std::ceil(options.timeoutSeconds * 1000));
    const WinPortChoice port = ChooseWinPort(options.port, WinPortsFolder());
    // A binding file that holds no address: its path and what is wrong, with
    // no serial hint (no adapter would help).
    if (!port.failure.empty())
        return Refuse(report, ExitStatus::Port, "port", port.failure);
    if (!port.address.empty()) {
        // A port on another machine, through its port server.
        NetAddress address;
        std::string bad;
        if (!ParseNetAddress(port.address, &address, &bad))
            return Refuse(report, ExitStatus::Port, "port", bad); // it names the port
        // The chip would change its rate and the port could not follow.
        if (PlanChangesRate(plan) && address.protocol == NetProtocol::Raw)
            return Refuse(report, ExitStatus::Port, "port",
                          PortFailureText(port.name, LineError{kRawRateRefusal}));
        WinNetSessionLine line(address);
        LineError error;
        if (!line.open(options.rate, &error))
            return Refuse(report, ExitStatus::Port, "port", PortFailureText(port.name, error));
        return RunWinSession(plan.frames, line, report, clock, timeoutMs,
                             ComplainOnWindowsStandardError);
    }
    WinSessionLine line(port.path, port.name);
    LineError error;
    if (!line.open(options.rate, &error))
        return Refuse(report, ExitStatus::Port, "port", PortFailureText(port.name, error));
    return RunWinSession(plan.frames, line, report, clock, timeoutMs,
                         ComplainOnWindowsStandardError);
}
