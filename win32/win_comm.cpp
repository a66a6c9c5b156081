#include "win32/win_comm.h"

#include "core/text_util.h"

namespace {
// Bytes kept for the handler at most; older ones beyond it are dropped, as a
// full receive buffer would.
constexpr size_t kReceiveBufferBytes = 64 * 1024;
} // namespace

WinCommControl::~WinCommControl() {
    Close();
}

void WinCommControl::SetSettings(const std::string& settings) {
    int32_t baud = 0;
    if (!ParseCommSettings(settings, &baud))
        throw CommError("settings not understood: " + settings);
    if (PortOpen() && !line_.SetBaud(DWORD(baud)))
        throw CommError("the port refused " + settings);
    settings_ = settings;
}

bool WinCommControl::PortOpen() const {
    return line_.IsOpen() && !lost_;
}

void WinCommControl::SetPortOpen(bool open) {
    if (!open || lost_) {
        Close();
        if (!open)
            return;
    }
    if (line_.IsOpen())
        return;
    int32_t baud = 9600;
    ParseCommSettings(settings_, &baud);
    switch (line_.Open(DevicePath(port_), DWORD(baud))) {
    case WinPort::OpenResult::Ok:
        break;
    case WinPort::OpenResult::NoDevice:
        throw CommError("cannot open COM" + std::to_string(port_));
    case WinPort::OpenResult::Refused:
        throw CommError("cannot set up COM" + std::to_string(port_));
    }
    lost_ = false;
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    line_.StartReader([this](std::string_view bytes) { Received(bytes); },
                      [this](DWORD) { lost_ = true; }); // the next send finds the port closed
}

void WinCommControl::Close() {
    line_.Close();
    lost_ = false;
    std::lock_guard lock(mutex_);
    received_.clear();
}

void WinCommControl::Received(std::string_view bytes) {
    if (lost_)
        return;
    {
        std::lock_guard lock(mutex_);
        received_.append(bytes);
        if (received_.size() > kReceiveBufferBytes)
            received_.erase(0, received_.size() - kReceiveBufferBytes);
    }
    if (!posted_.exchange(true))
        PostMessageW(window_, kDataMessage, 0, 0);
}

void WinCommControl::Output(std::string_view bytes) {
    if (!PortOpen())
        throw CommError("port closed");
    if (!line_.Write(bytes)) {
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
    return WinPort::DosDeviceOf(n);
}
