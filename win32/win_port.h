// Names and texts of the Windows serial ports, for the parts that name a
// port or tell why it failed. The port itself: platform/serial_port.h.
#pragma once

#include "platform/serial_port.h"

#include <string>
#include <windows.h>

struct WinPort {
    // The name CreateFileW opens for port n.
    static std::wstring DevicePath(int n) { return L"\\\\.\\COM" + std::to_wstring(n); }
    // What the system's name COMn stands for (UTF-8), empty when nothing.
    static std::string DosDeviceOf(int n) { return SerialDosDevice(n); }
    // The system's text for an error code (UTF-8), without its line break.
    static std::string ErrorText(DWORD error) { return SerialErrorText(error); }
    // Why an open failed, as a user reads it: a port another program holds
    // (access denied, sharing violation) says so, with the system's text.
    static std::string OpenFailureText(DWORD error) { return SerialOpenFailureText(error); }
    // Why an open port was lost: the device is gone, with the system's text.
    static std::string LostText(DWORD error) { return SerialLostText(error); }
};
