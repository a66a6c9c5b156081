#include "win32/cli/win_cli_session.h"

#include "core/text_util.h"
#include "win32/win_text.h"

WinSessionLine::WinSessionLine(std::wstring path, std::string name)
    : path_(std::move(path)), name_(std::move(name)),
      event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    port_.setNotify([this] { SetEvent(event_); });
}

WinSessionLine::~WinSessionLine() {
    close();
    CloseHandle(event_);
}

bool WinSessionLine::open(int rate, LineError* error) {
    return port_.open(Utf8FromUtf16(U16(path_)), rate, error) == SerialPort::OpenResult::Ok;
}

bool WinSessionLine::write(std::string_view bytes, LineError* error) {
    return port_.write(bytes, error);
}

bool WinSessionLine::reopen(int rate, LineError* error) {
    port_.close();
    return open(rate, error);
}

void WinSessionLine::drain(int timeoutMs) {
    // Closing may reset the port under bytes the driver still holds.
    port_.drain(timeoutMs);
}

void WinSessionLine::close() {
    port_.close();
}

std::string WinSessionLine::take(bool* lost, LineError* error) {
    std::string bytes;
    *lost = !port_.read(&bytes, error); // told once
    return bytes;
}
