#include "testsupport/ser2net_server.h"
#include "sim/pseudo_terminal.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#ifndef VXT_SER2NET_PATH
#define VXT_SER2NET_PATH "/usr/sbin/ser2net"
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Whether something listens on the port. Found by binding, not by
// connecting: a connection would make the server open the device, and a
// connection to the other accepter right after could find it still busy.
bool Listening(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool taken =
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
    ::close(s);
    return taken;
}

} // namespace

PtyEnd::PtyEnd() {
    fd_ = chipsim::OpenPseudoTerminal(O_CLOEXEC, &device_);
    if (fd_ < 0)
        return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

PtyEnd::~PtyEnd() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool PtyEnd::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::string PtyEnd::read(size_t count, int timeoutMs) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && Clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, 20);
        char buf[512];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

// A pseudo-terminal's master reports its slave's settings.
int PtyEnd::speed() const {
    termios t{};
    ::tcgetattr(fd_, &t);
    return chipsim::RateOf(::cfgetospeed(&t));
}

unsigned PtyEnd::cflag() const {
    termios t{};
    ::tcgetattr(fd_, &t);
    return t.c_cflag;
}

uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

Ser2net::Ser2net(const std::string& device, const std::string& option) {
    std::string tmpl = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    tmpl += "/vxt4710-ser2net.XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        return;
    folder_ = tmpl;
    rfc2217Port_ = FreeLoopbackPort();
    do
        rawPort_ = FreeLoopbackPort();
    while (rawPort_ == rfc2217Port_);

    // kickolduser: a test that connects again while the server still holds
    // the last connection gets the port.
    std::ofstream(folder_ + "/ser2net.yaml")
        << "%YAML 1.1\n---\n"
        << "connection: &rfc2217\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port_ << "\n"
        << "  connector: serialdev," << device << ",9600n81,local\n"
        << "  options:\n    kickolduser: true\n"
        << (option.empty() ? "" : "    " + option + "\n") << "connection: &raw\n"
        << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
        << "  connector: serialdev," << device << ",9600n81,local\n"
        << "  options:\n    kickolduser: true\n"
        << (option.empty() ? "" : "    " + option + "\n");
    start();
}

void Ser2net::start() {
    if (folder_.empty() || pid_ > 0)
        return;
    started_ = false;
    pid_ = ::fork();
    if (pid_ == 0) {
        // A session of its own: nothing it signals or opens reaches the test.
        ::setsid();
        const std::string log = folder_ + "/output";
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        // -u: no lock files in the system's lock folder for a test's device.
        const std::string config = folder_ + "/ser2net.yaml";
        const std::string pidFile = folder_ + "/ser2net.pid";
        ::execl(VXT_SER2NET_PATH, "ser2net", "-n", "-u", "-P", pidFile.c_str(), "-c",
                config.c_str(), static_cast<char*>(nullptr));
        std::perror("exec " VXT_SER2NET_PATH);
        ::_exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        if (Listening(rfc2217Port_) && Listening(rawPort_)) {
            started_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Ser2net::problem() const {
    std::ifstream in(folder_ + "/output");
    std::stringstream s;
    s << "ser2net did not start on ports " << rfc2217Port_ << " and " << rawPort_
      << " (installed by scripts/install-deps); it said: " << in.rdbuf();
    return s.str();
}

bool Ser2net::holds(const std::string& device) const {
    if (pid_ <= 0)
        return false;
    const std::string fds = "/proc/" + std::to_string(pid_) + "/fd";
    DIR* dir = ::opendir(fds.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir)) {
        char target[256];
        const ssize_t n = ::readlink((fds + "/" + e->d_name).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == device)
            found = true;
    }
    ::closedir(dir);
    return found;
}

void Ser2net::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

Ser2net::~Ser2net() {
    stop();
    if (!folder_.empty())
        std::system(("rm -rf '" + folder_ + "'").c_str());
}
