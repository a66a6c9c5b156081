// The console's end of a simulated chip's line for tests of the simulator,
// opened with plain system calls like a serial port.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class LineClient {
  public:
    explicit LineClient(const QString& device) {
        fd_ = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0)
            setRate(B9600);
    }
    ~LineClient() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void setRate(speed_t speed) {
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    // Writes all of bytes unless the line stays full for timeoutMs.
    bool write(const QByteArray& bytes, int timeoutMs = 5000) {
        qsizetype done = 0;
        QElapsedTimer quiet;
        quiet.start();
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                quiet.restart();
            } else if (quiet.elapsed() > timeoutMs) {
                return false;
            } else {
                QThread::usleep(500);
            }
        }
        return true;
    }
    // Everything that arrives until the line has been quiet for quietMs (at
    // most timeoutMs for the first byte).
    QByteArray read(int timeoutMs = 3000, int quietMs = 100) {
        QByteArray out;
        QElapsedTimer total, quiet;
        total.start();
        quiet.start();
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                out.append(buf, int(n));
                quiet.restart();
            } else if (out.isEmpty() ? total.elapsed() > timeoutMs : quiet.elapsed() > quietMs) {
                return out;
            } else {
                QThread::usleep(500);
            }
        }
    }

  private:
    int fd_ = -1;
};
