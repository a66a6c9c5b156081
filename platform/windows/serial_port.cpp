// The serial port over the Windows communications API: \\.\COMn opened
// overlapped, the line set through SetCommState, reads that return at once,
// and a reader thread that waits with overlapped WaitCommEvent and ReadFile,
// keeps what it read for read() and calls the notification.
#include "platform/serial_port.h"

#include "platform/files.h"

#include "core/line_rates.h"
#include "platform/windows/wide_text.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

// At most this much waits for read(); older bytes beyond it give way, as a
// full receive buffer's would, so a babbling peer costs no memory.
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

// The one place rates meet the DCB: only the table's rates, as bit/s.
bool BaudOf(int rate, DWORD* baud) {
    if (RateIndexOf(rate) < 0)
        return false;
    *baud = DWORD(rate);
    return true;
}

void Set(LineError* error, std::string reason) {
    if (error)
        *error = LineError{std::move(reason)};
}

} // namespace

std::string SerialErrorText(unsigned long error) {
    return files::ErrorText(error);
}

std::string SerialOpenFailureText(unsigned long error) {
    // A serial port opens for one program at a time.
    const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    return SerialFailureText(held ? SerialFault::Held : SerialFault::Other, SerialErrorText(error),
                             false);
}

std::string SerialLostText(unsigned long error) {
    if (error == 0)
        return "the device is gone";
    return "the device is gone (" + SerialErrorText(error) + ")";
}

std::string SerialDosDevice(int n) {
    wchar_t target[512];
    const std::wstring name = L"COM" + std::to_wstring(n);
    if (!QueryDosDeviceW(name.c_str(), target, 512))
        return {};
    return wintext::Utf8(target);
}

struct SerialPort::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr; // set to end the reader
    std::thread reader;
    std::function<void()> notify;
    std::atomic<bool> lost{false};
    std::mutex mutex;
    std::string received;  // guarded by mutex
    bool lossTold = false; // guarded by mutex
    DWORD lostError = 0;   // guarded by mutex

    bool configure(DWORD baud);
    void startReader();
    void stopReader();
    void read();
    void take(std::string_view bytes) {
        {
            std::lock_guard lock(mutex);
            received.append(bytes);
            if (received.size() > kReceiveBufferBytes)
                received.erase(0, received.size() - kReceiveBufferBytes);
        }
        if (notify)
            notify();
    }
};

bool SerialPort::Impl::configure(DWORD baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
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
    if (SetCommState(handle, &dcb))
        return true;
    // A line without modem control lines (a pseudo-terminal) refuses DTR and RTS.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    return SetCommState(handle, &dcb) != 0;
}

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::setNotify(std::function<void()> notify) {
    impl_->notify = std::move(notify);
}

SerialPort::OpenResult SerialPort::open(const std::string& device, int rate, LineError* error,
                                        Waiting waiting) {
    close();
    device_ = device;
    const std::string path = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
    impl_->handle = CreateFileW(wintext::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (impl_->handle == INVALID_HANDLE_VALUE) {
        Set(error, SerialOpenFailureText(GetLastError()));
        return OpenResult::NoDevice;
    }
    // Reads return what is there at once: the reader waits with WaitCommEvent.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetupComm(impl_->handle, 4096, 4096);
    DWORD baud = 0;
    if (!BaudOf(rate, &baud))
        SetLastError(ERROR_INVALID_PARAMETER);
    if (!baud || !impl_->configure(baud) || !SetCommTimeouts(impl_->handle, &timeouts) ||
        !SetCommMask(impl_->handle, EV_RXCHAR)) {
        Set(error,
            "the port refused " + std::to_string(rate) +
                " bit/s, 8 data bits, no parity, 1 stop bit: " + SerialErrorText(GetLastError()));
        CloseHandle(impl_->handle);
        impl_->handle = INVALID_HANDLE_VALUE;
        return OpenResult::Refused;
    }
    PurgeComm(impl_->handle,
              waiting == Waiting::Drop ? PURGE_RXCLEAR | PURGE_TXCLEAR : PURGE_TXCLEAR);
    impl_->startReader();
    return OpenResult::Ok;
}

bool SerialPort::isOpen() const {
    return impl_->handle != INVALID_HANDLE_VALUE;
}

bool SerialPort::lost() const {
    return impl_->lost;
}

bool SerialPort::setRate(int rate, LineError* error) {
    DWORD baud = 0;
    if (!isOpen() || !BaudOf(rate, &baud) || !impl_->configure(baud)) {
        Set(error, isOpen() ? "the port refused " + std::to_string(rate) + " bit/s"
                            : "the port is closed");
        return false;
    }
    return true;
}

bool SerialPort::write(std::string_view bytes, LineError* error) {
    if (!isOpen()) {
        Set(error, "the port is closed");
        return false;
    }
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    BOOL ok = WriteFile(impl_->handle, bytes.data(), DWORD(bytes.size()), &written, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(impl_->handle, &ov, &written, TRUE);
    const DWORD code = !ok ? GetLastError() : written != bytes.size() ? ERROR_WRITE_FAULT : 0;
    CloseHandle(ov.hEvent);
    if (code)
        Set(error, SerialErrorText(code));
    return code == 0;
}

bool SerialPort::read(std::string* bytes, LineError* error) {
    std::lock_guard lock(impl_->mutex);
    bytes->append(impl_->received);
    impl_->received.clear();
    if (!impl_->lost || impl_->lossTold)
        return true;
    impl_->lossTold = true;
    Set(error, SerialLostText(impl_->lostError));
    return false;
}

long SerialPort::queuedForLine() const {
    COMSTAT status{};
    DWORD errors = 0;
    if (!isOpen() || !ClearCommError(impl_->handle, &errors, &status))
        return -1;
    return long(status.cbOutQue);
}

bool SerialPort::drain(int timeoutMs) {
    // Closing may reset the port under bytes the driver still holds.
    const ULONGLONG end = GetTickCount64() + ULONGLONG(timeoutMs > 0 ? timeoutMs : 0);
    long queued = 0;
    while ((queued = queuedForLine()) > 0 && GetTickCount64() < end)
        Sleep(2);
    return queued == 0;
}

void SerialPort::close() {
    impl_->stopReader();
    if (impl_->handle != INVALID_HANDLE_VALUE) {
        CloseHandle(impl_->handle);
        impl_->handle = INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(impl_->mutex);
    impl_->received.clear();
    impl_->lost = false;
    impl_->lossTold = false;
    impl_->lostError = 0;
}

void SerialPort::Impl::startReader() {
    stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reader = std::thread([this] { read(); });
}

void SerialPort::Impl::stopReader() {
    if (reader.joinable()) {
        SetEvent(stop);
        reader.join();
    }
    if (stop) {
        CloseHandle(stop);
        stop = nullptr;
    }
}

void SerialPort::Impl::read() {
    auto* io = new ReaderIo;
    OVERLAPPED& ov = io->ov;
    std::vector<char>& chunk = io->chunk;
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool stopped = false, gone = false;
    DWORD error = 0;
    while (!stopped && !gone) {
        // Wait for a byte. Wine's WaitCommEvent often returns, or fails, with
        // nothing waiting: the read below decides, and the loop waits again.
        DWORD mask = 0, got = 0;
        ResetEvent(ov.hEvent);
        bool waited = WaitCommEvent(handle, &mask, &ov) != 0;
        if (!waited && GetLastError() == ERROR_IO_PENDING)
            waited = Await(handle, io, stop, &got, &stopped);
        if (stopped)
            break;
        bool any = false;
        for (;;) {
            ResetEvent(ov.hEvent);
            DWORD n = 0;
            if (!ReadFile(handle, chunk.data(), DWORD(chunk.size()), &n, &ov)) {
                if (GetLastError() != ERROR_IO_PENDING || !Await(handle, io, stop, &n, &stopped)) {
                    error = GetLastError();
                    gone = !stopped; // the device has gone
                    break;
                }
            }
            if (n == 0)
                break;
            any = true;
            // At once: the next read may wait for the chip's next byte.
            take(std::string_view(chunk.data(), n));
        }
        // A wait that failed and found nothing: no busy loop.
        if (!waited && !any && !stopped && !gone)
            stopped = WaitForSingleObject(stop, 10) == WAIT_OBJECT_0;
    }
    if (gone) {
        {
            std::lock_guard lock(mutex);
            lostError = error;
            lost = true;
        }
        if (notify)
            notify();
    }
    if (!io->abandoned) {
        CloseHandle(ov.hEvent);
        delete io;
    }
}
