#include "core/net_address.h"

namespace {

constexpr std::string_view kRfc2217 = "rfc2217://";
constexpr std::string_view kRaw = "socket://";

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool Fail(std::string_view name, const std::string& what, std::string* error) {
    if (error)
        *error = "bad network port \"" + std::string(name) + "\": " + what +
                 " (expected rfc2217://HOST:PORT or socket://HOST:PORT)";
    return false;
}

} // namespace

bool LooksLikeNetAddress(std::string_view name) {
    return StartsWithNoCase(name, kRfc2217) || StartsWithNoCase(name, kRaw);
}

bool ParseNetAddress(std::string_view name, NetAddress* address, std::string* error) {
    NetAddress parsed;
    std::string_view rest;
    if (StartsWithNoCase(name, kRfc2217)) {
        parsed.protocol = NetProtocol::Rfc2217;
        rest = name.substr(kRfc2217.size());
    } else if (StartsWithNoCase(name, kRaw)) {
        parsed.protocol = NetProtocol::Raw;
        rest = name.substr(kRaw.size());
    } else {
        return Fail(name, "unknown scheme", error);
    }

    std::string_view host;
    std::string_view afterHost;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return Fail(name, "the IPv6 address has no closing ']'", error);
        host = rest.substr(1, close - 1);
        afterHost = rest.substr(close + 1);
        if (host.empty())
            return Fail(name, "empty host", error);
        // An IPv6 address, with a zone (fe80::1%eth0) after the '%'.
        const std::string_view address = host.substr(0, host.find('%'));
        if (address.find(':') == std::string_view::npos ||
            address.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
            return Fail(name, "not an IPv6 address in the brackets", error);
    } else {
        const size_t colon = rest.find(':');
        if (colon != std::string_view::npos && rest.find(':', colon + 1) != std::string_view::npos)
            return Fail(name, "an IPv6 address goes in brackets, as [::1]:PORT", error);
        if (colon == std::string_view::npos)
            return Fail(name, "missing port", error);
        host = rest.substr(0, colon);
        afterHost = rest.substr(colon);
        if (host.empty())
            return Fail(name, "empty host", error);
        if (host.find_first_of("/@[] \t") != std::string_view::npos)
            return Fail(name, "bad character in the host", error);
    }
    if (afterHost.empty() || afterHost.front() != ':' || afterHost.size() == 1)
        return Fail(name, "missing port", error);

    const std::string_view digits = afterHost.substr(1);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos)
        return Fail(name, "the port is not a number", error);
    unsigned long port = 0;
    for (const char c : digits) {
        port = port * 10 + static_cast<unsigned long>(c - '0');
        if (port > 65535)
            return Fail(name, "port out of range 1-65535", error);
    }
    if (port == 0)
        return Fail(name, "port out of range 1-65535", error);

    parsed.host = std::string(host);
    parsed.port = static_cast<uint16_t>(port);
    if (address)
        *address = std::move(parsed);
    return true;
}

std::string FormatNetAddress(const NetAddress& address) {
    std::string s(address.protocol == NetProtocol::Rfc2217 ? kRfc2217 : kRaw);
    if (address.host.find(':') != std::string::npos)
        s += "[" + address.host + "]";
    else
        s += address.host;
    return s + ":" + std::to_string(address.port);
}
