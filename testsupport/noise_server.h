// A port server for the tests on the loopback that takes one connection and
// floods it with noise (no telnet command in it) as fast as the client
// reads, never agreeing to anything, until it goes.
#pragma once

#include "testsupport/loopback_listener.h"
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class NoiseServer {
  public:
    NoiseServer() {
        port_ = ListenOnLoopback(listener_, 1);
        thread_ = std::thread([this] { run(); });
    }
    ~NoiseServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    uint16_t port() const { return port_; }

  private:
    void run() {
        pollfd p{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 20) == 0) {
        }
        if (stop_)
            return;
        const int fd = ::accept(listener_, nullptr, nullptr);
        const std::string chunk(16384, '\x4E');
        while (!stop_) {
            pollfd out{fd, POLLOUT, 0};
            if (::poll(&out, 1, 20) > 0 &&
                ::send(fd, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 &&
                errno != EAGAIN)
                break;
        }
        ::close(fd);
    }
    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
