// The serial port on termios. The descriptor is non-blocking: reads take
// what is there, and a write that finds the driver full waits for room.
// Another program's hold shows through a lock on the open device.
#include "platform/serial_port.h"

#include "core/line_rates.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// The one place rates meet termios: each rate of the table and its constant.
constexpr std::pair<int, speed_t> kSpeeds[] = {{9600, B9600}, {19200, B19200}, {38400, B38400}};

constexpr bool EveryTableRateHasASpeed() {
    for (const LineRate& rate : kLineRates) {
        bool found = false;
        for (const auto& speed : kSpeeds)
            found = found || speed.first == rate.bitsPerSecond;
        if (!found)
            return false;
    }
    return true;
}
static_assert(EveryTableRateHasASpeed(), "a rate of core/line_rates.h has no termios speed");

bool SpeedOf(int rate, speed_t* speed) {
    if (RateIndexOf(rate) < 0)
        return false;
    for (const auto& [bitsPerSecond, constant] : kSpeeds) {
        if (bitsPerSecond == rate) {
            *speed = constant;
            return true;
        }
    }
    return false;
}

// A write that the driver takes nothing of for this long has no line behind it.
constexpr int kWriteStallMs = 5000;

// The words the system has for a failure, and which kind it is. These are
// the words users have always read: a lock another program holds says
// "Permission error while locking the device".
SerialFault OpenFaultOf(int error) {
    switch (error) {
    case EACCES:
    case EBUSY:
        return SerialFault::Held;
    case EIO:
    case EAGAIN:
    case EBADF:
        return SerialFault::Gone;
    default:
        return SerialFault::Other;
    }
}

void Set(LineError* error, SerialFault fault, const std::string& text, const std::string& device) {
    if (!error)
        return;
    const bool denied = DeviceAccessDenied(device);
    *error = LineError{SerialFailureText(fault, text, denied), denied};
}

} // namespace

bool DeviceAccessDenied(const std::string& device) {
    if (device.empty())
        return false;
    std::string path = device;
    if (path.front() != '/') {
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here))
            path = std::string(here) + "/" + path;
    }
    return ::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}

struct SerialPort::Impl {
    int fd = -1;
    bool lost = false;      // the device has gone
    bool lossTold = false;  // read() has reported it
    LineError lossReason;   // what read() reports

    void loseWith(LineError error) {
        if (lost)
            return;
        lost = true;
        lossReason = std::move(error);
    }
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() {
    close();
}

SerialPort::OpenResult SerialPort::open(const std::string& device, int rate, LineError* error,
                                        Waiting waiting) {
    close();
    device_ = device;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        Set(error, OpenFaultOf(e), std::strerror(e), device);
        return OpenResult::NoDevice;
    }
    // One program at a time: a second open, even of this program, finds the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        Set(error, SerialFault::Held, "Permission error while locking the device", device);
        return OpenResult::NoDevice;
    }
    ::ioctl(fd, TIOCEXCL); // others than root cannot open it behind the lock
    impl_->fd = fd;
    if (!setRate(rate, error)) {
        close();
        return OpenResult::Refused;
    }
    // Stale replies (an idle report of an earlier run) must not pass for the
    // answer to the first frame after the open.
    if (waiting == Waiting::Drop)
        ::tcflush(fd, TCIFLUSH);
    return OpenResult::Ok;
}

bool SerialPort::isOpen() const {
    return impl_->fd >= 0;
}

int SerialPort::handle() const {
    return impl_->fd;
}

bool SerialPort::lost() const {
    return impl_->lost;
}

bool SerialPort::setRate(int rate, LineError* error) {
    if (!isOpen()) {
        Set(error, SerialFault::Other, "the port is closed", device_);
        return false;
    }
    speed_t speed = 0;
    if (!SpeedOf(rate, &speed)) {
        Set(error, SerialFault::Other, std::to_string(rate) + " bit/s is no rate of the chip's",
            device_);
        return false;
    }
    termios tio{};
    if (::tcgetattr(impl_->fd, &tio) != 0) {
        const int e = errno;
        Set(error, SerialFault::Other, std::strerror(e), device_);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // A read of nothing then fails with EAGAIN: 0 bytes only at a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(impl_->fd, TCSANOW, &tio) != 0) {
        const int e = errno;
        Set(error, SerialFault::Other, std::strerror(e), device_);
        return false;
    }
    return true;
}

bool SerialPort::write(std::string_view bytes, LineError* error) {
    if (!isOpen() || impl_->lost) {
        if (error)
            *error = isOpen() ? impl_->lossReason : LineError{"the port is closed"};
        return false;
    }
    auto stalledSince = std::chrono::steady_clock::now();
    while (!bytes.empty()) {
        const ssize_t n = ::write(impl_->fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
            stalledSince = std::chrono::steady_clock::now();
            continue;
        }
        const int e = n < 0 ? errno : EAGAIN;
        if (e == EINTR)
            continue;
        if (e == EAGAIN) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - stalledSince)
                                    .count();
            if (waited >= kWriteStallMs) {
                Set(error, SerialFault::Other, std::strerror(ETIMEDOUT), device_);
                return false;
            }
            pollfd p{impl_->fd, POLLOUT, 0};
            ::poll(&p, 1, int(kWriteStallMs - waited));
            continue;
        }
        // A write the driver refuses: the device has gone.
        LineError reason;
        Set(&reason, SerialFault::Gone, std::strerror(e), device_);
        impl_->loseWith(reason);
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

bool SerialPort::read(std::string* bytes, LineError* error) {
    while (isOpen() && !impl_->lost) {
        char chunk[4096];
        const ssize_t n = ::read(impl_->fd, chunk, sizeof chunk);
        if (n > 0) {
            bytes->append(chunk, size_t(n));
            continue;
        }
        const int e = n < 0 ? errno : 0;
        if (e == EINTR)
            continue;
        if (e == EAGAIN)
            break;
        // End of file is a hang-up; a failed read a device that went away.
        LineError reason;
        Set(&reason, SerialFault::Gone, e ? std::strerror(e) : "", device_);
        impl_->loseWith(reason);
    }
    if (!impl_->lost || impl_->lossTold)
        return true;
    impl_->lossTold = true;
    if (error)
        *error = impl_->lossReason;
    return false;
}

long SerialPort::queuedForLine() const {
    int queued = 0;
    if (!isOpen() || ::ioctl(impl_->fd, TIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}

bool SerialPort::drain(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const long queued = queuedForLine();
        if (queued <= 0)
            return queued == 0;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void SerialPort::close() {
    if (impl_->fd >= 0) {
        // A line kept open elsewhere (a pseudo-terminal's other users) would
        // stay exclusive after the close.
        ::ioctl(impl_->fd, TIOCNXCL);
        ::close(impl_->fd); // the lock goes with it
    }
    *impl_ = Impl{};
}
