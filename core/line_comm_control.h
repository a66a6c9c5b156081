// MSComm1 itself, alike on every system: the settings and the rate change,
// the ports and what they stand for, the receive buffer and when OnComm
// runs, ports on other machines and the loss of a port. It stands on a line
// and the window's services (core/comm_line.h); each front end only hangs
// them on its event loop.
#pragma once

#include "core/comm_control.h"
#include "core/comm_line.h"
#include "core/line_rates.h"

#include <memory>
#include <string>

// The one text of a port that could not be opened.
std::string CannotOpenText(int port, const std::string& reason);

class LineCommControl : public CommControl {
  public:
    // At most this much waits unread for the handler (while replies are not
    // interpreted, nothing reads them); beyond it the oldest bytes give way,
    // so a babbling peer costs no memory and newer replies still get through.
    static constexpr std::size_t kReceiveBufferBytes = 4096;

    explicit LineCommControl(std::unique_ptr<CommHost> host);
    ~LineCommControl() override;
    LineCommControl(const LineCommControl&) = delete;
    LineCommControl& operator=(const LineCommControl&) = delete;

    void SetCommPort(int16_t port) override { commPort_ = port; }
    int16_t CommPort() const override { return commPort_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    void SetInBufferSize(int16_t bytes) override { inBufferSize_ = bytes; }
    int16_t InBufferSize() const override { return inBufferSize_; }
    // False as soon as the line is lost.
    bool PortOpen() const override;
    void SetPortOpen(bool open) override;
    bool Connecting(int n) const override;
    void Output(std::string_view bytes) override;
    std::string Input() override;
    int16_t CommEvent() const override { return CommEvents::Receive; }
    std::string DeviceFor(int n) const override;
    std::vector<std::string> Devices(int count) const override;
    // False for a socket:// port: its rate is the server's.
    bool RateChangeable(int n) const override;

    // Takes what the line has and runs OnComm for the bytes waiting: the
    // lines' ready call, on the window's thread.
    void Deliver();

  protected:
    CommHost& host() { return *host_; }
    const CommHost& host() const { return *host_; }

  private:
    struct Attempt;
    ports::PortResolution resolve(int n, bool askSystem) const;
    void openSerial(const std::string& device, int rate);
    void openNet(const std::string& device, int rate);
    void connectNet(std::unique_ptr<CommLine> line, int rate);
    void connected(const std::shared_ptr<Attempt>& attempt);
    void failNet(const std::string& reason);
    void setLineRate(int rate);
    void watch();
    void closeSoon();
    void finishClose();
    void drop();
    void lose();
    void deliver();
    void received(const std::string& bytes);
    // Runs call on the window's thread later, unless the control is gone.
    bool later(void (LineCommControl::*call)());

    std::unique_ptr<CommHost> host_;
    int16_t commPort_ = 1;
    std::string settings_ = kLineRates.front().settings;
    int16_t inBufferSize_ = 1024;

    std::unique_ptr<CommLine> line_; // the open port, serial or network
    bool net_ = false;               // line_ is a network line
    std::string netDevice_;          // its address, as its connection was asked for
    int lineRate_ = 0;               // the rate the line is at
    bool lost_ = false;              // the line is lost: closed, the next open starts anew
    bool closing_ = false;           // a network port closed: dropped once the event is done
    // Connecting on a thread of its own; line_ once it is through.
    std::shared_ptr<Attempt> connecting_;
    int wantedRate_ = 0; // asked for while connecting
    std::string outbox_; // sent while connecting

    std::string in_;            // received, not read yet
    bool delivering_ = false;   // inside OnComm
    bool deliverAgain_ = false; // data arrived while inside OnComm
    bool queued_ = false;       // a delivery is posted
    bool readInside_ = false;   // the handler called Input()
    // Checked by what is posted to the window's thread: null once the
    // control is gone.
    std::shared_ptr<LineCommControl*> self_ = std::make_shared<LineCommControl*>(this);
};
