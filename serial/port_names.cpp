#include "serial/port_names.h"

#include "core/cli_options.h"
#include "core/net_address.h"
#include "core/port_binding_text.h"
#include "core/text_util.h"

#include "platform/system_ports.h"
#include "serial/link_owner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

int ComNumberOf(const QString& name) {
    const std::string utf8 = name.toStdString();
    return ComNumberOf(std::string_view(utf8));
}

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

#ifndef Q_OS_WIN
// A file com<n> where a link is expected: an address, or why it is none.
static PortResolution FromPlainFile(const QString& path) {
    PortResolution r;
    QFile file(path);
    std::string why;
    std::string address;
    if (!file.open(QIODevice::ReadOnly)) {
        why = "cannot be read: " + file.errorString().toStdString();
    } else {
        const QByteArray content = file.read(kMaxBindingBytes + 1);
        if (content.size() > static_cast<qsizetype>(kMaxBindingBytes))
            why = "it is longer than an address can be";
        else if (!ParsePortBinding(content.toStdString(), &address, &why))
            why += " (a serial device is named by a link: ln -s /dev/ttyUSB0 " +
                   QFileInfo(path).fileName().toStdString() + ")";
    }
    if (why.empty()) {
        r.source = PortResolution::Source::Net;
        r.device = QString::fromStdString(address);
        return r;
    }
    r.source = PortResolution::Source::BadFile;
    r.failure = path + QStringLiteral(": ") + QString::fromStdString(why);
    return r;
}
#endif

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
    PortResolution r;
#ifdef Q_OS_WIN
    Q_UNUSED(portsFolder);
    Q_UNUSED(systemPorts);
    r.source = PortResolution::Source::System;
    r.device = QStringLiteral("COM%1").arg(n);
    return r;
#else
    const QString path = portsFolder + QStringLiteral("/com%1").arg(n);
    const QFileInfo link(path);
    if (link.isSymLink()) {
        const auto target = portlink::ReadLink(QFile::encodeName(path).toStdString());
        // A link to an address points nowhere by nature: it is no link a
        // simulated chip left behind.
        if (target && LooksLikeNetAddress(*target)) {
            r.source = PortResolution::Source::Net;
            // Bytes that are no text show as \xNN (and make no address).
            r.device = QString::fromStdString(ShownEscaped(*target));
            return r;
        }
        const auto owner = portlink::HolderOf(QFile::encodeName(portsFolder).toStdString(), n,
                                              target.value_or(std::string()));
        if (owner.holder == portlink::Holder::Gone) {
            r.source = PortResolution::Source::StaleLink;
            r.target = QFile::decodeName(QByteArray::fromStdString(*target));
            r.ownerPid = owner.pid;
            return r;
        }
        // The device itself, also through a chain of links (udev's by-id
        // names), so that one device has one name and one lock; a link that
        // points nowhere still names the port.
        r.source = PortResolution::Source::Link;
        r.device = link.canonicalFilePath();
        if (r.device.isEmpty())
            r.device = link.symLinkTarget();
        return r;
    }
    if (link.exists() && !link.isDir())
        return FromPlainFile(path);
    if (n < 1)
        return r;
    const QStringList system = systemPorts();
    if (n <= system.size()) {
        r.source = PortResolution::Source::System;
        r.device = system.at(n - 1);
        r.systemCount = static_cast<int>(system.size());
    }
    return r;
#endif
}

QString ResolvePortDevice(int n, const QString& portsFolder, const QStringList& systemPorts) {
    return ResolvePort(n, portsFolder, [&systemPorts] { return systemPorts; }).device;
}

QString ResolvePortDevice(int n, const QString& portsFolder) {
    return ResolvePort(n, portsFolder, SystemSerialPorts).device;
}
