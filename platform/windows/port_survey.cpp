// The port doctor's survey on Windows: the USB devices and the COM ports
// SetupAPI lists (each port with the USB device it hangs from, found by
// walking up its parents), the system's serial-port map for ports SetupAPI
// does not know, and each port opened for a moment to tell whether another
// program holds it.
#include "platform/port_survey.h"

#include "platform/system_ports.h"
#include "platform/windows/wide_text.h"

#include <algorithm>
#include <cwchar>
#include <windows.h>
// After windows.h.
#include <cfgmgr32.h>
#include <setupapi.h>

namespace {

constexpr int kMaxParents = 4; // a port's parents looked at for its USB device
// The setup class of serial and parallel ports (devguid.h's, without
// needing its definition from a library).
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring InstanceId(DEVINST instance) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(instance, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
        return {};
    return id;
}

bool IsUsbDevice(const std::wstring& id) {
    return id.rfind(L"USB\\VID_", 0) == 0;
}

// "USB\VID_1A86&PID_7523\..." -> the two ids.
bool UsbIds(const std::wstring& id, uint16_t* vendor, uint16_t* product) {
    unsigned v = 0, p = 0;
    if (std::swscanf(id.c_str(), L"USB\\VID_%4x&PID_%4x", &v, &p) != 2)
        return false;
    *vendor = uint16_t(v);
    *product = uint16_t(p);
    return true;
}

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                           nullptr) ||
        type != REG_SZ)
        return {};
    return text;
}

// The USB device a device hangs from (itself when it is one).
std::wstring UsbAncestor(DEVINST instance) {
    for (int depth = 0; depth <= kMaxParents; ++depth) {
        const std::wstring id = InstanceId(instance);
        if (IsUsbDevice(id))
            return id;
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS)
            break;
        instance = parent;
    }
    return {};
}

void SurveyUsb(doctor::Survey& s) {
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        s.unread.push_back("the USB devices: error " + std::to_string(GetLastError()));
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; i < 1024 && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::wstring id = InstanceId(device.DevInst);
        doctor::UsbDevice usb;
        if (!UsbIds(id, &usb.vendor, &usb.product))
            continue;
        usb.key = usb.where = wintext::Utf8(id);
        std::wstring name = Property(set, device, SPDRP_FRIENDLYNAME);
        if (name.empty())
            name = Property(set, device, SPDRP_DEVICEDESC);
        usb.name = wintext::Utf8(name);
        s.usb.push_back(usb);
    }
    SetupDiDestroyDeviceInfoList(set);
}

void SurveyComPorts(doctor::Survey& s) {
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        for (DWORD i = 0; i < 1024 && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
            HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            if (key == INVALID_HANDLE_VALUE)
                continue;
            wchar_t name[64] = {};
            DWORD size = sizeof name - 2, type = 0;
            const bool named =
                RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                                 &size) == ERROR_SUCCESS &&
                type == REG_SZ;
            RegCloseKey(key);
            if (!named || std::wcsncmp(name, L"COM", 3) != 0)
                continue; // a printer port
            doctor::PortNode port;
            port.device = wintext::Utf8(name);
            port.usbKey = wintext::Utf8(UsbAncestor(device.DevInst));
            s.ports.push_back(port);
        }
        SetupDiDestroyDeviceInfoList(set);
    } else {
        s.unread.push_back("the COM ports: error " + std::to_string(GetLastError()));
    }
    // Ports SetupAPI does not know (a driver of an older kind).
    for (const SystemPort& system : ListSystemPorts()) {
        const bool known =
            std::any_of(s.ports.begin(), s.ports.end(),
                        [&](const doctor::PortNode& p) { return p.device == system.name; });
        if (!known) {
            doctor::PortNode port;
            port.device = system.name;
            s.ports.push_back(port);
        }
    }
}

// Opened for a moment: refused as in use, another program has it.
void ProbePort(doctor::PortNode& port, std::vector<std::string>& unread) {
    const std::wstring path = L"\\\\.\\" + wintext::Wide(port.device);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        // A name that opens but answers no serial port's question leads to
        // no port (under Wine: a COM name mapped to nothing).
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        port.nodeKnown = GetCommState(h, &dcb) != 0;
        port.nodeMissing = !port.nodeKnown;
        CloseHandle(h);
        return;
    }
    const DWORD error = GetLastError();
    port.refusedAsHeld = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    port.nodeMissing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    port.nodeKnown = port.refusedAsHeld;
    if (!port.refusedAsHeld && !port.nodeMissing)
        unread.push_back(port.device + ": error " + std::to_string(error));
}

} // namespace

doctor::Survey SurveyPorts(const std::vector<std::string>& comNames) {
    doctor::Survey s;
    s.system = doctor::System::Windows;
    SurveyUsb(s);
    SurveyComPorts(s);
    for (const std::string& name : comNames) {
        const bool known = std::any_of(s.ports.begin(), s.ports.end(),
                                       [&](const doctor::PortNode& p) { return p.device == name; });
        if (!known) {
            doctor::PortNode port;
            port.device = name;
            s.ports.push_back(port);
        }
    }
    // Only the ports asked about are opened: opening a port may reset the
    // board behind it (DTR), and another program's device is not ours to
    // touch.
    for (doctor::PortNode& port : s.ports) {
        if (std::find(comNames.begin(), comNames.end(), port.device) != comNames.end())
            ProbePort(port, s.unread);
    }
    return s;
}
