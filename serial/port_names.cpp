#include "serial/port_names.h"

#include "serial/port_resolution.h"

#include "platform/system_ports.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

int ComNumberOf(const QString& name) {
    const std::string utf8 = name.toStdString();
    return ComNumberOf(std::string_view(utf8));
}

QString DefaultPortsFolder() {
    return QFile::decodeName(QByteArray::fromStdString(ports::DefaultFolder()));
}

namespace {
struct PortKey {
    int group;    // 0 ttyUSB, 1 ttyACM, 2 the others
    QString stem; // name without its trailing number
    long number;  // trailing number, -1 when none
    QString name;
};

PortKey KeyOf(const QString& device) {
    static const QRegularExpression trailing(QStringLiteral("^(.*?)(\\d+)$"));
    const QString name = QFileInfo(device).fileName();
    PortKey key{2, name, -1, device};
    if (name.startsWith(QLatin1String("ttyUSB")))
        key.group = 0;
    else if (name.startsWith(QLatin1String("ttyACM")))
        key.group = 1;
    const auto m = trailing.match(name);
    if (m.hasMatch()) {
        key.stem = m.captured(1);
        key.number = m.captured(2).left(9).toLong();
    }
    return key;
}
} // namespace

QStringList SortSystemPorts(QStringList devices) {
    std::stable_sort(devices.begin(), devices.end(), [](const QString& a, const QString& b) {
        const PortKey ka = KeyOf(a), kb = KeyOf(b);
        if (ka.group != kb.group)
            return ka.group < kb.group;
        if (ka.stem != kb.stem)
            return ka.stem < kb.stem;
        if (ka.number != kb.number)
            return ka.number < kb.number;
        return ka.name < kb.name;
    });
    return devices;
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
