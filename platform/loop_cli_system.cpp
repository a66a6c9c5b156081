#include "platform/loop_cli_system.h"

#include "platform/files.h"

LoopCliSystem::~LoopCliSystem() = default;

std::optional<std::string> LoopCliSystem::readText(const std::string& path,
                                                  std::string* reason) {
    return files::ReadSpoken(path, reason);
}

std::unique_ptr<OutputSink> LoopCliSystem::createFile(const std::string& path, bool replace,
                                                      std::string* failure) {
    return files::CreateAppendFile(path, replace, failure);
}

bool LoopCliSystem::openSerial(const PortRoute& route, int rate, LineError* error) {
    line_ = makeSerial(route, rate, error);
    return line_ != nullptr;
}

bool LoopCliSystem::openNet(const NetAddress& address, int rate, LineError* error) {
    line_ = makeNet(address, rate, error);
    return line_ != nullptr;
}

int LoopCliSystem::runSession(std::vector<PlannedFrame> frames, TrafficReport& report,
                              const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    return RunLoopSession(std::move(frames), *line_, report, clock, timeoutMs, std::move(complain));
}

bool LoopCliSystem::openTap(TapSide side, const PortRoute& route, const NetAddress* address,
                            int rate, LineError* error) {
    // A session's line, only read: opening writes nothing.
    if (!(address ? openNet(*address, rate, error) : openSerial(route, rate, error)))
        return false;
    const int i = side == TapSide::Host ? 0 : 1;
    tapNames_[i] = address ? line_->device() : route.device;
    taps_[i] = std::move(line_);
    return true;
}

int LoopCliSystem::runMonitor(TapWatch& watch, WakeEvent* stop) {
    const SteadyClock clock;
    return RunLoopMonitor(watch, {taps_[0].get(), tapNames_[0]}, {taps_[1].get(), tapNames_[1]},
                          clock, stop);
}
