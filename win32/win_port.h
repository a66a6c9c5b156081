// A serial port over the Windows communications API, shared by the window's
// serial control and the command-line program: \\.\COMn opened overlapped,
// 8 data bits, no parity, 1 stop bit through SetCommState, reads that return
// at once, and a reader thread that waits with overlapped WaitCommEvent and
// ReadFile and hands each piece read to its caller.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <windows.h>

class WinPort {
  public:
    enum class OpenResult { Ok, NoDevice, Refused };

    WinPort() = default;
    WinPort(const WinPort&) = delete;
    WinPort& operator=(const WinPort&) = delete;
    ~WinPort();

    // Opens path at baud. Bytes waiting from before belong to nobody and are
    // dropped. NoDevice: CreateFileW failed; Refused: the settings were
    // refused. *error (may be null) gets the system's reason.
    OpenResult Open(const std::wstring& path, DWORD baud, DWORD* error = nullptr);
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Changes the rate of the open port.
    bool SetBaud(DWORD baud);
    // Writes all of bytes and waits until the driver has taken them.
    bool Write(std::string_view bytes, DWORD* error = nullptr);
    // The bytes still queued for the line, -1 when that cannot be told.
    long QueuedForLine() const;
    // Stops the reader and closes.
    void Close();

    // Starts the reader. received gets each piece read; lost is called once,
    // with the system's error code, when a read fails (the device has gone)
    // and the reader ends. Both run on the reader's thread.
    void StartReader(std::function<void(std::string_view bytes)> received,
                     std::function<void(DWORD error)> lost);
    // Ends the reader and waits for it.
    void StopReader();

    // The name CreateFileW opens for port n.
    static std::wstring DevicePath(int n);
    // What the system's name COMn stands for (UTF-8), empty when nothing.
    static std::string DosDeviceOf(int n);
    // The system's text for an error code (UTF-8), without its line break.
    static std::string ErrorText(DWORD error);
    // Why an open failed, as a user reads it: a port another program holds
    // (access denied, sharing violation) says so, with the system's text.
    static std::string OpenFailureText(DWORD error);
    // Why an open port was lost: the device is gone, with the system's text.
    static std::string LostText(DWORD error);

  private:
    bool Configure(DWORD baud);
    void Reader();

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE stop_ = nullptr; // set to end the reader
    std::thread reader_;
    std::function<void(std::string_view)> received_;
    std::function<void(DWORD)> lost_;
};
