#include "testsupport/pty_peer.h"
#include "sim/pseudo_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer() {
    std::string device;
    master_ = chipsim::OpenPseudoTerminal(O_NONBLOCK, &device);
    if (master_ < 0)
        return;
    device_ = QString::fromLocal8Bit(device.c_str());
    // Keep one slave descriptor open in raw mode, so that the line neither
    // echoes nor hangs up while the console has its port closed.
    slaveKeeper_ = ::open(device_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveKeeper_ >= 0) {
        termios tio{};
        tcgetattr(slaveKeeper_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slaveKeeper_, TCSANOW, &tio);
    }
}

PtyPeer::~PtyPeer() {
    close();
}

void PtyPeer::close() {
    if (slaveKeeper_ >= 0)
        ::close(slaveKeeper_);
    slaveKeeper_ = -1;
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

QByteArray PtyPeer::read(int timeoutMs, int quietMs) {
    QByteArray out;
    if (master_ < 0)
        return out;
    QElapsedTimer total, quiet;
    total.start();
    quiet.start();
    char buf[4096];
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, int(n));
            quiet.restart();
            continue;
        }
        if (out.isEmpty() ? total.elapsed() > timeoutMs : quiet.elapsed() > quietMs)
            break;
        QThread::usleep(500);
    }
    return out;
}

QByteArray PtyPeer::readAtLeast(int n, int timeoutMs) {
    QByteArray out;
    QElapsedTimer t;
    t.start();
    char buf[4096];
    while (out.size() < n && t.elapsed() < timeoutMs && master_ >= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        const ssize_t got = ::read(master_, buf, sizeof buf);
        if (got > 0)
            out.append(buf, int(got));
        else
            QThread::usleep(500);
    }
    return out;
}

void PtyPeer::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (errno == EAGAIN)
            QThread::usleep(200);
        else
            break;
    }
}

qsizetype PtyPeer::writeSome(const QByteArray& bytes) {
    if (master_ < 0)
        return 0;
    const ssize_t n = ::write(master_, bytes.constData(), size_t(bytes.size()));
    return n > 0 ? n : 0;
}

int PtyPeer::baudRate() const {
    if (master_ < 0)
        return 0;
    termios tio{};
    // On Linux the master reports the line settings of its slave side.
    if (tcgetattr(master_, &tio) != 0)
        return 0;
    return chipsim::RateOf(cfgetospeed(&tio));
}

QString LineSettingsOn(int fd) {
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0)
        return {};
    const int bits = (tio.c_cflag & CSIZE) == CS8 ? 8 : (tio.c_cflag & CSIZE) == CS7 ? 7 : 0;
    QString settings = QStringLiteral("%1 %2%3%4")
                           .arg(chipsim::RateOf(cfgetospeed(&tio)))
                           .arg(bits)
                           .arg(tio.c_cflag & PARENB ? (tio.c_cflag & PARODD ? 'O' : 'E') : 'N')
                           .arg(tio.c_cflag & CSTOPB ? 2 : 1);
    if (tio.c_cflag & CRTSCTS)
        settings += QStringLiteral(" rtscts");
    if (tio.c_iflag & (IXON | IXOFF))
        settings += QStringLiteral(" xonxoff");
    return settings;
}

PortsFolder::PortsFolder() = default;

void PortsFolder::link(int n, const QString& target) {
    unlink(n);
    QFile::link(target, dir_.path() + QStringLiteral("/com%1").arg(n));
}

QString PortsFolder::linkAdapter(int n, const QString& device) {
    const QString adapter = adapters_.path() + QStringLiteral("/ttyUSB%1").arg(n - 1);
    QFile::remove(adapter);
    QFile::link(device, adapter);
    link(n, adapter);
    return adapter;
}

void PortsFolder::unlink(int n) {
    QFile::remove(dir_.path() + QStringLiteral("/com%1").arg(n));
}

void PumpEvents(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
}
