#include "win32/win_comm.h"

#include "core/text_util.h"
#include "win32/win_port.h"
#include "win32/win_port_binding.h"

#include <thread>
#include <utility>

namespace {
// Bytes kept for the handler at most; older ones beyond it are dropped, as a
// full receive buffer would.
constexpr size_t kReceiveBufferBytes = 64 * 1024;
} // namespace

WinCommControl::WinCommControl() : portsFolder_(WinPortsFolder()) {
    // On the reader's thread: the bytes wait in the port until Deliver().
    line_.setNotify([this] {
        if (!posted_.exchange(true))
            PostMessageW(window_, kDataMessage, 0, 0);
    });
}

WinCommControl::~WinCommControl() {
    Close();
}

void WinCommControl::SetWindow(HWND window) {
    window_ = window;
    if (net_)
        net_->notifyWindow(window, kDataMessage);
}

void WinCommControl::SetSettings(const std::string& settings) {
    int32_t baud = 0;
    if (!ParseCommSettings(settings, &baud))
        throw CommError("settings not understood: " + settings);
    int32_t current = kDefaultLineRate;
    ParseCommSettings(settings_, &current);
    if (baud != current) {
        // Over raw TCP the remote port keeps the rate its server gave it,
        // open or not: the chip would be lost at another one.
        if (!RateChangeable(port_))
            throw CommError(kRawRateRefusal);
    }
    if (PortOpen() && connecting_) {
        wantedBaud_ = baud; // asked for once the connection is through
    } else if (PortOpen()) {
        LineError error;
        if (net_ && net_->rateSettable() && !net_->setRate(baud, &error))
            throw CommError(error.reason);
        if (!net_ && !line_.setRate(baud, nullptr))
            throw CommError("the port refused " + settings);
    }
    settings_ = settings;
}

bool WinCommControl::RateChangeable(int n) const {
    const PortBinding binding = ReadPortBinding(portsFolder_, n);
    NetAddress address;
    std::string bad;
    return !(binding.kind == PortBinding::Kind::Bound &&
             ParseNetAddress(binding.address, &address, &bad) &&
             address.protocol == NetProtocol::Raw);
}

bool WinCommControl::PortOpen() const {
    return (connecting_ || (net_ ? net_->isOpen() : line_.isOpen())) && !lost_ && !line_.lost();
}

void WinCommControl::SetPortOpen(bool open) {
    if (!open || lost_ || line_.lost()) {
        Close();
        if (!open)
            return;
    }
    if (line_.isOpen() || net_ || connecting_)
        return;
    int32_t baud = kDefaultLineRate;
    ParseCommSettings(settings_, &baud);
    const PortBinding binding = ReadPortBinding(portsFolder_, port_);
    if (binding.kind == PortBinding::Kind::Bad)
        throw CommError(binding.error);
    if (binding.kind == PortBinding::Kind::Bound) {
        OpenNetwork(binding.address, baud);
        return;
    }
    lost_ = false;
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    switch (line_.open("COM" + std::to_string(port_), baud, nullptr)) {
    case SerialPort::OpenResult::Ok:
        break;
    case SerialPort::OpenResult::NoDevice:
        throw CommError("cannot open COM" + std::to_string(port_));
    case SerialPort::OpenResult::Refused:
        throw CommError("cannot set up COM" + std::to_string(port_));
    }
}

void WinCommControl::OpenNetwork(const std::string& text, int32_t baud) {
    NetAddress address;
    std::string bad;
    if (!ParseNetAddress(text, &address, &bad))
        throw CommError(bad);
    auto net = std::make_unique<WinNetLine>(address);
    lost_ = false;
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    if (window_) {
        // The connect and the server's agreement take up to the line's
        // timeout: the window goes on meanwhile.
        ConnectNetwork(std::move(net), baud);
        return;
    }
    LineError error;
    if (!net->open(baud, &error))
        throw CommError(error.reason); // the window's message names the address
    net_ = std::move(net);
}

void WinCommControl::ConnectNetwork(std::unique_ptr<WinNetLine> line, int32_t baud) {
    auto attempt = std::make_shared<NetAttempt>();
    attempt->line = std::move(line);
    attempt->rate = baud;
    connecting_ = attempt;
    wantedBaud_ = baud;
    outbox_.clear();
    const HWND window = window_;
    // Given up meanwhile (closed), the attempt goes with the thread's last
    // reference; the line needs no particular thread to go.
    std::thread([attempt, window] {
        attempt->ok = attempt->line->open(attempt->rate, &attempt->error);
        attempt->done = true;
        PostMessageW(window, kDataMessage, 0, 0);
    }).detach();
}

void WinCommControl::ConnectionDone() {
    const std::shared_ptr<NetAttempt> attempt = std::exchange(connecting_, {});
    std::string waiting = std::exchange(outbox_, {});
    if (!attempt->ok) {
        RaisePortFailure(attempt->error.reason); // the message names the address
        return;
    }
    net_ = std::move(attempt->line);
    net_->notifyWindow(window_, kDataMessage);
    LineError error;
    const bool ok = (wantedBaud_ == attempt->rate || !net_->rateSettable() ||
                     net_->setRate(wantedBaud_, &error)) &&
                    (waiting.empty() || net_->write(waiting, &error));
    if (!ok) {
        net_.reset();
        RaisePortFailure(error.reason);
    }
}

void WinCommControl::TakeFromNetwork() {
    bool lost = false;
    LineError error;
    const std::string bytes = net_->take(&lost, &error);
    if (!bytes.empty())
        Received(bytes);
    if (lost)
        lost_ = true; // the next send finds the port closed
}

void WinCommControl::TakeFromPort() {
    std::string bytes;
    const bool alive = line_.read(&bytes, nullptr);
    if (!bytes.empty())
        Received(bytes);
    if (!alive)
        lost_ = true; // the next send finds the port closed
}

void WinCommControl::Close() {
    line_.close();
    net_.reset();
    connecting_.reset(); // its thread finishes alone
    outbox_.clear();
    lost_ = false;
    std::lock_guard lock(mutex_);
    received_.clear();
}

void WinCommControl::Received(std::string_view bytes) {
    if (lost_)
        return;
    std::lock_guard lock(mutex_);
    received_.append(bytes);
    if (received_.size() > kReceiveBufferBytes)
        received_.erase(0, received_.size() - kReceiveBufferBytes);
}

void WinCommControl::Output(std::string_view bytes) {
    if (!PortOpen())
        throw CommError("port closed");
    if (connecting_) { // goes out once the connection is through
        outbox_.append(bytes);
        return;
    }
    if (net_) {
        LineError error;
        if (!net_->write(bytes, &error)) {
            lost_ = true;
            throw CommError(error.reason);
        }
        return;
    }
    if (!line_.write(bytes, nullptr)) {
        lost_ = true;
        throw CommError("write failed on COM" + std::to_string(port_));
    }
}

std::string WinCommControl::Input() {
    readInside_ = true;
    std::lock_guard lock(mutex_);
    const size_t limit = inBufferSize_ > 0 ? size_t(inBufferSize_) : received_.size();
    std::string bytes = received_.substr(0, limit);
    received_.erase(0, bytes.size());
    return bytes;
}

void WinCommControl::Deliver() {
    posted_ = false;
    if (connecting_ && connecting_->done)
        ConnectionDone();
    if (net_)
        TakeFromNetwork();
    else if (line_.isOpen())
        TakeFromPort();
    if (delivering_) {
        // Run by a nested message loop (a message box the handler shows):
        // the handler gets its turn again once it has returned.
        deliverAgain_ = true;
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (received_.empty())
            return;
    }
    delivering_ = true;
    deliverAgain_ = false;
    readInside_ = false;
    RaiseOnComm();
    delivering_ = false;
    // Bytes left behind get a notification of their own, after the window's
    // other messages had their turn. A handler that read nothing leaves
    // them waiting for the next arrival.
    if (!readInside_ && !deliverAgain_)
        return;
    std::lock_guard lock(mutex_);
    if (!received_.empty() && PortOpen() && !posted_.exchange(true))
        PostMessageW(window_, kDataMessage, 0, 0);
}

std::string WinCommControl::DeviceFor(int n) const {
    const PortBinding binding = ReadPortBinding(portsFolder_, n);
    if (binding.kind == PortBinding::Kind::Bound)
        return binding.address;
    return WinPort::DosDeviceOf(n);
}
