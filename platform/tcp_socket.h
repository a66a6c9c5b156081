// A TCP connection to a port server, for the ports that stand on another
// machine. One implementation per platform: POSIX sockets in
// platform/posix/, Winsock in platform/windows/. Non-blocking inside: every
// call waits at most the time it is given, so a loop can poll() handle() and
// read only what is there. Nagle's delay is off: a chip's frame is small and
// must not wait for more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tcp {

enum class Failure {
    None,
    NameNotFound,   // the host's name does not resolve
    Refused,        // nothing listens on that port
    TimedOut,       // no answer within the time given
    ClosedByServer, // the server ended or reset the connection
    Other,
};

struct Error {
    Failure failure = Failure::None;
    std::string reason; // the system's words (UTF-8)
};

// "name not found", "connection refused", "timed out", "closed by the
// server", "failed": the failure class in words, for messages.
const char* FailureText(Failure failure);

// The class and the reason together: "connection refused (Connection refused)".
std::string Describe(const Error& error);

// For tests: run on the lookup's thread before the system's resolver, so
// that a test can hold a lookup up. nullptr: none.
using LookupHook = void (*)(const std::string& host);
void SetLookupHook(LookupHook hook);

class Connection {
  public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Resolves host and connects to each of its addresses in turn, the
    // lookup and the connects within timeoutMs in all. A lookup that gets
    // no answer in time fails with TimedOut.
    bool connect(const std::string& host, uint16_t port, int timeoutMs, Error* error);

    // Waits at most timeoutMs (0: not at all) for bytes and appends those
    // that arrived to *bytes. True with nothing appended when none came; a
    // connection the server closed fails with ClosedByServer.
    bool read(std::string* bytes, int timeoutMs, Error* error);

    // Writes all of bytes, waiting at most timeoutMs for room in all.
    bool write(std::string_view bytes, int timeoutMs, Error* error);

    void close();
    bool isOpen() const;

    // The socket, for the caller's own readiness wait (a descriptor on
    // POSIX, a SOCKET on Windows); -1 when closed.
    intptr_t handle() const { return handle_; }

  private:
    intptr_t handle_ = -1;
};

} // namespace tcp
