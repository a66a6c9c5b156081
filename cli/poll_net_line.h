// vxt4710-cli's line to a port on another machine for the poll() loop: the
// network link (net/net_link.h), its socket the descriptor the loop
// (platform/line_loop.h) waits on.
#pragma once

#include "net/net_link.h"
#include "platform/line_loop.h"

class PollNetLine : public LoopLine {
  public:
    explicit PollNetLine(NetAddress address, int timeoutMs = NetLink::kTimeoutMs)
        : link_(std::move(address), timeoutMs) {}

    // Connects and, over rfc2217://, sets the remote port to rate and waits
    // for the server's confirmation.
    bool open(int rate, LineError* error);
    bool write(std::string_view bytes, LineError* error) override {
        return link_.write(bytes, error);
    }
    // The chip has changed its rate: the remote port follows, confirmed.
    // Data that came meanwhile waits for the next turn of the loop.
    bool reopen(int rate, LineError* error) override { return link_.setRate(rate, error); }
    // What was written is with the system already: a close sends it on.
    void drain(int) override {}
    void close() override { link_.close(); }
    std::string device() const override { return link_.device(); }

    Waitable waitable() const override;
    std::string take(bool* lost, LineError* error) override;
    bool holding() const override { return !failed_ && !link_.pending().empty(); }
    int wakeWithinMs() const override;
    bool expired(LineError* error) override;

  private:
    NetLink link_;
    bool failed_ = false; // told once; the next open connects again
};
