#include "cli/chip_line.h"

#include "serial/port_names.h"

#include <QFileInfo>

ChipLine::ChipLine(QObject* parent) : QObject(parent) {
    connect(&line_, &SerialLine::readyRead, this, [this] {
        const QByteArray bytes = line_.readAll();
        if (!bytes.isEmpty())
            emit received(bytes);
    });
    connect(&line_, &SerialLine::gone, this, &ChipLine::failed);
}

ChipLine::~ChipLine() {
    close();
}

PortChoice ChoosePort(const QString& name, const QString& portsFolder,
                      const std::function<QStringList()>& systemPorts) {
    PortChoice choice;
    const int n = ComNumberOf(name);
    if (n <= 0) {
        // Relative to where the user stands, not to /dev.
        choice.device = QFileInfo(name).absoluteFilePath();
        return choice;
    }
    const QString com = QStringLiteral("COM%1").arg(n);
    const PortResolution r = ResolvePort(n, portsFolder, systemPorts);
    choice.device = r.device;
    switch (r.source) {
    case PortResolution::Source::Link:
    case PortResolution::Source::Net: // the device is the address
        break;
    case PortResolution::Source::System:
        choice.notice = QStringLiteral("%1 stands for %2, the system's serial port %3 of %4 "
                                       "(there is no link com%3 in %5)")
                            .arg(com, r.device, QString::number(n), QString::number(r.systemCount),
                                 portsFolder);
        break;
    case PortResolution::Source::StaleLink:
        choice.failure =
            QStringLiteral("%1 stands for no device: its link com%2 -> %3 was left behind by a "
                           "simulated chip (pid %4) that has ended, and that terminal may belong "
                           "to another program now; start vxt4710-chipsim --as %1 again or "
                           "remove %5/com%2")
                .arg(com, QString::number(n), r.target, QString::number(r.ownerPid), portsFolder);
        break;
    case PortResolution::Source::BadFile:
        choice.failure = com + QStringLiteral(": ") + r.failure;
        choice.serialHint = false;
        break;
    case PortResolution::Source::None:
        choice.failure = QStringLiteral("%1 stands for no device (no link in %2, and the system "
                                        "has fewer serial ports)")
                             .arg(com, portsFolder);
        break;
    }
    return choice;
}

bool ChipLine::open(const QString& device, int rate, LineError* error) {
    rate_ = rate;
    return line_.open(device, rate, error, SerialLine::Waiting::Drop);
}

bool ChipLine::reopen(int rate, LineError* error) {
    return open(line_.device(), rate, error);
}

bool ChipLine::write(const QByteArray& bytes, LineError* error) {
    if (!line_.usable()) {
        error->reason = "the port is closed";
        return false;
    }
    return line_.write(bytes, error);
}

bool ChipLine::drain(int timeoutMs) {
    // The driver may still hold bytes for the line; closing must not change
    // the rate under them.
    return line_.drain(timeoutMs);
}

void ChipLine::close() {
    line_.close();
}
