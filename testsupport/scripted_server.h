// A port server on the loopback for the network tests: it plays a script
// per connection (bytes after a pause, or a hang-up), keeps what the client
// sent until the client closes, and stops listening after the last script.
#pragma once

#include "testsupport/loopback_listener.h"
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ScriptedServer {
  public:
    struct Step {
        int pauseMs;
        std::string bytes;
        bool hangUp = false;
    };

    explicit ScriptedServer(std::vector<std::vector<Step>> connections) {
        port_ = ListenOnLoopback(listener_, 4);
        thread_ = std::thread([this, connections = std::move(connections)] {
            for (const auto& steps : connections)
                serve(steps);
            ::close(listener_); // from now on refused
        });
    }
    ~ScriptedServer() { join(); }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t port() const { return port_; }
    // What the clients sent, once the last one closed.
    const std::string& received() {
        join();
        return received_;
    }

  private:
    void join() {
        if (thread_.joinable())
            thread_.join();
    }
    void serve(const std::vector<Step>& steps) {
        // A client that never comes, or never closes, holds the test up
        // for at most 15 s and 30 s: longer than any test waits for the
        // client to give the server up.
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 15000) != 1)
            return;
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0)
            return;
        for (const Step& step : steps) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
            if (step.hangUp)
                break;
            ::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
        }
        const bool hangUp = !steps.empty() && steps.back().hangUp;
        char buf[1024];
        pollfd q{fd, POLLIN, 0};
        ssize_t n = 0;
        while (!hangUp && ::poll(&q, 1, 30000) == 1 && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            received_.append(buf, static_cast<size_t>(n));
        ::close(fd);
    }

    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port_ = 0;
    std::thread thread_;
    std::string received_;
};

inline std::string TelnetBytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// Agrees to COM-PORT and confirms 9600 bit/s, 8 data bits, no parity, one
// stop bit, but never answers the offers of BINARY.
inline std::string ComPortWithoutBinary() {
    const auto answer = [](int code, std::string value) {
        return TelnetBytes({255, 250, 44, code + 100}) + value + TelnetBytes({255, 240});
    };
    return TelnetBytes({255, 253, 44}) + answer(1, TelnetBytes({0, 0, 0x25, 0x80})) +
           answer(2, TelnetBytes({8})) + answer(3, TelnetBytes({1})) + answer(4, TelnetBytes({1}));
}

// Agrees to BINARY both ways and to COM-PORT, and confirms 9600 8N1.
inline std::string FullAgreement() {
    return TelnetBytes({255, 251, 0, 255, 253, 0}) + ComPortWithoutBinary();
}
