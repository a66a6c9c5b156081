// The line to a chip on another machine: a port server reached over TCP,
// either as telnet with the COM-PORT option (rfc2217://, the remote port's
// rate set by the server and confirmed before a frame goes) or as raw TCP
// (socket://, bytes only: its rate is the server's to choose). Readiness
// comes from Qt's event loop; the rate changes wait for the server in
// place, as the session expects of a reopen.
#pragma once

#include "core/net_address.h"
#include "core/session_io.h"
#include "net/net_link.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

class NetLine : public QObject, public SessionLine {
    Q_OBJECT
  public:
    static constexpr int kTimeoutMs = NetLink::kTimeoutMs;

    // timeoutMs: for a connect, a write and each of the server's answers.
    explicit NetLine(NetAddress address, QObject* parent = nullptr, int timeoutMs = kTimeoutMs);
    ~NetLine() override;

    // Connects and, over rfc2217://, sets the remote port to rate, 8 data
    // bits, no parity, one stop bit and waits until the server confirmed it.
    // What the remote port had read before is dropped.
    bool open(int rate, LineError* error);
    // open() in two halves, for an open off the window's thread: dial()
    // touches only the connection and may run on another thread (nothing
    // else may use the line meanwhile); watch() then starts the reading, on
    // the line's own thread.
    bool dial(int rate, LineError* error);
    void watch();

    bool write(std::string_view bytes, LineError* error) override;
    // Over rfc2217:// asks the server for the rate and waits for its
    // confirmation; socket:// cannot change the rate and says so.
    bool reopen(int rate, LineError* error) override;
    // What was written is with the system already: a close sends it on.
    void drain(int) override {}
    void close() override;
    std::string device() const override { return link_.device(); }

  signals:
    void received(const QByteArray& bytes);
    // The connection failed or the server stopped making sense; once.
    void failed(const LineError& error);

  private:
    void onReadable();
    void deliver();
    void fail(const LineError& error);

    NetLink link_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer deadlines_; // the telnet client's deadlines, checked now and then
    bool failed_ = false;
};
