// A pseudo-terminal for the benchmarks: the far end of the console's line,
// tied to COM1 through a ports folder of its own.
#pragma once

#include "serial/serial_comm_control.h"
#include "qt/form1.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class BenchPty {
  public:
    BenchPty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        device = QString::fromLocal8Bit(ptsname(master));
        keeper = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        tcgetattr(keeper, &tio);
        cfmakeraw(&tio);
        tcsetattr(keeper, TCSANOW, &tio);
        QFile::link(device, ports.path() + QStringLiteral("/com1"));
    }
    ~BenchPty() {
        if (keeper >= 0)
            ::close(keeper);
        if (master >= 0)
            ::close(master);
    }
    bool ok() const { return master >= 0 && keeper >= 0; }
    QString portsFolder() const { return ports.path(); }
    // Ties COM1 to target instead (a network address, for example).
    void relink(const QString& target) {
        QFile::remove(ports.path() + QStringLiteral("/com1"));
        QFile::link(target, ports.path() + QStringLiteral("/com1"));
    }

    int master = -1;
    int keeper = -1;
    QString device;

  private:
    QTemporaryDir ports;
};

inline long ResidentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// The console window with COM1 on the pseudo-terminal; a message box would
// stop the benchmark, so messages go to standard error instead.
inline std::unique_ptr<Form1Window> ConsoleOn(const BenchPty& pty) {
    Form1Deps deps;
    deps.comm = std::make_unique<SerialCommControl>(pty.portsFolder());
    deps.messageBox = [](const QString& text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    return std::make_unique<Form1Window>(std::move(deps));
}
