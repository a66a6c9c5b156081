// Which device stands behind port n (COM1..COM20), for the Qt side: QString
// faces on the Qt-free resolution (serial/port_resolution.h, whose rules are
// core/port_names.h), and the system's own list of serial ports.
//
// Without a link or file com<n> in the ports folder, port n is the n-th
// serial port the system reports: USB adapters first, then ttyACM, then the
// others, each in numeric order.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// n for a name COM<n> (any case, leading zeros allowed) with n from 1 to 20;
// -1 for such a name outside that range, 0 for any other name.
int ComNumberOf(const QString& name);

// $XDG_CONFIG_HOME/vxt4710/ports, by default ~/.config/vxt4710/ports.
QString DefaultPortsFolder();

// Orders device paths: ttyUSB*, then ttyACM*, then the rest, numerically.
QStringList SortSystemPorts(QStringList devices);

// The system's serial ports, sorted as above.
QStringList SystemSerialPorts();

// How port n came to its device.
struct PortResolution {
    enum class Source {
        None,      // no link, and the system has fewer ports
        Link,      // the link com<n>
        StaleLink, // a link left by a simulated chip that has ended: no device
        System,    // the n-th of the system's ports
        Net,       // the link com<n> to a network address: device is the address
        BadFile,   // a plain file com<n> (the Windows way) that holds no address
    };
    Source source = Source::None;
    QString device;      // empty for None and StaleLink
    QString target;      // StaleLink: where the link points
    long ownerPid = 0;   // StaleLink: the simulated chip that made it
    int systemCount = 0; // System: how many ports the system has
    QString failure;     // BadFile: its path and what is wrong with it
};
// systemPorts is called only when no link names the port.
PortResolution ResolvePort(int n, const QString& portsFolder,
                           const std::function<QStringList()>& systemPorts);

// The device for port n, or an empty string when there is none. The system's
// list is asked for only when no link names the port.
QString ResolvePortDevice(int n, const QString& portsFolder);
QString ResolvePortDevice(int n, const QString& portsFolder, const QStringList& systemPorts);
