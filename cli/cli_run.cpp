#include "cli/cli_run.h"

#include "cli/poll_monitor.h"
#include "cli/poll_net_line.h"
#include "cli/poll_serial_line.h"
#include "cli/posix_ports.h"
#include "cli/text_input.h"
#include "platform/files.h"
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
