#include "cli/cli_run.h"

#include "cli/poll_net_line.h"
#include "cli/poll_serial_line.h"
#include "cli/posix_ports.h"
#include "platform/port_survey.h"
#include "platform/system_ports.h"

#include <cstdio>

LinuxCliSystem::LinuxCliSystem(bool outputMissing)
    : out_(stdout), err_(stderr), outputMissing_(outputMissing) {}

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

PortRoute LinuxCliSystem::routePort(const std::string& port) {
    return RoutePosixPort(port, PortsFolderPath(), [this] { return systemPorts(); });
}

std::unique_ptr<LoopLine> LinuxCliSystem::makeSerial(const PortRoute& route, int rate,
                                                     LineError* error) {
    auto line = std::make_unique<PollSerialLine>();
    if (!line->open(route.path, rate, error))
        return nullptr;
    return line;
}

std::unique_ptr<LoopLine> LinuxCliSystem::makeNet(const NetAddress& address, int rate,
                                                  LineError* error) {
    auto line = std::make_unique<PollNetLine>(address);
    if (!line->open(rate, error))
        return nullptr;
    return line;
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
