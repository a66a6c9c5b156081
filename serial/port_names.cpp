#include "serial/port_names.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStandardPaths>
#include <algorithm>

QString DefaultPortsFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/vxt4710/ports");
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
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
    return SortSystemPorts(devices);
}

QString ResolvePortDevice(int n, const QString& portsFolder, const QStringList& systemPorts) {
#ifdef Q_OS_WIN
    Q_UNUSED(portsFolder);
    Q_UNUSED(systemPorts);
    return QStringLiteral("COM%1").arg(n);
#else
    const QFileInfo link(portsFolder + QStringLiteral("/com%1").arg(n));
    if (link.isSymLink()) {
        // The device itself, also through a chain of links (udev's by-id
        // names), so that one device has one name and one lock; a link that
        // points nowhere still names the port.
        const QString device = link.canonicalFilePath();
        return device.isEmpty() ? link.symLinkTarget() : device;
    }
    if (n >= 1 && n <= systemPorts.size())
        return systemPorts.at(n - 1);
    return QString();
#endif
}

QString ResolvePortDevice(int n, const QString& portsFolder) {
#ifndef Q_OS_WIN
    if (QFileInfo(portsFolder + QStringLiteral("/com%1").arg(n)).isSymLink())
        return ResolvePortDevice(n, portsFolder, {});
#endif
    return ResolvePortDevice(n, portsFolder, SystemSerialPorts());
}
