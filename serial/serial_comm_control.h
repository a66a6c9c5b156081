// MSComm1 on Linux: the core's control (core/line_comm_control.h) hung on
// Qt's event loop. The serial line (serial/serial_line.h) and the network
// line for a port whose link names an address (serial/net_line.h) tell of
// their bytes through socket notifiers; calls for later go through the
// event loop, and a network port connects on a thread of its own.
#pragma once

#include "core/line_comm_control.h"
#include "serial/serial_line.h"

#include <QString>

class SerialCommControl : public LineCommControl {
  public:
    // portsFolder: where the com<n> links are looked up.
    explicit SerialCommControl(QString portsFolder);

    QString PortsFolder() const { return portsFolder_; }
    // The serial line, for tests that look at the port itself.
    SerialLine& Line() { return *serial_; }
    const SerialLine& Line() const { return *serial_; }

  private:
    QString portsFolder_;
    SerialLine* serial_; // the host's
};
