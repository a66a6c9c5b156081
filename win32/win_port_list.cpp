#include "win32/win_port_list.h"

#include "core/text_util.h"
#include "platform/system_ports.h"
#include "win32/win_text.h"

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
    for (const SystemPort& port : ListSystemPorts())
        ports[ComNumber(Utf16FromUtf8(port.name))] = Utf16FromUtf8(port.device);
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
