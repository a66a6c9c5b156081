// The serial port on pseudo-terminals: the line settings as termios shows
// them at each rate of the table, bytes both ways without waiting, a device
// that goes away told once, and the reasons a user reads when it cannot open.
#include "platform/serial_port.h"

#include "core/line_rates.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// The master side of a pseudo-terminal: the far end of the port's line.
class Pty {
  public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && (::grantpt(master_) != 0 || ::unlockpt(master_) != 0))
            closeMaster();
        if (master_ >= 0)
            slave_ = ::ptsname(master_);
    }
    ~Pty() { closeMaster(); }
    bool ok() const { return master_ >= 0; }
    const std::string& slave() const { return slave_; }
    void write(std::string_view bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // What the port sent, waiting up to a second for n bytes.
    std::string readAtLeast(size_t n) const {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (out.size() < n && std::chrono::steady_clock::now() < end) {
            char chunk[256];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got > 0)
                out.append(chunk, size_t(got));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return out;
    }
    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string slave_;
};

// Waits until the port's descriptor has something to read (or hung up).
bool Readable(const SerialPort& port, int timeoutMs = 1000) {
    pollfd p{port.handle(), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

struct RateRow {
    std::string name;
    int rate;
    speed_t speed;
};

class SerialPortRates : public ::testing::TestWithParam<RateRow> {};

TEST_P(SerialPortRates, TermiosShowsTheRateAnd8N1WithoutFlowControl) {
    const RateRow& row = GetParam();
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    LineError error;
    // Opened at another rate of the table first, then set to this one.
    const int other = row.rate == kDefaultLineRate ? RateOfIndex(1) : kDefaultLineRate;
    ASSERT_EQ(port.open(pty.slave(), other, &error), SerialPort::OpenResult::Ok) << error.reason;
    ASSERT_TRUE(port.setRate(row.rate, &error)) << error.reason;
    termios tio{};
    ASSERT_EQ(::tcgetattr(port.handle(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), row.speed);
    EXPECT_EQ(::cfgetispeed(&tio), row.speed);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, SerialPortRates,
                         ::testing::Values(RateRow{"r9600", 9600, B9600},
                                           RateRow{"r19200", 19200, B19200},
                                           RateRow{"r38400", 38400, B38400}),
                         vxt_test::RowName());

TEST(SerialPortRateTable, EveryRateOfTheTableOpensAndNoOtherDoes) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    LineError error;
    for (const LineRate& rate : kLineRates)
        EXPECT_EQ(port.open(pty.slave(), rate.bitsPerSecond, &error), SerialPort::OpenResult::Ok)
            << rate.bitsPerSecond << ": " << error.reason;
    EXPECT_EQ(port.open(pty.slave(), 115200, &error), SerialPort::OpenResult::Refused);
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(error.reason.find("115200"), std::string::npos) << error.reason;
}

TEST(SerialPortBytes, WritesReachTheLineAndReadsNeverWait) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    LineError error;
    ASSERT_EQ(port.open(pty.slave(), kDefaultLineRate, &error), SerialPort::OpenResult::Ok);
    ASSERT_TRUE(port.write(std::string("\xFD\x00\x02\x21\xDE", 5), &error)) << error.reason;
    EXPECT_EQ(pty.readAtLeast(5), std::string("\xFD\x00\x02\x21\xDE", 5));
    EXPECT_TRUE(port.drain(1000));
    EXPECT_EQ(port.queuedForLine(), 0);

    std::string got;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(port.read(&got, &error));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_TRUE(got.empty());

    pty.write("\x4F\x41");
    ASSERT_TRUE(Readable(port));
    while (got.size() < 2 && Readable(port))
        ASSERT_TRUE(port.read(&got, &error));
    EXPECT_EQ(got, "\x4F\x41");
}

TEST(SerialPortBytes, BytesWaitingBeforeTheOpenAreDroppedOnlyWhenAsked) {
    for (const auto waiting : {SerialPort::Waiting::Keep, SerialPort::Waiting::Drop}) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        // A descriptor of the slave kept open, so that the bytes wait in its queue.
        const int keeper = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(keeper, 0);
        termios tio{};
        ::tcgetattr(keeper, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(keeper, TCSANOW, &tio);
        pty.write("\x4F");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SerialPort port;
        LineError error;
        ASSERT_EQ(port.open(pty.slave(), kDefaultLineRate, &error, waiting),
                  SerialPort::OpenResult::Ok);
        Readable(port, 100);
        std::string got;
        EXPECT_TRUE(port.read(&got, &error));
        EXPECT_EQ(got, waiting == SerialPort::Waiting::Keep ? "\x4F" : "");
        port.close();
        ::close(keeper);
    }
}

TEST(SerialPortLoss, AVanishedDeviceIsToldOnce) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    LineError error;
    ASSERT_EQ(port.open(pty.slave(), kDefaultLineRate, &error), SerialPort::OpenResult::Ok);
    pty.closeMaster();
    ASSERT_TRUE(Readable(port)); // a hang-up wakes a poll loop
    std::string got;
    EXPECT_FALSE(port.read(&got, &error));
    EXPECT_TRUE(port.lost());
    EXPECT_EQ(error.reason.rfind("the device is gone", 0), 0u) << error.reason;
    EXPECT_FALSE(error.accessDenied);
    LineError again;
    EXPECT_TRUE(port.read(&got, &again)); // told once
    EXPECT_TRUE(again.reason.empty());
    EXPECT_FALSE(port.write("x", &again));
    EXPECT_EQ(again.reason.rfind("the device is gone", 0), 0u) << again.reason;
    port.close();
    EXPECT_FALSE(port.lost());
    EXPECT_FALSE(port.write("x", &again));
    EXPECT_EQ(again.reason, "the port is closed");
}

TEST(SerialPortOpen, AMissingDeviceOrOneHeldSaySo) {
    SerialPort port;
    LineError error;
    EXPECT_EQ(port.open("/dev/vxt4710-no-such-device", kDefaultLineRate, &error),
              SerialPort::OpenResult::NoDevice);
    EXPECT_EQ(error.reason, "No such file or directory");
    EXPECT_FALSE(error.accessDenied);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.handle(), -1);

    // Two opens of one device: the second finds it held; once the first
    // closed, it opens.
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort first, second;
    ASSERT_EQ(first.open(pty.slave(), kDefaultLineRate, &error), SerialPort::OpenResult::Ok);
    EXPECT_EQ(second.open(pty.slave(), kDefaultLineRate, &error),
              SerialPort::OpenResult::NoDevice);
    EXPECT_EQ(error.reason,
              "the port is held by another program (Permission error while locking the device)");
    first.close();
    EXPECT_EQ(second.open(pty.slave(), kDefaultLineRate, &error), SerialPort::OpenResult::Ok)
        << error.reason;
}

// Runs f as a user outside root's groups: root may open anything, so as
// root it runs in a child that has become nobody. f's result is the exit status.
template <class F> int AsUser(F f) {
    if (::geteuid() != 0)
        return f();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(f());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(SerialPortOpen, ADeviceWithoutAccessSaysSo) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_EQ(::chmod(pty.slave().c_str(), 0600), 0);
    // 1: refused for the access bits, with the system's words alone.
    const int result = AsUser([&] {
        SerialPort port;
        LineError error;
        if (port.open(pty.slave(), kDefaultLineRate, &error) != SerialPort::OpenResult::NoDevice)
            return 3;
        return error.accessDenied && error.reason == "Permission denied" ? 1 : 0;
    });
    EXPECT_EQ(result, 1);
}

// DeviceAccessDenied(path) for each kind of file, as a user outside root's groups.
TEST(SerialPortOpen, TheAccessHintOnlyWhenTheDevicesOwnBitsRefuse) {
    char pattern[] = "/tmp/vxt4710-access-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    ::chmod(dir, 0705); // others must reach what lies inside
    const auto make = [&](const char* name, mode_t mode) {
        const std::string path = std::string(dir) + "/" + name;
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
        if (fd >= 0)
            ::close(fd);
        ::chmod(path.c_str(), mode);
        return path;
    };
    const struct {
        std::string path;
        int denied;
    } cases[] = {
        {make("open-to-all", 0606), 0},
        {make("owner-only", 0600), 1},
        {make("read-only", 0404), 1},
        {std::string(dir) + "/missing", 0},
        {std::string(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AsUser([&] { return DeviceAccessDenied(c.path) ? 1 : 0; }), c.denied) << c.path;
    for (const char* name : {"open-to-all", "owner-only", "read-only"})
        ::unlink((std::string(dir) + "/" + name).c_str());
    ::rmdir(dir);
}

// What a user reads: a port that another program holds and a device that is
// gone say so; a refusal of the access bits and any other reason is the
// system's words alone.
TEST(SerialPortReasons, HeldAndGoneSaySo) {
    const struct {
        SerialFault fault;
        const char* system;
        bool denied;
        const char* reason;
    } cases[] = {
        {SerialFault::Held, "Permission error while locking the device", false,
         "the port is held by another program (Permission error while locking the device)"},
        {SerialFault::Held, "Permission denied", true, "Permission denied"},
        {SerialFault::Gone, "Unknown error", false, "the device is gone"},
        {SerialFault::Gone, "", false, "the device is gone"},
        {SerialFault::Gone, "Input/output error", false, "the device is gone (Input/output error)"},
        {SerialFault::Other, "No such file or directory", false, "No such file or directory"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialFailureText(c.fault, c.system, c.denied), c.reason) << c.system;
}

} // namespace
