// MSComm1 in the browser: the core's serial control on the ports granted to
// the page through Web Serial (serial.js, as Module.serial). COM<n> is the
// n-th port granted; network ports are not offered (a page opens no raw
// sockets). Opening a port is asynchronous in the browser: the line takes
// writes at once and sends them when the port is open; a port that then
// fails to open is lost, and told as a connection failed in the background.
#pragma once

#include "core/comm_line.h"
#include "core/line_comm_control.h"

#include <functional>
#include <memory>
#include <string>

class WebCommControl : public LineCommControl {
  public:
    WebCommControl();
    ~WebCommControl() override;
    // The port of line id failed to open: reason the browser's words.
    void OpenFailed(const std::string& reason) { RaisePortFailure(reason); }
    // While the window starts, a port not granted yet opens as a line lost
    // at once: the page says nothing before the user could grant one, and
    // the first send meets the missing port.
    static void SetStartingUp(bool startingUp);
};

// What the page calls (exported from main.cpp): bytes or the loss wait on
// line id; the call posted as id is due.
void WebLineReady(int id);
void WebRunPosted(int id);
