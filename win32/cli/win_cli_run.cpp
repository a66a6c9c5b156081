#include "win32/cli/win_cli_run.h"

#include "core/text_util.h"
#include "platform/port_survey.h"
#include "win32/cli/win_cli_net.h"
#include "win32/cli/win_cli_session.h"
#include "win32/win_port.h"
#include "win32/win_port_binding.h"
#include "win32/win_text.h"

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

WinCliSystem::WinCliSystem()
    : out_(GetStdHandle(STD_OUTPUT_HANDLE)), err_(GetStdHandle(STD_ERROR_HANDLE)) {}

std::string WinCliSystem::version() const {
    return VXT4710_VERSION;
}

// The folder as the user finds it, as the Linux help shows its own.
std::string WinCliSystem::helpPortsFolder() {
    const std::wstring folder = WinPortsFolder();
    if (folder.empty())
        return "%APPDATA%\\vxt4710\\ports (APPDATA is not set: no COM name is bound)";
    return Utf8FromUtf16(U16(folder));
}

// The system's adapters and COM ports, each port opened for a moment, and
// the ports folder's bindings that hold no address.
doctor::Survey WinCliSystem::surveyPorts(const std::string& port) {
    const std::wstring folder = WinPortsFolder();
    std::vector<std::string> comNames;
    std::string askedDevice;
    if (!port.empty()) {
        const WinPortChoice choice = ChooseWinPort(port, folder);
        askedDevice = choice.name;
        if (choice.address.empty() && choice.failure.empty() && ComNumberOf(choice.name) > 0)
            comNames.push_back(choice.name);
    }
    doctor::Survey survey = SurveyPorts(comNames);
    survey.portsFolder = Utf8FromUtf16(U16(folder));
    for (int n = 1; n <= 20; ++n) {
        const PortBinding binding = ReadPortBinding(folder, n);
        if (binding.kind != PortBinding::Kind::Bad)
            continue;
        doctor::Binding bad{n, {}};
        bad.resolution.source = ports::PortResolution::Source::BadFile;
        bad.resolution.failure = binding.error;
        survey.bindings.push_back(bad);
    }
    survey.askedName = port;
    survey.askedDevice = askedDevice;
    return survey;
}

// A COM name is the port itself unless the ports folder binds it to an
// address.
ListedPort WinCliSystem::listPort(int n) {
    const PortBinding binding = ReadPortBinding(WinPortsFolder(), n);
    ListedPort port;
    if (binding.kind == PortBinding::Kind::Bound)
        port.device = binding.address;
    else if (binding.kind == PortBinding::Kind::Bad)
        port.bindingError = binding.error;
    else
        port.device = WinPort::DosDeviceOf(n);
    return port;
}

PortRoute WinCliSystem::routePort(const std::string& port) {
    const WinPortChoice choice = ChooseWinPort(port, WinPortsFolder());
    PortRoute route;
    if (!choice.failure.empty()) {
        // A binding file that holds no address: its path and what is wrong,
        // with no serial hint (no adapter would help).
        route.failure = choice.failure;
        route.serialHint = false;
    } else if (!choice.address.empty()) {
        route.address = choice.address;
    } else {
        route.device = choice.name;
        route.path = Utf8FromUtf16(U16(choice.path));
    }
    return route;
}

std::unique_ptr<LoopLine> WinCliSystem::makeSerial(const PortRoute& route, int rate,
                                                   LineError* error) {
    auto line = std::make_unique<WinSessionLine>(Wide(Utf16FromUtf8(route.path)), route.device);
    if (!line->open(rate, error))
        return nullptr;
    return line;
}

std::unique_ptr<LoopLine> WinCliSystem::makeNet(const NetAddress& address, int rate,
                                                LineError* error) {
    auto line = std::make_unique<WinNetSessionLine>(address);
    if (!line->open(rate, error))
        return nullptr;
    return line;
}

int RunWinCli(const std::vector<std::string>& args, const MonotonicClock& clock) {
    WinCliSystem system;
    return RunCli({args, {}}, system, clock);
}
