// Bytes written the way the chip's documents write them: "FD 00 02 02 FD".
#pragma once

#include <string>

// "FD 00 02" -> its bytes; blanks are skipped.
inline std::string Hex(const char* spaced) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string bytes;
    for (const char* p = spaced; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        bytes += static_cast<char>(digit(p[0]) * 16 + digit(p[1]));
        p += 2;
    }
    return bytes;
}

// Bytes -> "FD 00 02", upper case, one blank between bytes.
inline std::string SpacedHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char b : bytes) {
        if (!s.empty())
            s += ' ';
        s += kDigits[b >> 4];
        s += kDigits[b & 0x0F];
    }
    return s;
}
