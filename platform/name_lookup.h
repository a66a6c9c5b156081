// The system's name lookup within a deadline, for both platforms' TCP
// connections. The resolver itself cannot be cut short, so it runs on a
// thread of its own; when the deadline passes first, that thread is left to
// finish alone and frees what it found.
#pragma once

#include <chrono>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

namespace tcp {

struct Lookup {
    int rc = 0;       // getaddrinfo's result
    int sysError = 0; // errno (POSIX, for EAI_SYSTEM) or the Winsock error
    addrinfo* list = nullptr;
};

// False when the deadline passed before the resolver answered.
bool LookUpWithin(const std::string& host, const std::string& service, const addrinfo& hints,
                  std::chrono::steady_clock::time_point deadline, Lookup* out);

} // namespace tcp
