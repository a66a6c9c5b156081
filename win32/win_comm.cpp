#include "win32/win_comm.h"

#include "core/text_util.h"
#include "win32/win_text.h"

#include <vector>

namespace {
// Bytes kept for the handler at most; older ones beyond it are dropped, as a
// full receive buffer would.
constexpr size_t kReceiveBufferBytes = 64 * 1024;

// What the reader's overlapped operations write into. Left allocated when a
// cancelled operation does not finish in time (Wine's WaitCommEvent may
// never): the system could still write into it.
struct ReaderIo {
    OVERLAPPED ov{};
    std::vector<char> chunk = std::vector<char>(4096);
    bool abandoned = false;
};

// Waits for an overlapped operation or the stop event; false when stopped or
// failed. *bytes gets the count transferred.
bool Await(HANDLE file, ReaderIo* io, HANDLE stop, DWORD* bytes, bool* stopped) {
    const HANDLE handles[2] = {io->ov.hEvent, stop};
    const DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0) {
        *stopped = true;
        CancelIo(file);
        io->abandoned = WaitForSingleObject(io->ov.hEvent, 500) != WAIT_OBJECT_0;
        return false;
    }
    return GetOverlappedResult(file, &io->ov, bytes, FALSE) != 0;
}
} // namespace

WinCommControl::~WinCommControl() {
    Close();
}

std::wstring WinCommControl::DevicePath(int n) {
    return L"\\\\.\\COM" + std::to_wstring(n);
}

bool WinCommControl::Configure(DWORD baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb))
        return false;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (SetCommState(handle_, &dcb))
        return true;
    // A line without modem control lines (a pseudo-terminal) refuses DTR and RTS.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    return SetCommState(handle_, &dcb) != 0;
}

void WinCommControl::SetSettings(const std::string& settings) {
    int32_t baud = 0;
    if (!ParseCommSettings(settings, &baud))
        throw CommError("settings not understood: " + settings);
    if (PortOpen() && !Configure(DWORD(baud)))
        throw CommError("the port refused " + settings);
    settings_ = settings;
}

bool WinCommControl::PortOpen() const {
    return handle_ != INVALID_HANDLE_VALUE && !lost_;
}

void WinCommControl::SetPortOpen(bool open) {
    if (!open || lost_) {
        Close();
        if (!open)
            return;
    }
    if (handle_ != INVALID_HANDLE_VALUE)
        return;
    int32_t baud = 9600;
    ParseCommSettings(settings_, &baud);
    handle_ = CreateFileW(DevicePath(port_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        throw CommError("cannot open COM" + std::to_string(port_));
    // Reads return what is there at once: the reader waits with WaitCommEvent.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetupComm(handle_, 4096, 4096);
    if (!Configure(DWORD(baud)) || !SetCommTimeouts(handle_, &timeouts) ||
        !SetCommMask(handle_, EV_RXCHAR)) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        throw CommError("cannot set up COM" + std::to_string(port_));
    }
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    lost_ = false;
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reader_ = std::thread([this] { Reader(); });
}

void WinCommControl::Close() {
    if (reader_.joinable()) {
        SetEvent(stop_);
        reader_.join();
    }
    if (stop_) {
        CloseHandle(stop_);
        stop_ = nullptr;
    }
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    lost_ = false;
    std::lock_guard lock(mutex_);
    received_.clear();
}

void WinCommControl::Reader() {
    auto* io = new ReaderIo;
    OVERLAPPED& ov = io->ov;
    std::vector<char>& chunk = io->chunk;
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool stopped = false;
    while (!stopped && !lost_) {
        // Wait for a byte. Wine's WaitCommEvent often returns, or fails, with
        // nothing waiting: the read below decides, and the loop waits again.
        DWORD mask = 0, got = 0;
        ResetEvent(ov.hEvent);
        bool waited = WaitCommEvent(handle_, &mask, &ov) != 0;
        if (!waited && GetLastError() == ERROR_IO_PENDING)
            waited = Await(handle_, io, stop_, &got, &stopped);
        if (stopped)
            break;
        bool any = false;
        for (;;) {
            ResetEvent(ov.hEvent);
            DWORD n = 0;
            if (!ReadFile(handle_, chunk.data(), DWORD(chunk.size()), &n, &ov)) {
                if (GetLastError() != ERROR_IO_PENDING || !Await(handle_, io, stop_, &n, &stopped)) {
                    if (!stopped)
                        lost_ = true; // the device has gone: the next send finds the port closed
                    break;
                }
            }
            if (n == 0)
                break;
            any = true;
            {
                std::lock_guard lock(mutex_);
                received_.append(chunk.data(), n);
                if (received_.size() > kReceiveBufferBytes)
                    received_.erase(0, received_.size() - kReceiveBufferBytes);
            }
            // At once: the next read may wait for the chip's next byte.
            if (!posted_.exchange(true))
                PostMessageW(window_, kDataMessage, 0, 0);
        }
        // A wait that failed and found nothing: no busy loop.
        if (!waited && !any && !stopped && !lost_)
            stopped = WaitForSingleObject(stop_, 10) == WAIT_OBJECT_0;
    }
    if (!io->abandoned) {
        CloseHandle(ov.hEvent);
        delete io;
    }
}

void WinCommControl::Output(std::string_view bytes) {
    if (!PortOpen())
        throw CommError("port closed");
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    BOOL ok = WriteFile(handle_, bytes.data(), DWORD(bytes.size()), &written, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(handle_, &ov, &written, TRUE);
    CloseHandle(ov.hEvent);
    if (!ok || written != bytes.size()) {
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
    wchar_t target[512];
    const std::wstring name = L"COM" + std::to_wstring(n);
    if (!QueryDosDeviceW(name.c_str(), target, 512))
        return {};
    return Utf8FromUtf16(U16(target));
}
