#include "sim/pty_line.h"
#include "sim/pseudo_terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace chipsim {

bool PtyLine::open() {
    close();
    master_ = OpenPseudoTerminal(O_NONBLOCK, &device_);
    if (master_ < 0) {
        std::fprintf(stderr, "vxt4710-chipsim: no pseudo-terminal: %s\n", std::strerror(errno));
        close();
        return false;
    }
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
