#include "win32/win_port.h"

#include "core/text_util.h"
#include "win32/win_text.h"

#include <vector>

namespace {

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

void SetError(DWORD* error) {
    if (error)
        *error = GetLastError();
}

} // namespace

WinPort::~WinPort() {
    Close();
}

std::wstring WinPort::DevicePath(int n) {
    return L"\\\\.\\COM" + std::to_wstring(n);
}

std::string WinPort::DosDeviceOf(int n) {
    wchar_t target[512];
    const std::wstring name = L"COM" + std::to_wstring(n);
    if (!QueryDosDeviceW(name.c_str(), target, 512))
        return {};
    return Utf8FromUtf16(U16(target));
}

std::string WinPort::ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string message = n && text ? U16(std::wstring_view(text, n)) : std::u16string();
    if (text)
        LocalFree(text);
    while (!message.empty() &&
           (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' '))
        message.pop_back();
    if (message.empty())
        return "system error " + std::to_string(error);
    return Utf8FromUtf16(message);
}

std::string WinPort::OpenFailureText(DWORD error) {
    // A serial port opens for one program at a time.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return "the port is held by another program (" + ErrorText(error) + ")";
    return ErrorText(error);
}

std::string WinPort::LostText(DWORD error) {
    if (error == 0)
        return "the device is gone";
    return "the device is gone (" + ErrorText(error) + ")";
}

bool WinPort::Configure(DWORD baud) {
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

bool WinPort::SetBaud(DWORD baud) {
    return IsOpen() && Configure(baud);
}

WinPort::OpenResult WinPort::Open(const std::wstring& path, DWORD baud, DWORD* error) {
    Close();
    handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        SetError(error);
        return OpenResult::NoDevice;
    }
    // Reads return what is there at once: the reader waits with WaitCommEvent.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetupComm(handle_, 4096, 4096);
    if (!Configure(baud) || !SetCommTimeouts(handle_, &timeouts) ||
        !SetCommMask(handle_, EV_RXCHAR)) {
        SetError(error);
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return OpenResult::Refused;
    }
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return OpenResult::Ok;
}

void WinPort::Close() {
    StopReader();
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

bool WinPort::Write(std::string_view bytes, DWORD* error) {
    if (!IsOpen()) {
        if (error)
            *error = ERROR_INVALID_HANDLE;
        return false;
    }
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    BOOL ok = WriteFile(handle_, bytes.data(), DWORD(bytes.size()), &written, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(handle_, &ov, &written, TRUE);
    if (!ok)
        SetError(error);
    else if (written != bytes.size() && error)
        *error = ERROR_WRITE_FAULT;
    CloseHandle(ov.hEvent);
    return ok && written == bytes.size();
}

long WinPort::QueuedForLine() const {
    COMSTAT status{};
    DWORD errors = 0;
    if (!IsOpen() || !ClearCommError(handle_, &errors, &status))
        return -1;
    return long(status.cbOutQue);
}

void WinPort::StartReader(std::function<void(std::string_view bytes)> received,
                          std::function<void(DWORD error)> lost) {
    StopReader();
    received_ = std::move(received);
    lost_ = std::move(lost);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reader_ = std::thread([this] { Reader(); });
}

void WinPort::StopReader() {
    if (reader_.joinable()) {
        SetEvent(stop_);
        reader_.join();
    }
    if (stop_) {
        CloseHandle(stop_);
        stop_ = nullptr;
    }
}

void WinPort::Reader() {
    auto* io = new ReaderIo;
    OVERLAPPED& ov = io->ov;
    std::vector<char>& chunk = io->chunk;
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool stopped = false, lost = false;
    DWORD error = 0;
    while (!stopped && !lost) {
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
                if (GetLastError() != ERROR_IO_PENDING ||
                    !Await(handle_, io, stop_, &n, &stopped)) {
                    error = GetLastError();
                    lost = !stopped; // the device has gone
                    break;
                }
            }
            if (n == 0)
                break;
            any = true;
            // At once: the next read may wait for the chip's next byte.
            received_(std::string_view(chunk.data(), n));
        }
        // A wait that failed and found nothing: no busy loop.
        if (!waited && !any && !stopped && !lost)
            stopped = WaitForSingleObject(stop_, 10) == WAIT_OBJECT_0;
    }
    if (lost)
        lost_(error);
    if (!io->abandoned) {
        CloseHandle(ov.hEvent);
        delete io;
    }
}
