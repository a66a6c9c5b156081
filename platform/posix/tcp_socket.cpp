#include "platform/tcp_socket.h"

#include "platform/name_lookup.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tcp {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool Fail(Error* error, Failure failure, std::string reason) {
    if (error)
        *error = {failure, std::move(reason)};
    return false;
}

Failure ClassOf(int err) {
    switch (err) {
    case ECONNREFUSED:
        return Failure::Refused;
    case ETIMEDOUT:
        return Failure::TimedOut;
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
    case ESHUTDOWN:
        return Failure::ClosedByServer;
    default:
        return Failure::Other;
    }
}

bool FailErrno(Error* error, int err) {
    return Fail(error, ClassOf(err), std::strerror(err));
}

// Waits for events on fd; 0 when the time ran out, -1 with errno on failure.
// A signal does not shorten the wait.
int Wait(int fd, short events, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, timeoutMs);
        if (n >= 0 || errno != EINTR)
            return n;
        timeoutMs = MsLeft(deadline);
    }
}

// One address: the connected socket, or -1 with *err set.
int ConnectOne(const addrinfo* ai, Clock::time_point deadline, int* err) {
    const int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            *err = errno;
            ::close(fd);
            return -1;
        }
        const int n = Wait(fd, POLLOUT, MsLeft(deadline));
        int soError = 0;
        socklen_t len = sizeof soError;
        if (n == 0)
            soError = ETIMEDOUT;
        else if (n < 0)
            soError = errno;
        else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
            soError = errno;
        if (soError != 0) {
            *err = soError;
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

} // namespace

Connection::~Connection() {
    close();
}

bool Connection::isOpen() const {
    return handle_ >= 0;
}

void Connection::close() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
    handle_ = -1;
}

bool Connection::connect(const std::string& host, uint16_t port, int timeoutMs, Error* error) {
    close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    const std::string service = std::to_string(port);
    Lookup found;
    if (!LookUpWithin(host, service, hints, deadline, &found))
        return Fail(error, Failure::TimedOut, "the name lookup got no answer in time");
    const int rc = found.rc;
    addrinfo* const list = found.list;
    if (rc != 0) {
        const bool notFound = rc == EAI_NONAME || rc == EAI_AGAIN || rc == EAI_FAIL
#ifdef EAI_NODATA
                              || rc == EAI_NODATA
#endif
            ;
        if (rc == EAI_SYSTEM)
            return FailErrno(error, found.sysError);
        return Fail(error, notFound ? Failure::NameNotFound : Failure::Other, ::gai_strerror(rc));
    }
    int err = ETIMEDOUT;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        const int fd = ConnectOne(ai, deadline, &err);
        if (fd >= 0) {
            handle_ = fd;
            break;
        }
        if (MsLeft(deadline) == 0) {
            err = ETIMEDOUT;
            break;
        }
    }
    ::freeaddrinfo(list);
    return handle_ >= 0 || FailErrno(error, err);
}

bool Connection::read(std::string* bytes, int timeoutMs, Error* error) {
    if (handle_ < 0)
        return Fail(error, Failure::Other, "not connected");
    const int fd = static_cast<int>(handle_);
    const int n = Wait(fd, POLLIN, timeoutMs);
    if (n < 0)
        return FailErrno(error, errno);
    if (n == 0)
        return true;
    char buf[4096];
    const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
    if (got > 0) {
        bytes->append(buf, static_cast<size_t>(got));
        return true;
    }
    if (got == 0)
        return Fail(error, Failure::ClosedByServer, "the server closed the connection");
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return true;
    return FailErrno(error, errno);
}

bool Connection::write(std::string_view bytes, int timeoutMs, Error* error) {
    if (handle_ < 0)
        return Fail(error, Failure::Other, "not connected");
    const int fd = static_cast<int>(handle_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return FailErrno(error, errno);
        const int n = Wait(fd, POLLOUT, MsLeft(deadline));
        if (n < 0)
            return FailErrno(error, errno);
        if (n == 0)
            return Fail(error, Failure::TimedOut, "the server takes no more data");
    }
    return true;
}

} // namespace tcp
