#include "platform/tcp_socket.h"

#include "platform/name_lookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <chrono>
#include <mutex>

namespace tcp {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Winsock is started once for the process and left running.
bool Started(int* err) {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    *err = result;
    return result == 0;
}

std::string Utf8(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

std::string SystemText(int err) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(err), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = n && text ? Utf8(text) : std::string();
    if (text)
        ::LocalFree(text);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "Winsock error " + std::to_string(err) : s;
}

Failure ClassOf(int err) {
    switch (err) {
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
        return Failure::NameNotFound;
    case WSAECONNREFUSED:
        return Failure::Refused;
    case WSAETIMEDOUT:
        return Failure::TimedOut;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN:
    case WSAENETRESET:
        return Failure::ClosedByServer;
    default:
        return Failure::Other;
    }
}

bool Fail(Error* error, Failure failure, std::string reason) {
    if (error)
        *error = {failure, std::move(reason)};
    return false;
}

bool FailWith(Error* error, int err) {
    return Fail(error, ClassOf(err), SystemText(err));
}

// select() on one socket: 1 ready, 0 time ran out, -1 failed (see
// WSAGetLastError). A connect that fails shows in the exception set.
int Wait(SOCKET s, bool forWrite, int timeoutMs, bool* failed = nullptr) {
    fd_set ready, broken;
    FD_ZERO(&ready);
    FD_ZERO(&broken);
    FD_SET(s, &ready);
    FD_SET(s, &broken);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n =
        ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &broken, &tv);
    if (failed)
        *failed = n > 0 && FD_ISSET(s, &broken);
    return n == SOCKET_ERROR ? -1 : n;
}

SOCKET ConnectOne(const addrinfo* ai, Clock::time_point deadline, int* err) {
    const SOCKET s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s == INVALID_SOCKET) {
        *err = ::WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
        const int started = ::WSAGetLastError();
        if (started != WSAEWOULDBLOCK) {
            *err = started;
            ::closesocket(s);
            return INVALID_SOCKET;
        }
        bool failed = false;
        const int n = Wait(s, true, MsLeft(deadline), &failed);
        int soError = 0;
        int len = sizeof soError;
        if (n == 0)
            soError = WSAETIMEDOUT;
        else if (n < 0)
            soError = ::WSAGetLastError();
        else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) !=
                 0)
            soError = ::WSAGetLastError();
        else if (failed && soError == 0)
            soError = WSAECONNREFUSED;
        if (soError != 0) {
            *err = soError;
            ::closesocket(s);
            return INVALID_SOCKET;
        }
    }
    return s;
}

} // namespace

Connection::~Connection() {
    close();
}

bool Connection::isOpen() const {
    return handle_ != -1;
}

void Connection::close() {
    if (handle_ != -1)
        ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = -1;
}

bool Connection::connect(const std::string& host, uint16_t port, int timeoutMs, Error* error) {
    close();
    int err = 0;
    if (!Started(&err))
        return FailWith(error, err);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const std::string service = std::to_string(port);
    Lookup found;
    if (!LookUpWithin(host, service, hints, deadline, &found))
        return Fail(error, Failure::TimedOut, "the name lookup got no answer in time");
    if (found.rc != 0)
        return FailWith(error, found.sysError);
    addrinfo* const list = found.list;
    err = WSAETIMEDOUT;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        const SOCKET s = ConnectOne(ai, deadline, &err);
        if (s != INVALID_SOCKET) {
            handle_ = static_cast<intptr_t>(s);
            break;
        }
        if (MsLeft(deadline) == 0) {
            err = WSAETIMEDOUT;
            break;
        }
    }
    ::freeaddrinfo(list);
    return handle_ != -1 || FailWith(error, err);
}

bool Connection::read(std::string* bytes, int timeoutMs, Error* error) {
    if (handle_ == -1)
        return Fail(error, Failure::Other, "not connected");
    const auto s = static_cast<SOCKET>(handle_);
    const int n = Wait(s, false, timeoutMs);
    if (n < 0)
        return FailWith(error, ::WSAGetLastError());
    if (n == 0)
        return true;
    char buf[4096];
    const int got = ::recv(s, buf, sizeof buf, 0);
    if (got > 0) {
        bytes->append(buf, static_cast<size_t>(got));
        return true;
    }
    if (got == 0)
        return Fail(error, Failure::ClosedByServer, "the server closed the connection");
    const int err = ::WSAGetLastError();
    if (err == WSAEWOULDBLOCK)
        return true;
    return FailWith(error, err);
}

bool Connection::write(std::string_view bytes, int timeoutMs, Error* error) {
    if (handle_ == -1)
        return Fail(error, Failure::Other, "not connected");
    const auto s = static_cast<SOCKET>(handle_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20));
        const int sent = ::send(s, bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        const int err = ::WSAGetLastError();
        if (err != WSAEWOULDBLOCK)
            return FailWith(error, err);
        const int n = Wait(s, true, MsLeft(deadline));
        if (n < 0)
            return FailWith(error, ::WSAGetLastError());
        if (n == 0)
            return Fail(error, Failure::TimedOut, "the server takes no more data");
    }
    return true;
}

} // namespace tcp
