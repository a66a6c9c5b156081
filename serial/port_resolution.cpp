#include "serial/port_resolution.h"

#include "platform/files.h"
#include "serial/link_owner.h"

namespace ports {

std::string DefaultFolder() {
    return files::PortsFolder();
}

PortResolution Resolve(int n, const std::string& folder, const SystemPorts& systemPorts) {
    const StaleOwner staleOwner = [&folder, n](const std::string& target) -> std::optional<long> {
        const portlink::HolderInfo owner = portlink::HolderOf(folder, n, target);
        if (owner.holder == portlink::Holder::Gone)
            return owner.pid;
        return std::nullopt;
    };
    return ResolveEntry(n, files::ReadPortEntry(folder, n), FolderStyle::Links, staleOwner,
                        systemPorts);
}

} // namespace ports
