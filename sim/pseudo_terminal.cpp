#include "sim/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace chipsim {

int OpenPseudoTerminal(int flags, std::string* device) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | flags);
    if (master < 0)
        return -1;
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        const int error = errno;
        ::close(master);
        errno = error;
        return -1;
    }
    const char* name = ptsname(master);
    *device = name ? name : "";
    return master;
}

int RateOf(speed_t speed) {
    switch (speed) {
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

} // namespace chipsim
