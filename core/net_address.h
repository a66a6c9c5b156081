// Port names that stand for a port on another machine: rfc2217://HOST:PORT
// (a telnet connection whose port settings travel as COM-PORT-OPTION
// requests) and socket://HOST:PORT (raw TCP, bytes only). HOST is a name, an
// IPv4 address or an IPv6 address in brackets ([::1]).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class NetProtocol {
    Rfc2217, // telnet with the COM-PORT option: the remote rate can be set
    Raw,     // plain TCP: the rate cannot be changed from here
};

struct NetAddress {
    NetProtocol protocol = NetProtocol::Raw;
    std::string host; // without the brackets of an IPv6 address
    uint16_t port = 0;
};

// Why the rate of a socket:// port is not changed (vxt4710-cli's message).
inline constexpr const char kRawRateRefusal[] =
    "the rate of a socket:// port cannot be changed from here; use rfc2217:// for a port "
    "whose rate the console sets";

// Whether name is meant as a network address (it starts with one of the two
// schemes, any case), well formed or not: such a name is never a COM name
// or a device path.
bool LooksLikeNetAddress(std::string_view name);

// Parses a network port name. On failure returns false and sets *error to a
// message that says what is wrong and shows the expected form.
bool ParseNetAddress(std::string_view name, NetAddress* address, std::string* error);

// The address written back as a port name ("rfc2217://[::1]:7000").
std::string FormatNetAddress(const NetAddress& address);
