#include "core/line_comm_control.h"

#include <optional>
#include <utility>

namespace {

int RateOf(const std::string& settings) {
    int32_t rate = 0;
    if (!ParseCommSettings(settings, &rate))
        throw CommError("unsupported settings: " + settings);
    return rate;
}

std::string NoDeviceText(int port) {
    return "no device for COM" + std::to_string(port);
}

} // namespace

std::string CannotOpenText(int port, const std::string& reason) {
    std::string text = "cannot open COM" + std::to_string(port);
    if (!reason.empty())
        text += ": " + reason;
    return text;
}

LineCommControl::LineCommControl(std::unique_ptr<CommHost> host) : host_(std::move(host)) {}

LineCommControl::~LineCommControl() {
    *self_ = nullptr;
    connecting_.reset(); // its thread finishes alone and lets go of it
    if (line_)
        line_->close();
}

ports::PortResolution LineCommControl::resolve(int n, bool askSystem) const {
    const CommHost& h = *host_;
    ports::SystemPorts system;
    if (askSystem)
        system = [&h] { return h.systemPorts(); };
    return ports::ResolveEntry(
        n, h.portEntry(n), h.folderStyle(),
        [&h, n](const std::string& target) { return h.staleOwner(n, target); }, system);
}

namespace {
// What the user reads for port n: a file that binds nothing names no device.
std::string ShownDevice(const CommHost& host, int n, const ports::PortResolution& r) {
    if (!r.device.empty())
        return r.device;
    return r.source == ports::PortResolution::Source::None ? host.numberedPort(n).shown
                                                           : std::string();
}
} // namespace

std::string LineCommControl::DeviceFor(int n) const {
    return ShownDevice(*host_, n, resolve(n, true));
}

std::vector<std::string> LineCommControl::Devices(int count) const {
    // Asking the system for its ports takes a while: once for the whole list.
    const CommHost& h = *host_;
    std::optional<std::vector<std::string>> system;
    const ports::SystemPorts once = [&] {
        if (!system)
            system = h.systemPorts();
        return *system;
    };
    std::vector<std::string> devices;
    for (int n = 1; n <= count; ++n) {
        const auto r = ports::ResolveEntry(
            n, h.portEntry(n), h.folderStyle(),
            [&h, n](const std::string& target) { return h.staleOwner(n, target); }, once);
        devices.push_back(ShownDevice(h, n, r));
    }
    return devices;
}

bool LineCommControl::RateChangeable(int n) const {
    const ports::PortResolution r = resolve(n, false);
    NetAddress address;
    std::string bad;
    return !(r.source == ports::PortResolution::Source::Net &&
             ParseNetAddress(r.device, &address, &bad) && address.protocol == NetProtocol::Raw);
}

void LineCommControl::SetSettings(const std::string& settings) {
    // Settings that cannot be used are refused and leave the old ones, so
    // that the next open does not fail because of them.
    const int rate = RateOf(settings);
    int current = kDefaultLineRate;
    ParseCommSettings(settings_, &current);
    // Over raw TCP the remote port keeps the rate its server gave it, open
    // or not: the chip would be lost at another one.
    const bool raw = line_ && net_ ? !line_->rateSettable() : !RateChangeable(commPort_);
    if (rate != current && raw)
        throw CommError(kRawRateRefusal);
    if (PortOpen()) {
        if (connecting_)
            wantedRate_ = rate; // asked for once the connection is through
        else
            setLineRate(rate);
    }
    settings_ = settings;
}

void LineCommControl::setLineRate(int rate) {
    if (!line_ || rate == lineRate_ || !line_->rateSettable())
        return;
    // Over rfc2217:// waits for the server's confirmation: the next frame
    // goes at the new rate.
    LineError error;
    if (!line_->setRate(rate, &error))
        throw CommError(error.reason.empty() ? "the port refused " + std::to_string(rate) + " bit/s"
                                             : error.reason);
    lineRate_ = rate;
}

bool LineCommControl::PortOpen() const {
    return !closing_ && (connecting_ || (line_ && !lost_));
}

bool LineCommControl::Connecting(int n) const {
    return connecting_ && !closing_ && n == commPort_;
}

void LineCommControl::SetPortOpen(bool open) {
    if (!open) {
        closeSoon();
        return;
    }
    if (lost_)
        drop();
    if (PortOpen())
        return;
    const int rate = RateOf(settings_);
    const ports::PortResolution r = resolve(commPort_, true);
    std::string device = r.device;
    switch (r.source) {
    case ports::PortResolution::Source::Net:
        openNet(r.device, rate);
        return;
    case ports::PortResolution::Source::BadFile:
        drop();
        throw CommError(r.failure);
    case ports::PortResolution::Source::None:
        device = host_->numberedPort(commPort_).name;
        break;
    case ports::PortResolution::Source::Link:
    case ports::PortResolution::Source::System:
    case ports::PortResolution::Source::StaleLink:
        break;
    }
    if (device.empty()) {
        drop();
        throw CommError(NoDeviceText(commPort_));
    }
    openSerial(device, rate);
}

void LineCommControl::openSerial(const std::string& device, int rate) {
    drop(); // a connection of another port, closed a moment ago
    LineError error;
    std::unique_ptr<CommLine> line = host_->openSerial(device, rate, &error);
    if (!line)
        throw CommError(CannotOpenText(commPort_, error.reason));
    line_ = std::move(line);
    lineRate_ = rate;
    watch();
}

void LineCommControl::watch() {
    line_->watch([self = self_] {
        if (*self)
            (*self)->Deliver();
    });
}

void LineCommControl::closeSoon() {
    if (!delivering_ || !net_ || lost_ || !(line_ || connecting_)) {
        drop();
        return;
    }
    // A network port closed by the handler of OnComm is kept until the
    // event is done, for an open that follows at once (the reply's rate
    // change closes and opens again): a new connection could find the
    // server still holding the port for the old one.
    closing_ = true;
    if (!later(&LineCommControl::finishClose))
        drop();
}

void LineCommControl::finishClose() {
    if (closing_)
        drop();
}

void LineCommControl::drop() {
    closing_ = false;
    lost_ = false;
    net_ = false;
    netDevice_.clear();
    lineRate_ = 0;
    in_.clear();
    outbox_.clear();
    connecting_.reset(); // its thread finishes alone and lets go of it
    if (line_) {
        line_->close();
        line_.reset();
    }
}

// Like an adapter pulled out: closed quietly; the next open starts anew.
void LineCommControl::lose() {
    if (lost_)
        return;
    lost_ = true;
    if (line_)
        line_->close();
}

void LineCommControl::Output(std::string_view bytes) {
    if (!PortOpen())
        throw CommError("port closed");
    if (connecting_) { // goes out once the connection is through
        outbox_.append(bytes);
        return;
    }
    LineError error;
    if (!line_->write(bytes, &error)) {
        lose();
        throw CommError(error.reason.empty() ? "write failed on COM" + std::to_string(commPort_)
                                             : error.reason);
    }
}

std::string LineCommControl::Input() {
    readInside_ = true;
    const std::size_t limit =
        inBufferSize_ > 0 ? static_cast<std::size_t>(inBufferSize_) : kReceiveBufferBytes;
    std::string bytes = in_.substr(0, limit);
    in_.erase(0, bytes.size());
    return bytes;
}

void LineCommControl::Deliver() {
    if (line_ && !lost_) {
        std::string bytes;
        LineError error;
        const bool alive = line_->take(&bytes, &error);
        received(bytes);
        if (!alive)
            lose(); // the next send finds the port closed
    }
    deliver();
}

void LineCommControl::received(const std::string& bytes) {
    if (closing_ || bytes.empty())
        return;
    in_ += bytes;
    if (in_.size() > kReceiveBufferBytes)
        in_.erase(0, in_.size() - kReceiveBufferBytes);
}

void LineCommControl::deliver() {
    queued_ = false;
    if (delivering_) {
        // Run by a nested event loop (a message box the handler shows): the
        // handler gets its turn again once it has returned.
        deliverAgain_ = true;
        return;
    }
    if (in_.empty())
        return;
    delivering_ = true;
    deliverAgain_ = false;
    readInside_ = false;
    RaiseOnComm();
    delivering_ = false;
    // Bytes left behind (more than the receive buffer, or arrived meanwhile)
    // get a notification of their own, after other events had their turn.
    // A handler that read nothing leaves them waiting for the next arrival.
    if ((readInside_ || deliverAgain_) && !in_.empty() && !queued_)
        queued_ = later(&LineCommControl::deliver);
}

bool LineCommControl::later(void (LineCommControl::*call)()) {
    return host_->post([self = self_, call] {
        if (*self)
            ((*self)->*call)();
    });
}
