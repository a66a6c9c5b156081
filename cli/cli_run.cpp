#include "cli/cli_run.h"

#include "cli/poll_net_line.h"
#include "cli/poll_serial_line.h"
#include "cli/posix_ports.h"
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
