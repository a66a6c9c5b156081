#include "platform/system_ports.h"

#include "platform/windows/wide_text.h"

#include <algorithm>
#include <windows.h>

namespace {
// "COM12" -> 12; 0 for anything else.
int ComNumber(std::wstring_view name) {
    if (name.size() < 4 || name.size() > 6)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != L"com"[i])
            return 0;
    }
    int n = 0;
    for (wchar_t c : name.substr(3)) {
        if (c < L'0' || c > L'9')
            return 0;
        n = n * 10 + (c - L'0');
    }
    return n;
}
} // namespace

std::vector<SystemPort> ListSystemPorts() {
    std::vector<std::pair<int, SystemPort>> found;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
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
        // The value's data is the COM name, its name the system's device.
        if (const int n = ComNumber(data))
            found.push_back({n, {"COM" + std::to_string(n),
                                 wintext::Utf8(std::wstring_view(name, nameSize))}});
    }
    RegCloseKey(key);
    // One entry per COM name, in the order of their numbers.
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SystemPort> ports;
    for (size_t i = 0; i < found.size(); ++i) {
        if (i + 1 < found.size() && found[i + 1].first == found[i].first)
            continue; // the later value wins, as the map kept it
        ports.push_back(found[i].second);
    }
    return ports;
}
