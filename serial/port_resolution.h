// Which device stands behind port n on Linux, without Qt: the ports
// folder's link or file com<n> (platform/files.h), the simulated chip's
// leftovers (serial/link_owner.h) and the rules of core/port_names.h.
#pragma once

#include "core/port_names.h"

#include <string>

namespace ports {

// The ports folder of this user (files::PortsFolder).
std::string DefaultFolder();

// systemPorts is called only when no link or file names the port.
PortResolution Resolve(int n, const std::string& folder, const SystemPorts& systemPorts);

} // namespace ports
