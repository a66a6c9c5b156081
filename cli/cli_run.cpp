#include "cli/cli_run.h"

#include "cli/poll_monitor.h"
#include "cli/poll_net_line.h"
#include "cli/poll_serial_line.h"
#include "cli/posix_ports.h"
#include "cli/text_input.h"
#include "platform/files.h"
#include "platform/port_survey.h"
#include "platform/system_ports.h"

#include <cstdio>

LinuxCliSystem::LinuxCliSystem(bool outputMissing)
    : out_(stdout), err_(stderr), outputMissing_(outputMissing) {}

LinuxCliSystem::~LinuxCliSystem() = default;

std::string LinuxCliSystem::version() const {
    return VXT4710_VERSION;
}

std::string LinuxCliSystem::helpPortsFolder() {
    return PortsFolderPath();
}

const std::vector<std::string>& LinuxCliSystem::systemPorts() {
    if (!systemPorts_) {
        std::vector<std::string> devices;
        for (const SystemPort& port : ListSystemPorts())
            devices.push_back(port.name);
        systemPorts_ = SortedSystemPorts(std::move(devices));
    }
    return *systemPorts_;
}

ListedPort LinuxCliSystem::listPort(int n) {
    return ListedPortOf(LookUpPort(n, PortsFolderPath(), [this] { return systemPorts(); }));
}

std::unique_ptr<OutputSink> LinuxCliSystem::createFile(const std::string& path, bool replace,
                                                  std::string* failure) {
    return files::CreateAppendFile(path, replace, failure);
}

std::optional<std::string> LinuxCliSystem::readText(const std::string& path, std::string* reason) {
    return ReadAllOf(path, reason);
}

PortRoute LinuxCliSystem::routePort(const std::string& port) {
    return RoutePosixPort(port, PortsFolderPath(), [this] { return systemPorts(); });
}

bool LinuxCliSystem::openSerial(const PortRoute& route, int rate, LineError* error) {
    auto line = std::make_unique<PollSerialLine>();
    if (!line->open(route.path, rate, error))
        return false;
    line_ = std::move(line);
    return true;
}

bool LinuxCliSystem::openNet(const NetAddress& address, int rate, LineError* error) {
    auto line = std::make_unique<PollNetLine>(address);
    if (!line->open(rate, error))
        return false;
    line_ = std::move(line);
    return true;
}

int LinuxCliSystem::runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                               const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    return RunPollSession(std::move(frames), *line_, report, clock, timeoutMs, std::move(complain));
}

bool LinuxCliSystem::openTap(TapSide side, const PortRoute& route, const NetAddress* address,
                             int rate, LineError* error) {
    // A session's line, only read: opening writes nothing.
    if (!(address ? openNet(*address, rate, error) : openSerial(route, rate, error)))
        return false;
    const int i = side == TapSide::Host ? 0 : 1;
    tapNames_[i] = address ? line_->device() : route.device;
    taps_[i] = std::move(line_);
    return true;
}

int LinuxCliSystem::runMonitor(TapWatch& watch, WakeEvent* stop) {
    const SteadyClock clock;
    return RunPollMonitor(watch, {taps_[0].get(), tapNames_[0]}, {taps_[1].get(), tapNames_[1]},
                          clock, stop);
}

doctor::Survey LinuxCliSystem::surveyPorts(const std::string& port) {
    // The system's ports as the tree under the root has them (not the
    // cached list: a test's tree is not the system's).
    const std::string root = SurveyRoot();
    std::vector<std::string> system;
    for (const SystemPort& p : ListSystemPorts(root + "/sys/class/tty", "/dev"))
        system.push_back(p.name);
    system = SortedSystemPorts(std::move(system));
    const std::string folder = PortsFolderPath();
    const int askedN = ComNumberOf(port);
    const int usedN = port.empty() ? 1 : askedN; // COM1 unless --port says otherwise
    std::vector<doctor::Binding> bindings;
    std::vector<std::string> devices;
    std::string askedDevice = askedN > 0 ? port : AbsolutePath(port);
    for (int n = 1; n <= 20; ++n) {
        const PortLookup r = LookUpPort(n, folder, [&system] { return system; });
        const bool bound = r.source != PortLookup::Source::None &&
                           r.source != PortLookup::Source::System;
        if (!bound && n != usedN)
            continue;
        bindings.push_back({n, r});
        if (r.source == PortLookup::Source::Link)
            devices.push_back(r.device);
        if (n == askedN && !r.device.empty())
            askedDevice = r.device;
    }
    if (!port.empty() && !askedDevice.empty() && askedDevice.front() == '/')
        devices.push_back(askedDevice);
    doctor::Survey survey = SurveyPorts(root, devices);
    survey.portsFolder = folder;
    survey.bindings = std::move(bindings);
    survey.askedName = port;
    survey.askedDevice = port.empty() ? std::string() : askedDevice;
    return survey;
}
