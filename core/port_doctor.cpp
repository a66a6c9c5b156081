#include "core/port_doctor.h"

#include "core/json_writer.h"
#include "core/text_util.h"

#include <algorithm>
#include <cstdio>

namespace doctor {

namespace {

constexpr AdapterChip kAdapterChips[] = {
    {0x1a86, 0x7523, "CH340", "ch341"},     {0x1a86, 0x5523, "CH341", "ch341"},
    {0x1a86, 0x7522, "CH340K", "ch341"},    {0x10c4, 0xea60, "CP210x", "cp210x"},
    {0x10c4, 0xea70, "CP2105", "cp210x"},   {0x10c4, 0xea71, "CP2108", "cp210x"},
    {0x0403, 0x6001, "FT232R", "ftdi_sio"}, {0x0403, 0x6010, "FT2232", "ftdi_sio"},
    {0x0403, 0x6011, "FT4232", "ftdi_sio"}, {0x0403, 0x6014, "FT232H", "ftdi_sio"},
    {0x0403, 0x6015, "FT-X", "ftdi_sio"},   {0x067b, 0x2303, "PL2303", "pl2303"},
    {0x067b, 0x23a3, "PL2303GC", "pl2303"}, {0x067b, 0x23d3, "PL2303GL", "pl2303"},
};

std::string Hex4(uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", unsigned(v));
    return text;
}

std::string LastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

class Doctor {
  public:
    explicit Doctor(const Survey& survey) : s_(survey) {}

    Diagnosis run() {
        adapters();
        for (const PortNode& port : s_.ports) {
            if (!asked(port.device))
                continue;
            d_.portsSeen.push_back(port.device);
            gone(port);
            permission(port);
            held(port);
            modemManager(port);
            latency(port);
        }
        bindings();
        d_.unread = s_.unread;
        return d_;
    }

  private:
    // With --port, only that port's findings (and the adapters', which may
    // be why it is missing).
    bool asked(const std::string& device) const {
        return s_.askedDevice.empty() || device == s_.askedDevice;
    }
    bool onLinux() const { return s_.system == System::Linux; }

    void add(const char* kind, const std::string& device, std::string says, std::string fix) {
        d_.findings.push_back({kind, device, std::move(says), std::move(fix)});
    }

    bool processRuns(const std::string& name) const {
        return std::any_of(s_.processes.begin(), s_.processes.end(),
                           [&](const Process& p) { return p.name == name; });
    }

    // A known adapter on the bus with no port: on Linux the braille daemon
    // took it, or its driver is missing.
    void adapters() {
        const bool brltty = onLinux() && (processRuns("brltty") || !s_.brlttyRules.empty());
        for (const UsbDevice& usb : s_.usb) {
            const AdapterChip* chip = AdapterChipOf(usb.vendor, usb.product);
            if (!chip)
                continue;
            const bool hasPort =
                std::any_of(s_.ports.begin(), s_.ports.end(), [&](const PortNode& p) {
                    return !p.usbKey.empty() && p.usbKey == usb.key;
                });
            if (hasPort)
                continue;
            std::string what = std::string(chip->chip) + " adapter (" + Hex4(usb.vendor) + ":" +
                               Hex4(usb.product) + (usb.name.empty() ? "" : ", " + usb.name) + ")";
            const std::string device = usb.where + " " + what;
            adapterFound_ = true;
            if (brltty) {
                std::string why = processRuns("brltty") ? "the braille daemon brltty runs"
                                                        : "the braille daemon brltty's udev rules "
                                                          "are installed (" +
                                                              s_.brlttyRules.front() + ")";
                add("brltty", device,
                    "the " + what + " is on the bus but has no serial port: " + why +
                        " and claims such adapters as braille displays, which takes the port "
                        "away (the kernel logs \"interface 0 claimed by " +
                        chip->module + " while 'brltty' sets config\")",
                    "sudo systemctl mask brltty-udev.service && sudo systemctl stop "
                    "brltty-udev.service (or: sudo apt remove brltty), then plug the adapter in "
                    "again");
            } else if (onLinux()) {
                add("no-driver", device,
                    "the " + what + " is on the bus but no driver serves it: the kernel module " +
                        chip->module + " is missing or not loaded",
                    std::string("sudo modprobe ") + chip->module +
                        "; if it is not found, install the kernel's extra modules "
                        "(linux-modules-extra for the running kernel) and plug the adapter in "
                        "again");
            } else {
                add("no-driver", device,
                    "the " + what + " is plugged in but has no COM port: its driver is missing",
                    std::string("install the ") + chip->chip +
                        " driver (Windows Update, or its maker's), then plug the adapter in "
                        "again");
            }
        }
    }

    void gone(const PortNode& port) {
        // A COM name's missing device is its binding's finding.
        if (!port.nodeMissing || port.device != s_.askedDevice)
            return;
        if (onLinux() && ComNumberOf(s_.askedName) != 0)
            return;
        add("gone", port.device,
            port.device + " does not exist: the adapter is unplugged, or the port has another "
                          "name now",
            std::string("plug the adapter in; ") +
                (onLinux() ? "vxt4710-cli ports shows the ports there are"
                           : "the Device Manager shows the COM ports there are"));
    }

    std::string groupName(uint32_t gid) const {
        for (const Group& g : s_.groups)
            if (g.gid == gid)
                return g.name;
        return std::to_string(gid);
    }

    void permission(const PortNode& port) {
        if (!onLinux() || !port.nodeKnown || port.nodeMissing || !s_.user.known || s_.user.uid == 0)
            return;
        const auto& gids = s_.user.gids;
        const bool inGroup = std::find(gids.begin(), gids.end(), port.gid) != gids.end();
        uint32_t bits = port.mode & 07;
        if (port.uid == s_.user.uid)
            bits = (port.mode >> 6) & 07;
        else if (inGroup)
            bits = (port.mode >> 3) & 07;
        if ((bits & 06) == 06)
            return;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", unsigned(port.mode & 0777));
        const std::string group = groupName(port.gid);
        std::string says = port.device + " (mode " + mode + ", group " + group +
                           ") may not be opened for reading and writing by you (uid " +
                           std::to_string(s_.user.uid) + ")";
        std::string fix;
        if ((port.mode & 060) == 060 && !inGroup) {
            says += ", who are not in the group " + group;
            fix = "sudo adduser \"$USER\" " + group + ", then log out and in again";
        } else {
            fix = "give the group dialout access by a udev rule (MODE=\"0660\", "
                  "GROUP=\"dialout\"), then sudo adduser \"$USER\" dialout and log in again";
        }
        add("permission", port.device, says, fix);
    }

    void held(const PortNode& port) {
        if (port.refusedAsHeld) {
            add("held", port.device, port.device + " is held by another program",
                "close the program that has the port open (a terminal, another console, an "
                "upload tool), then try again");
            return;
        }
        for (const Process& p : s_.processes) {
            if (std::find(p.devices.begin(), p.devices.end(), port.device) == p.devices.end())
                continue;
            add("held", port.device,
                port.device + " is held open by " + p.name + " (pid " + std::to_string(p.pid) + ")",
                "end it or close the port there (kill " + std::to_string(p.pid) +
                    "), then try "
                    "again");
        }
    }

    void modemManager(const PortNode& port) {
        if (!onLinux() || !StartsWith(LastPart(port.device), "ttyACM") ||
            !processRuns("ModemManager"))
            return;
        add("modemmanager", port.device,
            "ModemManager runs and probes " + port.device +
                " as a modem: it writes AT commands into the port and may answer in the chip's "
                "place or hold it",
            "sudo systemctl stop ModemManager (for good: sudo systemctl disable ModemManager, "
            "or a udev rule setting ENV{ID_MM_DEVICE_IGNORE}=\"1\" for the adapter)");
    }

    void latency(const PortNode& port) {
        if (port.latencyMs <= 1)
            return;
        const std::string ms = std::to_string(port.latencyMs);
        const std::string name = LastPart(port.device);
        add("ftdi-latency", port.device,
            "the FTDI adapter's latency timer of " + port.device + " is " + ms +
                " ms: the chip's one-byte replies wait up to " + ms +
                " ms in the adapter before the computer sees them, on every frame",
            "echo 1 | sudo tee /sys/bus/usb-serial/devices/" + name +
                "/latency_timer (for good, a udev rule: ACTION==\"add\", "
                "SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\")");
    }

    bool present(const std::string& device) const {
        return std::none_of(s_.ports.begin(), s_.ports.end(),
                            [&](const PortNode& p) { return p.device == device && p.nodeMissing; });
    }

    void bindings() {
        using Source = ports::PortResolution::Source;
        for (const Binding& b : s_.bindings) {
            const std::string com = "COM" + std::to_string(b.n);
            if (!s_.askedName.empty() && ComNumberOf(s_.askedName) != b.n)
                continue;
            // Where a port comes from only counts for the one used: the one
            // asked for, else the default COM1.
            const bool isAsked = ComNumberOf(s_.askedName.empty() ? "COM1" : s_.askedName) == b.n;
            const ports::PortResolution& r = b.resolution;
            const std::string entry =
                s_.portsFolder + (onLinux() ? "/com" : "\\com") + std::to_string(b.n);
            switch (r.source) {
            case Source::StaleLink:
                add("com-link", com,
                    com + " stands for no device: its link to " + r.target +
                        " was left by a simulated chip (pid " + std::to_string(r.ownerPid) +
                        ") that has ended",
                    "start vxt4710-chipsim --as " + com + " again, or remove " + entry);
                break;
            case Source::BadFile:
                add("com-link", com, com + ": " + r.failure,
                    "write the port's address (rfc2217://HOST:PORT) into " + entry +
                        ", or remove it");
                break;
            case Source::Link:
                if (!present(r.device))
                    add("com-link", com, com + " is bound to " + r.device + ", which is gone",
                        "plug the adapter in, or point " + entry + " at the port there is");
                break;
            // An adapter that has no port already says why none is there.
            case Source::System:
                if (isAsked && !adapterFound_ && !usbPort(r.device))
                    add("com-link", com,
                        com + " falls back to " + r.device +
                            ", a serial port of the computer's own, for no USB serial adapter "
                            "is there",
                        "plug the adapter in; if the chip is on " + r.device + ", bind it: ln -s " +
                            r.device + " " + entry);
                break;
            case Source::None:
                if (isAsked && !adapterFound_)
                    add("com-link", com,
                        com + " stands for no device: nothing in " + s_.portsFolder +
                            " binds it, and the system has fewer serial ports",
                        "plug the adapter in, or bind " + com + " in " + s_.portsFolder);
                break;
            case Source::Net:
                break;
            }
        }
    }

    bool usbPort(const std::string& device) const {
        return std::any_of(s_.ports.begin(), s_.ports.end(), [&](const PortNode& p) {
            return p.device == device && !p.usbKey.empty();
        });
    }

    const Survey& s_;
    Diagnosis d_;
    bool adapterFound_ = false; // an adapter on the bus has no port
};

} // namespace

const AdapterChip* AdapterChipOf(uint16_t vendor, uint16_t product) {
    for (const AdapterChip& chip : kAdapterChips)
        if (chip.vendor == vendor && chip.product == product)
            return &chip;
    return nullptr;
}

Diagnosis Diagnose(const Survey& survey) {
    return Doctor(survey).run();
}

std::string DiagnosisText(const Diagnosis& diagnosis) {
    std::string text;
    for (const Finding& f : diagnosis.findings) {
        text += f.kind + ": " + f.says + "\n";
        text += "  fix: " + f.fix + "\n";
    }
    for (const std::string& what : diagnosis.unread)
        text += "could not read " + what + "\n";
    if (diagnosis.findings.empty()) {
        text += "nothing wrong found";
        if (!diagnosis.portsSeen.empty()) {
            text += " with";
            for (const std::string& port : diagnosis.portsSeen)
                text += " " + port;
        }
        text += "\n";
    }
    return text;
}

std::string DiagnosisShown(const Diagnosis& diagnosis) {
    const std::string plain = DiagnosisText(diagnosis);
    std::string text;
    std::size_t start = 0;
    while (start < plain.size()) {
        const std::size_t end = std::min(plain.find('\n', start), plain.size());
        text += ShownEscaped(std::string_view(plain).substr(start, end - start), true) + "\n";
        start = end + 1;
    }
    return text;
}

std::string DiagnosisJson(const Diagnosis& diagnosis, int status) {
    std::string findings;
    for (const Finding& f : diagnosis.findings) {
        findings += findings.empty() ? "" : ", ";
        findings +=
            JsonObject({{"kind", f.kind}, {"device", f.device}, {"says", f.says}, {"fix", f.fix}});
    }
    return JsonObject({{"findings", JsonValue::Raw("[" + findings + "]")},
                       {"unread", diagnosis.unread},
                       {"ports", diagnosis.portsSeen},
                       {"status", status}});
}

} // namespace doctor
