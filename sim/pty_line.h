// The line to the console: a pseudo-terminal whose far side the console
// opens as its serial port. It can be pulled out and plugged in again.
#pragma once

#include <string>

namespace chipsim {

class PtyLine {
  public:
    ~PtyLine() { close(); }
    // A new pseudo-terminal at 9600 bit/s; false (with a message on
    // standard error) when none can be made.
    bool open();
    // The line goes away: to the console the device has vanished.
    void close();
    bool isOpen() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& device() const { return device_; }
    // The rate the console set on its side, in bit/s (0 when unknown).
    int rate() const;
    // A console that was killed leaves its side of the line marked
    // exclusive, and only root could open it again.
    void unlock();

  private:
    int master_ = -1;
    int keeper_ = -1; // our own descriptor of the console's side
    std::string device_;
};

} // namespace chipsim
