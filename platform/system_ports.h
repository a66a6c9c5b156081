// The serial ports the system has. POSIX: the tty devices in sysfs that a
// driver serves (virtual terminals and pseudo-terminals have none), minus
// UART slots with no chip behind them. Windows: the system's serial-port map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM). The order is the callers' to choose.
#pragma once

#include <string>
#include <vector>

struct SystemPort {
    std::string name;   // POSIX: the device's path (/dev/ttyUSB0); Windows: COM3
    std::string device; // POSIX: the same path; Windows: the system's device (\Device\Serial0)
};

std::vector<SystemPort> ListSystemPorts();

#ifndef _WIN32
// The same, from a sysfs tty class folder and a device folder of the
// caller's (tests build both).
std::vector<SystemPort> ListSystemPorts(const std::string& ttyClass, const std::string& devFolder);
#endif
