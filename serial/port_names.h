// Which device stands behind port n (COM1..COM20).
//
// On Linux a link com<n> in the ports folder names the device (a link that
// points nowhere still names the port; its open then fails). Without a link,
// port n is the n-th serial port the system reports: USB adapters first, then
// ttyACM, then the others, each in numeric order.
#pragma once

#include <QString>
#include <QStringList>

// $XDG_CONFIG_HOME/vxt4710/ports, by default ~/.config/vxt4710/ports.
QString DefaultPortsFolder();

// Orders device paths: ttyUSB*, then ttyACM*, then the rest, numerically.
QStringList SortSystemPorts(QStringList devices);

// The system's serial ports, sorted as above.
QStringList SystemSerialPorts();

// The device for port n, or an empty string when there is none. The system's
// list is asked for only when no link names the port.
QString ResolvePortDevice(int n, const QString& portsFolder);
QString ResolvePortDevice(int n, const QString& portsFolder, const QStringList& systemPorts);
