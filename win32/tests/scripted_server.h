// A port server on the loopback for the network line's tests: it plays a
// script per connection and keeps what the client sent.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

// A port server on the loopback that sends each step's bytes after its
// pause (or hangs up), then keeps what the client sent until it closes.
class ScriptedServer {
  public:
    struct Step {
        int pauseMs;
        std::string bytes;
        bool hangUp = false;
        int floodMs = 0; // sends bytes again and again for this long
    };

    // keepMs: how long a silent client is kept after the script.
    explicit ScriptedServer(std::vector<Step> steps, bool listen = true, DWORD keepMs = 5000)
        : ScriptedServer(std::vector<std::vector<Step>>{std::move(steps)}, listen, keepMs) {}
    // One script per connection, in turn.
    explicit ScriptedServer(std::vector<std::vector<Step>> connections, bool listen = true,
                            DWORD keepMs = 5000)
        : keepMs_(keepMs) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (!listen) { // the port is free again: nothing listens there
            closesocket(listener_);
            listener_ = INVALID_SOCKET;
            return;
        }
        ::listen(listener_, 4);
        thread_ = std::thread([this, connections = std::move(connections)] {
            for (const auto& steps : connections)
                Serve(steps);
        });
    }
    ~ScriptedServer() { Join(); }

    uint16_t port() const { return port_; }
    // What the client sent, once it closed (or 5 s passed).
    // The client closed while a flood was still going.
    bool ClientLeftEarly() {
        Join();
        return clientLeftEarly_;
    }
    const std::string& Received() {
        Join();
        return received_;
    }

  private:
    void Serve(const std::vector<Step>& steps) {
        // A client that never comes must not hold the test up.
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval wait{5, 0};
        if (select(0, &ready, nullptr, nullptr, &wait) != 1)
            return;
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        for (const Step& step : steps) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
            if (step.hangUp) {
                Keep(s, 200);
                closesocket(s);
                return;
            }
            if (step.floodMs > 0) {
                Flood(s, step);
                continue;
            }
            send(s, step.bytes.data(), int(step.bytes.size()), 0);
        }
        Keep(s, keepMs_);
        closesocket(s);
    }
    // A client that stops reading must not hold the server: each send
    // waits briefly, and the flood ends early when the client has gone.
    void Flood(SOCKET s, const Step& step) {
        DWORD wait = 100;
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
        std::string chunk;
        while (chunk.size() < 16384)
            chunk += step.bytes;
        const ULONGLONG end = GetTickCount64() + ULONGLONG(step.floodMs);
        while (GetTickCount64() < end) {
            if (send(s, chunk.data(), int(chunk.size()), 0) == SOCKET_ERROR &&
                WSAGetLastError() != WSAETIMEDOUT) {
                clientLeftEarly_ = true;
                return;
            }
        }
    }
    // Keeps what comes until the client closes or nothing came for timeoutMs.
    void Keep(SOCKET s, DWORD timeoutMs) {
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof timeoutMs);
        char buf[1024];
        int n = 0;
        while ((n = recv(s, buf, sizeof buf, 0)) > 0)
            received_.append(buf, size_t(n));
    }
    void Join() {
        if (thread_.joinable())
            thread_.join();
        if (listener_ != INVALID_SOCKET)
            closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }

    DWORD keepMs_;
    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::thread thread_;
    std::string received_;
    bool clientLeftEarly_ = false;
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

inline std::string Rate(uint32_t bps) {
    return Bytes({int(bps >> 24), int(bps >> 16 & 255), int(bps >> 8 & 255), int(bps & 255)});
}

// Agrees to BINARY both ways and to COM-PORT, and confirms rate, 8N1.
inline std::string Agreement(uint32_t rate) {
    return Bytes({255, 251, 0, 255, 253, 0, 255, 253, 44}) + Answer(1, Rate(rate)) +
           Answer(2, Bytes({8})) + Answer(3, Bytes({1})) + Answer(4, Bytes({1}));
}

// Agrees to COM-PORT and confirms rate, 8N1, but never answers the offers
// of BINARY.
inline std::string AgreementWithoutBinary(uint32_t rate) {
    return Bytes({255, 253, 44}) + Answer(1, Rate(rate)) + Answer(2, Bytes({8})) +
           Answer(3, Bytes({1})) + Answer(4, Bytes({1}));
}
