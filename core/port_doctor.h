// The port doctor: why a serial port does not work, and what to do about it,
// from a survey of the system the platform takes (platform/port_survey.h):
// the USB devices on the bus, the serial ports and their device nodes, the
// processes and what they hold open, the user's groups and the ports
// folder's bindings. Pure code: the survey is all it sees, so tests give it
// any system they like.
#pragma once

#include "core/port_names.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace doctor {

// A USB device on the bus.
struct UsbDevice {
    std::string key;   // what a port names as its USB device (sysfs real path, instance id)
    std::string where; // as a user finds it: /sys/bus/usb/devices/1-1, an instance id
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string name; // the device's own name for itself, when it has one
};

// A serial port the system has, or one asked about.
struct PortNode {
    std::string device; // /dev/ttyUSB0, COM3
    std::string driver; // ftdi_sio, cdc_acm, serial8250; empty: unknown
    std::string usbKey; // the UsbDevice it hangs from; empty: none
    // The device node, when it could be looked at.
    bool nodeKnown = false;
    bool nodeMissing = false; // looked for and not there
    uint32_t mode = 0;        // permission bits
    uint32_t uid = 0;
    uint32_t gid = 0;
    int latencyMs = -1; // an FTDI adapter's latency timer; -1: none read
    // Windows: opening it was refused because another program has it (who
    // is not known there).
    bool refusedAsHeld = false;
};

struct Process {
    long pid = 0;
    std::string name;
    std::vector<std::string> devices; // the devices it holds open
};

// Whose access counts.
struct User {
    bool known = false;
    uint32_t uid = 0;
    std::vector<uint32_t> gids; // the primary group and the others
};

struct Group {
    uint32_t gid = 0;
    std::string name;
};

// A COM name of the ports folder and what it stands for.
struct Binding {
    int n = 0;
    ports::PortResolution resolution;
};

enum class System { Linux, Windows };

struct Survey {
    System system = System::Linux;
    std::vector<UsbDevice> usb;
    std::vector<PortNode> ports;
    std::vector<Process> processes;
    std::vector<std::string> brlttyRules; // the braille daemon's udev rules found
    User user;
    std::vector<Group> groups;
    std::string portsFolder;
    std::vector<Binding> bindings;
    // The port asked about (--port): its name and the device it stands for;
    // both empty: every port.
    std::string askedName;
    std::string askedDevice;
    // What could not be read, and why ("/proc: Permission denied").
    std::vector<std::string> unread;
};

struct Finding {
    std::string
        kind; // brltty, no-driver, permission, held, modemmanager, ftdi-latency, com-link, gone
    std::string device; // the port, adapter or COM name it is about
    std::string says;   // what is wrong
    std::string fix;    // what to do
};

struct Diagnosis {
    std::vector<Finding> findings;
    std::vector<std::string> unread;
    std::vector<std::string> portsSeen; // the serial ports looked at
};

// A USB serial adapter's chip by its ids, and the Linux driver serving it.
struct AdapterChip {
    uint16_t vendor;
    uint16_t product;
    const char* chip;
    const char* module;
};
// The chip for the ids, or nullptr for a device that is no known adapter.
const AdapterChip* AdapterChipOf(uint16_t vendor, uint16_t product);

Diagnosis Diagnose(const Survey& survey);

// The findings as text: each finding its line and its fix; what could not be
// read; a line that says nothing is wrong when nothing is.
std::string DiagnosisText(const Diagnosis& diagnosis);
// The same for a terminal or a window: names read from devices and files
// may hold escape sequences, shown as \xNN so that none acts.
std::string DiagnosisShown(const Diagnosis& diagnosis);
// One JSON object: findings (kind, device, says, fix), unread, ports, status.
std::string DiagnosisJson(const Diagnosis& diagnosis, int status);

// The windows' entry in the work log's menu, their window and its buttons.
inline constexpr std::u16string_view kDoctorMenu = u"端口诊断…";
inline constexpr std::u16string_view kDoctorTitle = u"端口诊断";
inline constexpr std::u16string_view kDoctorAgain = u"重新诊断";
inline constexpr std::u16string_view kDoctorCopy = u"复制到剪贴板";

} // namespace doctor
