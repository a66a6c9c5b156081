// vxt4710-cli.exe's line to a port on another machine: the network line as
// the loop sees it, its socket's event in the same wait as the timer's.
#pragma once

#include "win32/cli/win_cli_session.h"
#include "win32/win_net_line.h"

class WinNetSessionLine : public LoopLine {
  public:
    explicit WinNetSessionLine(NetAddress address, int timeoutMs = WinNetLine::kTimeoutMs)
        : net_(std::move(address), timeoutMs) {}

    bool open(int rate, LineError* error) { return net_.open(rate, error); }
    bool write(std::string_view bytes, LineError* error) override {
        return net_.write(bytes, error);
    }
    // The chip has changed its rate: the remote port follows, confirmed.
    bool reopen(int rate, LineError* error) override { return net_.setRate(rate, error); }
    // What was written is with the system already: a close sends it on.
    void drain(int) override {}
    void close() override { net_.close(); }
    std::string device() const override { return net_.device(); }

    Waitable waitable() const override { return {-1, net_.event()}; }
    std::string take(bool* lost, LineError* error) override { return net_.take(lost, error); }

  private:
    WinNetLine net_;
};
