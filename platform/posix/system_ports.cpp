#include "platform/system_ports.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace {
bool Exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

// A UART slot the kernel reserves whether or not a chip is there reports
// type 0 (no chip); every other port has no type or another one.
bool EmptySlot(const std::string& entry) {
    std::ifstream type(entry + "/type");
    int value = -1;
    return type >> value && value == 0;
}
} // namespace

std::vector<SystemPort> ListSystemPorts(const std::string& ttyClass, const std::string& devFolder) {
    std::vector<SystemPort> ports;
    DIR* dir = ::opendir(ttyClass.c_str());
    if (!dir)
        return ports;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string entry = ttyClass + "/" + name;
        if (!Exists(entry + "/device/driver") || EmptySlot(entry))
            continue;
        const std::string path = devFolder + "/" + name;
        ports.push_back({path, path});
    }
    ::closedir(dir);
    std::sort(ports.begin(), ports.end(),
              [](const SystemPort& a, const SystemPort& b) { return a.name < b.name; });
    return ports;
}

std::vector<SystemPort> ListSystemPorts() {
    return ListSystemPorts("/sys/class/tty", "/dev");
}
