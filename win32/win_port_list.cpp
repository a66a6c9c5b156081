#include "win32/win_port_list.h"

#include "core/text_util.h"
#include "win32/win_text.h"

#include <windows.h>

namespace {
// "COM12" -> 12; 0 for anything else.
int ComNumber(std::u16string_view name) {
    if (name.size() < 4 || name.size() > 6)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != u"com"[i])
            return 0;
    }
    int n = 0;
    for (char16_t c : name.substr(3)) {
        if (c < u'0' || c > u'9')
            return 0;
        n = n * 10 + (c - u'0');
    }
    return n;
}

std::u16string LineOf(int n, const std::map<int, std::u16string>& ports) {
    const auto it = ports.find(n);
    std::u16string line = u"COM" + Number16(n);
    return it == ports.end() ? line + u"：没有对应的串口设备" : line + u" → " + it->second;
}
} // namespace

std::map<int, std::u16string> SystemComPorts() {
    std::map<int, std::u16string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0; i < 256; ++i) {
        wchar_t name[256];
        DWORD nameSize = 256, type = 0;
        wchar_t data[64] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        const LONG r = RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        if (const int n = ComNumber(U16(data)))
            ports[n] = U16(std::wstring_view(name, nameSize));
    }
    RegCloseKey(key);
    return ports;
}

std::u16string PortListTip(std::u16string_view chosen, const std::map<int, std::u16string>& ports) {
    const int n = ComNumber(chosen);
    std::u16string tip = n ? LineOf(n, ports) : std::u16string(chosen);
    for (const auto& [other, device] : ports) {
        if (other != n)
            tip += u"\r\n" + LineOf(other, ports);
    }
    return tip;
}
