// A port server on the loopback for the link's tests, on POSIX sockets and on
// Winsock alike: it plays a script on one connection (bytes after a pause, a
// flood, or a hang-up) and keeps what the client sent.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

class LinkServer {
  public:
    struct Step {
        int pauseMs;
        std::string bytes;
        bool hangUp = false;
        int floodMs = 0; // sends bytes again and again for this long
    };

    explicit LinkServer(std::vector<Step> steps) {
#ifdef _WIN32
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Len len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::listen(listener_, 1) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, steps = std::move(steps)] { serve(steps); });
    }
    ~LinkServer() { join(); }
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    uint16_t port() const { return port_; }
    // What the client sent, once it closed (or sent nothing for 5 s).
    const std::string& received() {
        join();
        return received_;
    }

  private:
#ifdef _WIN32
    using Sock = SOCKET;
    using Len = int;
    static void closeSock(Sock s) { ::closesocket(s); }
    static constexpr int kNoSignal = 0;
#else
    using Sock = int;
    using Len = socklen_t;
    static void closeSock(Sock s) { ::close(s); }
    // A client gone must not end the test program.
    static constexpr int kNoSignal = MSG_NOSIGNAL;
#endif

    // Waits at most ms for s to be readable (or writable).
    static bool ready(Sock s, int ms, bool write = false) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{ms / 1000, (ms % 1000) * 1000};
        return ::select(int(s) + 1, write ? nullptr : &set, write ? &set : nullptr, nullptr,
                        &wait) == 1;
    }

    void serve(const std::vector<Step>& steps) {
        // A client that never comes must not hold the test up.
        if (!ready(listener_, 15000))
            return;
        const Sock s = ::accept(listener_, nullptr, nullptr);
        for (const Step& step : steps) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
            if (step.hangUp) {
                // What the client sent first is read, so that the close is an
                // orderly end and not a reset.
                keep(s, 200);
                closeSock(s);
                return;
            }
            if (step.floodMs > 0)
                flood(s, step);
            else
                sendAll(s, step.bytes);
        }
        keep(s, 5000);
        closeSock(s);
    }
    void sendAll(Sock s, const std::string& bytes) {
        for (size_t at = 0; at < bytes.size();) {
            if (!ready(s, 5000, true))
                return;
            const auto n = ::send(s, bytes.data() + at, int(bytes.size() - at), kNoSignal);
            if (n <= 0)
                return;
            at += size_t(n);
        }
    }
    // A client that stops reading must not hold the server beyond floodMs.
    void flood(Sock s, const Step& step) {
        std::string chunk;
        while (chunk.size() < 16384)
            chunk += step.bytes;
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(step.floodMs);
        while (std::chrono::steady_clock::now() < end) {
            if (ready(s, 20, true) && ::send(s, chunk.data(), int(chunk.size()), kNoSignal) <= 0)
                return;
        }
    }
    // Keeps what comes until the client closes or nothing came for ms.
    void keep(Sock s, int ms) {
        char buf[4096];
        while (ready(s, ms)) {
            const auto n = ::recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            received_.append(buf, size_t(n));
        }
    }
    void join() {
        if (thread_.joinable())
            thread_.join();
        if (listener_ != Sock(-1))
            closeSock(listener_);
        listener_ = Sock(-1);
    }

    Sock listener_;
    uint16_t port_ = 0;
    std::thread thread_;
    std::string received_;
};

inline std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += char(v);
    return s;
}

// The server's answer to a COM-PORT request (code + 100) with its value.
inline std::string Answer(int code, std::string value) {
    return Bytes({255, 250, 44, code + 100}) + value + Bytes({255, 240});
}

// Agrees to BINARY both ways and to COM-PORT, and confirms 9600 8N1.
inline std::string Agreement() {
    return Bytes({255, 251, 0, 255, 253, 0, 255, 253, 44}) + Answer(1, Bytes({0, 0, 0x25, 0x80})) +
           Answer(2, Bytes({8})) + Answer(3, Bytes({1})) + Answer(4, Bytes({1}));
}
