#include "cli/poll_net_line.h"

namespace {
// How often a telnet server's unanswered negotiation is looked at.
constexpr int kDeadlineLookMs = 200;
} // namespace

bool PollNetLine::open(int rate, LineError* error) {
    link_.close();
    failed_ = false;
    return link_.open(rate, error);
}

Waitable PollNetLine::waitable() const {
    return {link_.isOpen() ? static_cast<int>(link_.handle()) : -1, nullptr};
}

std::string PollNetLine::take(bool* lost, LineError* error) {
    if (failed_)
        return {};
    if (link_.isOpen() && !link_.readOnce(0, error)) {
        failed_ = *lost = true;
        link_.close();
        return {};
    }
    if (expired(error)) {
        *lost = true;
        return {};
    }
    return link_.takePending();
}

int PollNetLine::wakeWithinMs() const {
    if (failed_)
        return -1;
    return link_.telnet() && link_.isOpen() ? kDeadlineLookMs : -1;
}

bool PollNetLine::expired(LineError* error) {
    if (failed_)
        return false;
    const std::string why = link_.failure();
    if (why.empty())
        return false;
    failed_ = true;
    link_.close();
    *error = LineError{why};
    return true;
}
