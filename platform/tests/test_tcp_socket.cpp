// The TCP connection against real local situations: each way a connection
// fails gets its class, and bytes go both ways untouched. Builds for POSIX
// and for Windows (run under Wine).
#include "platform/tcp_socket.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Sock = SOCKET;
using socklen_t = int;
constexpr Sock kNoSocket = INVALID_SOCKET;
void CloseSock(Sock s) {
    ::closesocket(s);
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
using Sock = int;
constexpr Sock kNoSocket = -1;
void CloseSock(Sock s) {
    ::close(s);
}
#endif

namespace {

// A listener on 127.0.0.1 and a port the system picks.
struct Listener {
    Sock sock = kNoSocket;
    uint16_t port = 0;

    explicit Listener(int backlog = 4) {
#ifdef _WIN32
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
        sock = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(sock, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(sock, backlog);
        socklen_t len = sizeof a;
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() {
        close();
    }
    void close() {
        if (sock != kNoSocket)
            CloseSock(sock);
        sock = kNoSocket;
    }
    Sock accept() {
        return ::accept(sock, nullptr, nullptr);
    }
};

struct FailureCase {
    const char* what;
    // Prepares the situation; returns the host and port to connect to.
    std::function<std::pair<std::string, uint16_t>(Listener&)> situation;
    tcp::Failure connectFailure; // None: the connect succeeds
    // Run by the server once the client is connected.
    std::function<void(Sock)> server;
    tcp::Failure readFailure;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.what;
}

class TcpFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TcpFailures, AreClassified) {
    const FailureCase& c = GetParam();
    Listener listener;
    const auto [host, port] = c.situation(listener);
    tcp::Connection connection;
    tcp::Error error;
    const bool connected = connection.connect(host, port, 5000, &error);
    if (c.connectFailure != tcp::Failure::None) {
        ASSERT_FALSE(connected) << c.what;
        EXPECT_EQ(error.failure, c.connectFailure) << c.what << ": " << tcp::Describe(error);
        EXPECT_FALSE(error.reason.empty()) << c.what;
        EXPECT_FALSE(connection.isOpen());
        return;
    }
    ASSERT_TRUE(connected) << c.what << ": " << tcp::Describe(error);
    const Sock peer = listener.accept();
    ASSERT_NE(peer, kNoSocket);
    c.server(peer);
    std::string got;
    bool ok = true;
    for (int i = 0; i < 100 && ok; ++i)
        ok = connection.read(&got, 100, &error);
    ASSERT_FALSE(ok) << c.what;
    EXPECT_EQ(error.failure, c.readFailure) << c.what << ": " << tcp::Describe(error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TcpFailures,
    ::testing::Values(FailureCase{"a closed port",
                                  [](Listener& l) {
                                      const uint16_t port = l.port;
                                      l.close();
                                      return std::pair<std::string, uint16_t>("127.0.0.1", port);
                                  },
                                  tcp::Failure::Refused, nullptr, tcp::Failure::None},
                      FailureCase{"a name that cannot resolve",
                                  [](Listener& l) {
                                      return std::pair<std::string, uint16_t>("nonexistent.invalid",
                                                                              l.port);
                                  },
                                  tcp::Failure::NameNotFound, nullptr, tcp::Failure::None},
                      FailureCase{"a server that accepts and closes",
                                  [](Listener& l) {
                                      return std::pair<std::string, uint16_t>("127.0.0.1", l.port);
                                  },
                                  tcp::Failure::None, [](Sock peer) { CloseSock(peer); },
                                  tcp::Failure::ClosedByServer},
                      FailureCase{"a server that says something and closes",
                                  [](Listener& l) {
                                      return std::pair<std::string, uint16_t>("localhost", l.port);
                                  },
                                  tcp::Failure::None,
                                  [](Sock peer) {
                                      ::send(peer, "bye", 3, 0);
                                      CloseSock(peer);
                                  },
                                  tcp::Failure::ClosedByServer}),
    vxt_test::RowName());

TEST(TcpConnection, BytesGoBothWaysUntouchedAndAnEmptyReadWaitsNoLonger) {
    Listener listener;
    tcp::Connection connection;
    tcp::Error error;
    ASSERT_TRUE(connection.connect("127.0.0.1", listener.port, 5000, &error))
        << tcp::Describe(error);
    const Sock peer = listener.accept();
    ASSERT_NE(peer, kNoSocket);

    // Small frames leave at once: Nagle's delay is off.
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ASSERT_EQ(::getsockopt(static_cast<Sock>(connection.handle()), IPPROTO_TCP, TCP_NODELAY,
                           reinterpret_cast<char*>(&noDelay), &size),
              0);
    EXPECT_NE(noDelay, 0);

    std::string got;
    EXPECT_TRUE(connection.read(&got, 0, &error));
    EXPECT_EQ(got, "");

    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    ASSERT_TRUE(connection.write(all, 5000, &error)) << tcp::Describe(error);
    std::string echoed;
    char buf[512];
    while (echoed.size() < all.size()) {
        const int n = static_cast<int>(::recv(peer, buf, sizeof buf, 0));
        ASSERT_GT(n, 0);
        echoed.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(echoed, all);
    ASSERT_EQ(::send(peer, echoed.data(), static_cast<int>(echoed.size()), 0),
              static_cast<int>(echoed.size()));
    for (int i = 0; i < 100 && got.size() < all.size(); ++i)
        ASSERT_TRUE(connection.read(&got, 100, &error)) << tcp::Describe(error);
    EXPECT_EQ(got, all);
    CloseSock(peer);
}

TEST(TcpConnection, FailureTextsNameTheClassAndTheReason) {
    EXPECT_EQ(tcp::Describe({tcp::Failure::Refused, "Connection refused"}),
              "connection refused (Connection refused)");
    EXPECT_EQ(tcp::Describe({tcp::Failure::NameNotFound, ""}), "name not found");
    EXPECT_EQ(tcp::Describe({tcp::Failure::ClosedByServer, "closed by the server"}),
              "closed by the server");
}

// Name lookups held up until released (or 10 s passed): a resolver that
// gets no answer, without a name server.
class HeldLookups {
  public:
    HeldLookups() {
        {
            std::lock_guard lock(mutex_);
            released_ = false;
        }
        tcp::SetLookupHook(&Hold);
    }
    ~HeldLookups() {
        tcp::SetLookupHook(nullptr);
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    static void Hold(const std::string&) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [] { return released_; });
    }
    static inline std::mutex mutex_;
    static inline std::condition_variable changed_;
    static inline bool released_ = false;
};

TEST(TcpConnection, ALookupWithoutAnswerTimesOutWithinTheConnectsTime) {
    Listener listener;
    tcp::Connection connection;
    tcp::Error error;
    {
        HeldLookups held;
        EXPECT_FALSE(connection.connect("localhost", listener.port, 300, &error));
        EXPECT_EQ(error.failure, tcp::Failure::TimedOut) << tcp::Describe(error);
        EXPECT_NE(tcp::Describe(error).find("timed out"), std::string::npos);
        EXPECT_FALSE(connection.isOpen());
    }
    // The abandoned lookup finishes on its own; the next one answers.
    EXPECT_TRUE(connection.connect("localhost", listener.port, 5000, &error))
        << tcp::Describe(error);
}

#ifndef _WIN32
// A listener whose queue is full and never accepted drops new connection
// requests, so the client's connect runs out of time.
TEST(TcpConnection, AServerThatNeverAnswersTimesOut) {
    Listener listener(0);
    std::vector<std::unique_ptr<tcp::Connection>> filling;
    tcp::Error error;
    for (int i = 0; i < 8; ++i) {
        auto c = std::make_unique<tcp::Connection>();
        if (!c->connect("127.0.0.1", listener.port, 300, &error))
            break;
        filling.push_back(std::move(c));
    }
    ASSERT_LT(filling.size(), 8u) << "the queue never filled";
    EXPECT_EQ(error.failure, tcp::Failure::TimedOut) << tcp::Describe(error);
}
#endif

} // namespace
