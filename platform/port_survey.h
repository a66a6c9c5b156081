// What the port doctor (core/port_doctor.h) looks at, taken from the system.
// Linux: /sys, /proc, /dev and /etc/group under a root folder (the
// environment variable VXT4710_ROOT moves it; tests give it a tree of their
// own), every read bounded, nothing followed out of a loop. Windows: the
// devices SetupAPI lists and the COM ports that can be opened.
#pragma once

#include "core/port_doctor.h"

#include <string>
#include <vector>

#ifndef _WIN32
// VXT4710_ROOT, or "" for the system's own root.
std::string SurveyRoot();

// The serial ports, USB devices, processes, user and groups under root, and
// the device nodes of devices too (a port asked about, a binding's target),
// marked missing when they are not there. Bindings and the asked port are
// the caller's to fill in.
doctor::Survey SurveyPorts(const std::string& root, const std::vector<std::string>& devices);
#else
// The USB devices and COM ports the system has. Only each of comNames (COM3)
// is opened for a moment, to tell whether another program holds it: opening
// a port may reset the board behind it, so no other port is touched.
doctor::Survey SurveyPorts(const std::vector<std::string>& comNames);
#endif
