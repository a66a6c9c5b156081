// The port list's tooltip on Windows: which device each COM name stands for,
// from the system's serial-port map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM).
#pragma once

#include <map>
#include <string>

// COM number -> the system's device name (\Device\Serial0, ...), from
// platform/system_ports.h.
std::map<int, std::u16string> SystemComPorts();

// The tooltip: the chosen port ("COM3") first, as "COM3 → device" or
// "COM3：没有对应的串口设备", then every other port the system has, one a line.
std::u16string PortListTip(std::u16string_view chosen, const std::map<int, std::u16string>& ports);
