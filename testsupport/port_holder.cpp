// Holds a serial device open, as another program would, until its standard
// input closes or it is terminated. Prints "held" once the port is open.
#include "core/line_rates.h"
#include "platform/serial_port.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: port-holder DEVICE\n");
        return 2;
    }
    SerialPort port;
    LineError error;
    if (port.open(argv[1], kDefaultLineRate, &error) != SerialPort::OpenResult::Ok) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], error.reason.c_str());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char buf[64];
    while (read(STDIN_FILENO, buf, sizeof buf) > 0) {
    }
    return 0;
}
