#include "sim/pty_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace chipsim {

namespace {
int RateOf(speed_t s) {
    switch (s) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}
} // namespace

bool PtyLine::open() {
    close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        std::fprintf(stderr, "vxt4710-chipsim: no pseudo-terminal: %s\n", std::strerror(errno));
        close();
        return false;
    }
    const char* slaveName = ptsname(master_);
    device_ = slaveName ? slaveName : "";
    // Our own descriptor of the console's side keeps the line up while the
    // console opens and closes its port, and holds the line settings.
    keeper_ = device_.empty() ? -1 : ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (keeper_ < 0) {
        std::fprintf(stderr, "vxt4710-chipsim: cannot open %s: %s\n", device_.c_str(),
                     std::strerror(errno));
        close();
        return false;
    }
    termios tio{};
    tcgetattr(keeper_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(keeper_, TCSANOW, &tio);
    // The voice process gets none of our descriptors.
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(keeper_, F_SETFD, FD_CLOEXEC);
    return true;
}

void PtyLine::close() {
    if (keeper_ >= 0)
        ::close(keeper_);
    if (master_ >= 0)
        ::close(master_);
    keeper_ = master_ = -1;
}

int PtyLine::rate() const {
    // On Linux the master side reports the settings the console made.
    termios tio{};
    if (master_ < 0 || tcgetattr(master_, &tio) != 0)
        return 0;
    return RateOf(cfgetospeed(&tio));
}

void PtyLine::unlock() {
    if (keeper_ >= 0)
        ioctl(keeper_, TIOCNXCL);
}

} // namespace chipsim
