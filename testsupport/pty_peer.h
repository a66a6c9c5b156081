// The far end of a real serial line for tests: a pseudo-terminal whose slave
// side the console opens as its port, and a ports folder whose com<n> links
// point at it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class PtyPeer {
  public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    QString devicePath() const { return device_; }

    // Reads what the console wrote, waiting up to timeoutMs for the first
    // byte and then until the line has been quiet for quietMs. Processes Qt
    // events meanwhile, so the console's event loop keeps running.
    QByteArray read(int timeoutMs = 1000, int quietMs = 50);
    // Reads until at least n bytes have arrived or timeoutMs passed.
    QByteArray readAtLeast(int n, int timeoutMs = 2000);
    void write(const QByteArray& bytes);
    // One write that never waits: what the line took (0 when it is full).
    qsizetype writeSome(const QByteArray& bytes);
    // The line rate the console set on its side, in bit/s (0 when unknown).
    int baudRate() const;
    // Closes the master side: to the console the device is gone.
    void close();

  private:
    int master_ = -1;
    int slaveKeeper_ = -1;
    QString device_;
};

// The line settings termios shows on descriptor fd, as "9600 8N1", with
// " rtscts" or " xonxoff" after for flow control; empty when unknown.
QString LineSettingsOn(int fd);

// A ports folder (what $XDG_CONFIG_HOME/vxt4710/ports is for the console).
class PortsFolder {
  public:
    PortsFolder();
    QString path() const { return dir_.path(); }
    // Ties COM<n> to target (which need not exist).
    void link(int n, const QString& target);
    void unlink(int n);
    // Ties COM<n> to device through an adapter name (like udev's ttyUSB
    // names) that goes away with the adapter: remove the returned path to
    // pull it out, link it again to plug one back in. A closed
    // pseudo-terminal's number may soon belong to somebody else's line, so a
    // port must never reach it through a stale link.
    QString linkAdapter(int n, const QString& device);

  private:
    QTemporaryDir dir_;
    QTemporaryDir adapters_;
};

// Lets Qt run for ms milliseconds.
void PumpEvents(int ms);
// Runs Qt events until pred() holds or timeoutMs passed; returns pred().
template <class Pred> bool WaitUntil(Pred pred, int timeoutMs = 2000);

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
template <class Pred> bool WaitUntil(Pred pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}
