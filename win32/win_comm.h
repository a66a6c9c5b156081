// MSComm1 on Windows: the core's control (core/line_comm_control.h) hung on
// the window's messages. The platform's serial port (platform/serial_port.h)
// has its reader thread post kDataMessage when bytes arrive, and a COM name
// bound to a port on another machine (win32/win_port_binding.h) opens the
// network line (win32/win_net_line.h), whose socket posts the same message;
// its arrival runs Deliver(), so that OnComm runs on the window's thread.
#pragma once

#include "core/line_comm_control.h"

#include <string>
#include <windows.h>

class WinCommHost;

class WinCommControl : public LineCommControl {
  public:
    // Posted to the window when bytes or calls are waiting; its handler
    // calls Deliver().
    static constexpr UINT kDataMessage = WM_APP + 1;

    WinCommControl();
    // The window that gets kDataMessage. Without one a network port
    // connects in place.
    void SetWindow(HWND window);
    // Where COM names are bound to addresses (by default
    // %APPDATA%\vxt4710\ports).
    void SetPortsFolder(std::wstring folder);

    // Runs what was posted to the window's thread, then OnComm for the bytes
    // waiting.
    void Deliver();

  private:
    WinCommHost& host_;
};
