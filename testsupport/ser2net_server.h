// Debian's port server for tests, serving a bare pseudo-terminal on the
// loopback: the test plays the chip at the pseudo-terminal's other end.
// Each server writes its own configuration (one telnet-with-COM-PORT
// accepter, one raw TCP accepter) into a folder of its own and is stopped by
// the destructor. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// The chip's end of a pseudo-terminal: raw, non-blocking.
class PtyEnd {
  public:
    PtyEnd();
    ~PtyEnd();
    PtyEnd(const PtyEnd&) = delete;
    PtyEnd& operator=(const PtyEnd&) = delete;

    bool ok() const { return fd_ >= 0; }
    // The device the server opens: "/dev/pts/N".
    const std::string& device() const { return device_; }
    bool write(const std::string& bytes);
    // Reads until count bytes came or timeoutMs passed; returns what came.
    std::string read(size_t count, int timeoutMs);
    // The line's rate as the server set it (the termios of the device), 0 when
    // unknown.
    int speed() const;
    // The termios c_cflag of the device.
    unsigned cflag() const;

  private:
    int fd_ = -1;
    std::string device_;
};

// A port on 127.0.0.1 that nothing listens on right now.
uint16_t FreeLoopbackPort();

class Ser2net {
  public:
    // Serves device at 9600n81 on two free ports; waits (up to 5 s) until
    // it listens on both. option: one more line of each connection's
    // options ("chardelay: false"), or none.
    explicit Ser2net(const std::string& device, const std::string& option = {});
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    bool started() const { return started_; }
    // Why it did not start, with what the server printed.
    std::string problem() const;
    uint16_t rfc2217Port() const { return rfc2217Port_; }
    uint16_t rawPort() const { return rawPort_; }
    // Ends the server and waits for it.
    void stop();
    // Starts it again after a stop, on the same ports; waits (up to 5 s)
    // until it listens.
    void start();
    // Whether the server has the device open (it does while a client is
    // connected, and a little after).
    bool holds(const std::string& device) const;

  private:
    std::string folder_;
    pid_t pid_ = -1;
    uint16_t rfc2217Port_ = 0;
    uint16_t rawPort_ = 0;
    bool started_ = false;
};
