// MSComm1 over a port on another machine: the network line behind a COM
// name that names an address. It behaves as the serial port does: a lost
// connection closes quietly, the next open connects again, and the received
// bytes raise OnComm. The connect and the server's agreement take up to the
// line's timeout: with a window to come back to, they run in the background.
#include "core/line_comm_control.h"

#include <utility>

struct LineCommControl::Attempt {
    std::unique_ptr<CommLine> line;
    int rate = 0;
    bool ok = false;
    LineError error;
};

void LineCommControl::openNet(const std::string& device, int rate) {
    NetAddress address;
    std::string bad;
    if (!ParseNetAddress(device, &address, &bad)) {
        drop();
        throw CommError(bad);
    }
    // Closed and opened again in one go (the rate change does that): the
    // same connection goes on, at the new rate. A new connection could find
    // the server still holding the port for the old one.
    const std::string wanted = FormatNetAddress(address);
    if (closing_ && netDevice_ == wanted) {
        closing_ = false;
        if (connecting_) {
            wantedRate_ = rate;
            return;
        }
        try {
            setLineRate(rate);
        } catch (const CommError&) {
            drop();
            throw;
        }
        return;
    }
    drop();
    net_ = true;
    netDevice_ = wanted;
    connectNet(host_->makeNet(address), rate);
}

void LineCommControl::connectNet(std::unique_ptr<CommLine> line, int rate) {
    auto attempt = std::make_shared<Attempt>();
    attempt->line = std::move(line);
    attempt->rate = rate;
    wantedRate_ = rate;
    const bool background = host_->runInBackground(
        [attempt] { attempt->ok = attempt->line->connect(attempt->rate, &attempt->error); },
        [attempt, self = self_] {
            if (*self)
                (*self)->connected(attempt);
        });
    if (background) {
        connecting_ = std::move(attempt);
        return;
    }
    // No window to come back to: connected in place.
    LineError error;
    if (!attempt->line->connect(rate, &error)) {
        drop();
        throw CommError(error.reason); // the window's message names the address
    }
    line_ = std::move(attempt->line);
    lineRate_ = rate;
    watch();
}

void LineCommControl::connected(const std::shared_ptr<Attempt>& attempt) {
    if (attempt != connecting_)
        return; // given up meanwhile: the connection goes with the attempt
    connecting_.reset();
    if (!attempt->ok) {
        failNet(attempt->error.reason);
        return;
    }
    line_ = std::move(attempt->line);
    lineRate_ = attempt->rate;
    watch();
    if (closing_)
        return; // closed meanwhile, and dropped soon
    const std::string waiting = std::exchange(outbox_, {});
    try {
        setLineRate(wantedRate_);
        LineError error;
        if (!waiting.empty() && !line_->write(waiting, &error))
            throw CommError(error.reason);
    } catch (const CommError& e) {
        failNet(e.what());
    }
}

// The background connection failed: the port is closed, what waited for it
// dropped, and the window told once.
void LineCommControl::failNet(const std::string& reason) {
    drop();
    RaisePortFailure(reason);
}
