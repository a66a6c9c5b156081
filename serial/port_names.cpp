#include "serial/port_names.h"

#include "serial/port_resolution.h"

#include "platform/system_ports.h"

#include <QFile>
#include <algorithm>

int ComNumberOf(const QString& name) {
    const std::string utf8 = name.toStdString();
    return ComNumberOf(std::string_view(utf8));
}

QString DefaultPortsFolder() {
    return QFile::decodeName(QByteArray::fromStdString(ports::DefaultFolder()));
}


QStringList SortSystemPorts(QStringList devices) {
    std::vector<std::string> paths;
    for (const QString& device : devices)
        paths.push_back(QFile::encodeName(device).toStdString());
    QStringList sorted;
    for (const std::string& path : ports::SortSystemPorts(std::move(paths)))
        sorted << QFile::decodeName(QByteArray::fromStdString(path));
    return sorted;
}

QStringList SystemSerialPorts() {
    QStringList devices;
    for (const SystemPort& port : ListSystemPorts())
        devices << QFile::decodeName(QByteArray::fromStdString(port.name));
    return SortSystemPorts(devices);
}

PortResolution ResolvePort(int n, const QString& portsFolder,
                           const std::function<QStringList()>& systemPorts) {
    const ports::PortResolution found =
        ports::Resolve(n, QFile::encodeName(portsFolder).toStdString(), [&systemPorts] {
            std::vector<std::string> devices;
            if (systemPorts)
                for (const QString& device : systemPorts())
                    devices.push_back(QFile::encodeName(device).toStdString());
            return devices;
        });
    PortResolution r;
    r.source = static_cast<PortResolution::Source>(found.source);
    r.device = QFile::decodeName(QByteArray::fromStdString(found.device));
    r.target = QFile::decodeName(QByteArray::fromStdString(found.target));
    r.ownerPid = found.ownerPid;
    r.systemCount = found.systemCount;
    r.failure = QString::fromStdString(found.failure);
    return r;
}

QString ResolvePortDevice(int n, const QString& portsFolder, const QStringList& systemPorts) {
    return ResolvePort(n, portsFolder, [&systemPorts] { return systemPorts; }).device;
}

QString ResolvePortDevice(int n, const QString& portsFolder) {
    return ResolvePort(n, portsFolder, SystemSerialPorts).device;
}
