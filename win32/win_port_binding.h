// COM names bound to a port on another machine: a file com<n> in the ports
// folder (%APPDATA%\vxt4710\ports) holding its address, "rfc2217://HOST:PORT"
// or "socket://HOST:PORT". Without such a file COM<n> is the port \\.\COMn.
// The folder and its files are the platform's (platform/files.h), the rules
// the core's (core/port_names.h).
#pragma once

#include "core/port_binding_text.h"

#include <map>
#include <string>
#include <string_view>

// %APPDATA%\vxt4710\ports; empty when APPDATA is not set.
std::wstring WinPortsFolder();

struct PortBinding {
    enum class Kind { None, Bound, Bad };
    Kind kind = Kind::None;
    std::string address; // Bound: the address as the file has it
    std::string error;   // Bad: the file's path and what is wrong
};

// The file com<n> in folder, if there is one.
PortBinding ReadPortBinding(const std::wstring& folder, int n);

// The port list's devices (COM number -> name) with each of COM1..COM20
// that folder binds shown as its address instead.
std::map<int, std::u16string> WithBindings(std::map<int, std::u16string> ports,
                                           const std::wstring& folder);
