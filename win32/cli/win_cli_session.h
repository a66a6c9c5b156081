// vxt4710-cli.exe's serial line for the loop (platform/line_loop.h): the
// platform's serial port, whose reader thread tells of its bytes through an
// event the loop waits on.
#pragma once

#include "platform/line_loop.h"
#include "platform/serial_port.h"

#include <string>
#include <windows.h>

class WinSessionLine : public LoopLine {
  public:
    // path: what CreateFileW opens; name: the port in messages ("COM3").
    WinSessionLine(std::wstring path, std::string name);
    ~WinSessionLine() override;

    bool open(int rate, LineError* error);
    bool write(std::string_view bytes, LineError* error) override;
    bool reopen(int rate, LineError* error) override;
    void drain(int timeoutMs) override;
    void close() override;
    std::string device() const override { return name_; }

    Waitable waitable() const override { return {-1, event_}; }
    std::string take(bool* lost, LineError* error) override;

  private:
    std::wstring path_;
    std::string name_;
    SerialPort port_;
    HANDLE event_; // auto-reset
};
