// A connection to a port server: telnet with the COM-PORT option
// (rfc2217://, the remote port's rate set by the server and confirmed before
// a frame goes) or raw TCP (socket://, bytes only: its rate is the server's
// to choose). It reads only when asked; the front end's event loop says when
// the socket has something, and the rate changes wait for the server in
// place, as the session expects of a reopen.
#pragma once

#include "core/net_address.h"
#include "core/session_io.h"
#include "core/telnet_client.h"
#include "platform/tcp_socket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class NetLink {
  public:
    // How long a connect, a write or the server's confirmation may take.
    static constexpr int kTimeoutMs = 5000;
    // What pending() keeps at most: a server that floods while nobody takes
    // (before the agreement, during a rate change) must not grow the
    // program. Later bytes are dropped and counted.
    static constexpr size_t kMaxPending = 64 * 1024;
    // One read turn of a front end: this many bytes or this long, whichever
    // comes first, so that its timers and messages run between turns.
    static constexpr size_t kTurnBytes = 64 * 1024;
    static constexpr int kTurnMs = 20;
    // The most one read of the socket brings (platform/*/tcp_socket.cpp).
    static constexpr size_t kReadBytes = 4096;
    // A turn's data fits in pending() once the last turn's was taken.
    static_assert(kTurnBytes <= kMaxPending);

    explicit NetLink(NetAddress address, int timeoutMs = kTimeoutMs);

    // Connects and, over rfc2217://, sets the remote port to rate, 8 data
    // bits, no parity, one stop bit and waits until the server confirmed
    // it. What the remote port had read before is dropped.
    bool open(int rate, LineError* error);
    // Data with each 0xFF doubled over rfc2217://.
    bool write(std::string_view bytes, LineError* error);
    // Over rfc2217:// asks the server for the rate and waits for its
    // confirmation; socket:// cannot change the rate and says so. Data that
    // comes meanwhile waits in pending().
    bool setRate(int rate, LineError* error);
    // Reads what is there (waiting at most waitMs), parses it and answers
    // the server; the data joins pending(). *got: the bytes read, 0 when
    // nothing was there.
    bool readOnce(int waitMs, LineError* error, size_t* got = nullptr);
    // Reads without waiting until nothing is there or the turn's bound is
    // reached. *more: stopped at the bound, so bytes may still wait; *got:
    // the bytes read, telnet commands included.
    bool readTurn(LineError* error, bool* more, size_t* got);
    // Why the server is given up (a negotiation it never finished), or "".
    std::string failure() const;
    void close();

    bool isOpen() const { return connection_.isOpen(); }
    bool telnet() const { return address_.protocol == NetProtocol::Rfc2217; }
    // The socket, for the front end's readiness notification.
    intptr_t handle() const { return connection_.handle(); }
    std::string device() const { return FormatNetAddress(address_); }
    const std::string& pending() const { return pending_; }
    std::string takePending() { return std::exchange(pending_, {}); }
    // Bytes dropped because pending() was full, since the link was made.
    uint64_t droppedBytes() const { return dropped_; }

  private:
    void keep(std::string_view data);
    bool setRemote(const std::vector<std::pair<ComPortCommand, uint32_t>>& settings,
                   LineError* error);

    NetAddress address_;
    int timeoutMs_;
    tcp::Connection connection_;
    TelnetClient client_;
    std::string pending_;
    uint64_t dropped_ = 0;
};
