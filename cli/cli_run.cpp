#include "cli/cli_run.h"

#include "cli/chip_line.h"
#include "cli/session.h"
#include "cli/text_input.h"
#include "core/net_address.h"
#include "qt/qt_text.h"
#include "serial/net_line.h"
#include "serial/port_names.h"

#include <cstdio>

namespace {

std::string Utf8(const QString& text) {
    return ToStdBytes(text.toUtf8());
}

} // namespace

LinuxCliSystem::LinuxCliSystem() : out_(stdout), err_(stderr) {}

LinuxCliSystem::~LinuxCliSystem() = default;

std::string LinuxCliSystem::version() const {
    return VXT4710_VERSION;
}

std::string LinuxCliSystem::helpPortsFolder() {
    return Utf8(DefaultPortsFolder());
}

ListedPort LinuxCliSystem::listPort(int n) {
    const PortResolution r = ResolvePort(n, DefaultPortsFolder(), [this] {
        if (!systemPorts_) {
            systemPorts_.emplace();
            for (const QString& device : SystemSerialPorts())
                systemPorts_->push_back(Utf8(device));
        }
        QStringList list;
        for (const std::string& device : *systemPorts_)
            list.append(QString::fromStdString(device));
        return list;
    });
    ListedPort port;
    port.device = Utf8(r.device);
    if (r.source == PortResolution::Source::BadFile)
        port.bindingError = Utf8(r.failure);
    if (r.source == PortResolution::Source::StaleLink)
        port.staleLink = Utf8(r.target);
    return port;
}

std::optional<std::string> LinuxCliSystem::readText(const std::string& path, std::string* reason) {
    return ReadAllOf(path, reason);
}

PortRoute LinuxCliSystem::routePort(const std::string& port) {
    const PortChoice choice =
        ChoosePort(QString::fromStdString(port), DefaultPortsFolder(), SystemSerialPorts);
    PortRoute route;
    if (choice.device.isEmpty()) {
        route.failure = Utf8(choice.failure);
        route.serialHint = choice.serialHint;
        return route;
    }
    const std::string device = Utf8(choice.device);
    if (LooksLikeNetAddress(device)) {
        route.address = device;
        return route;
    }
    route.device = route.path = device;
    route.notice = Utf8(choice.notice);
    return route;
}

bool LinuxCliSystem::openSerial(const PortRoute& route, int rate, LineError* error) {
    chip_ = std::make_unique<ChipLine>();
    LineFailure failure;
    if (chip_->open(QString::fromStdString(route.path), rate, &failure))
        return true;
    *error = LineErrorOf(failure);
    return false;
}

bool LinuxCliSystem::openNet(const NetAddress& address, int rate, LineError* error) {
    net_ = std::make_unique<NetLine>(address);
    return net_->open(rate, error);
}

int LinuxCliSystem::runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                               const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    if (net_)
        return RunSession(std::move(frames), *net_, report, clock, timeoutMs, std::move(complain));
    return RunSession(std::move(frames), *chip_, report, clock, timeoutMs, std::move(complain));
}
