// vxt4710-cli's serial line for the loop (platform/line_loop.h): the port
// (platform/serial_port.h), its descriptor the one the loop waits on.
#pragma once

#include "platform/line_loop.h"
#include "platform/serial_port.h"

class PollSerialLine : public LoopLine {
  public:
    // Opens device at rate; bytes that were waiting belong to nobody's frame
    // and are dropped.
    bool open(const std::string& device, int rate, LineError* error) {
        return port_.open(device, rate, error) == SerialPort::OpenResult::Ok;
    }
    bool write(std::string_view bytes, LineError* error) override {
        return port_.write(bytes, error);
    }
    // Closes and opens the same device again at rate.
    bool reopen(int rate, LineError* error) override { return open(port_.device(), rate, error); }
    void drain(int timeoutMs) override { port_.drain(timeoutMs); }
    void close() override { port_.close(); }
    std::string device() const override { return port_.device(); }

    Waitable waitable() const override { return {port_.handle(), nullptr}; }
    // A device that has gone is closed, so that its hang-up does not wake
    // the loop again.
    std::string take(bool* lost, LineError* error) override {
        std::string bytes;
        if (!port_.read(&bytes, error)) {
            *lost = true;
            port_.close();
        }
        return bytes;
    }

  private:
    SerialPort port_;
};
