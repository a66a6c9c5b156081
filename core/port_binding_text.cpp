#include "core/port_binding_text.h"

#include "core/net_address.h"
#include "core/text_util.h"

namespace {

constexpr const char kExpected[] = "an address such as rfc2217://HOST:PORT or socket://HOST:PORT";

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// UTF-16 after its mark, as UTF-8; false for an odd number of bytes.
bool FromUtf16(std::string_view bytes, bool bigEndian, std::string* utf8) {
    if (bytes.size() % 2 != 0)
        return false;
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
        text += static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    *utf8 = Utf8FromUtf16(text);
    return true;
}

} // namespace

bool ParsePortBinding(std::string_view content, std::string* address, std::string* error) {
    std::string decoded;
    const std::string_view mark = content.substr(0, 2);
    if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
        if (!FromUtf16(content.substr(2), mark == "\xFE\xFF", &decoded)) {
            *error = "it is UTF-16 with an odd number of bytes; it should hold " +
                     std::string(kExpected);
            return false;
        }
        content = decoded;
    } else if (content.substr(0, 3) == "\xEF\xBB\xBF") {
        content.remove_prefix(3);
    }
    while (!content.empty() && Blank(content.front()))
        content.remove_prefix(1);
    while (!content.empty() && Blank(content.back()))
        content.remove_suffix(1);
    if (content.empty()) {
        *error = "it is empty; it should hold " + std::string(kExpected);
        return false;
    }
    // UTF-16 without its mark has a NUL in every other byte: its lines are
    // no lines.
    if (content.find('\0') != std::string_view::npos) {
        *error = "it holds NUL bytes (UTF-16 without a byte-order mark?): \"" +
                 ShownEscaped(content.substr(0, 80)) + "\"; save it as UTF-8 holding " + kExpected;
        return false;
    }
    if (content.find_first_of("\r\n") != std::string_view::npos) {
        *error = "it holds more than one line; it should hold one " + std::string(kExpected);
        return false;
    }
    if (!LooksLikeNetAddress(content)) {
        *error = "it holds \"" + ShownEscaped(content) + "\", not " + kExpected;
        return false;
    }
    if (ShownEscaped(content) != content) {
        *error = "it holds \"" + ShownEscaped(content) + "\": bytes that are no text";
        return false;
    }
    NetAddress parsed;
    if (!ParseNetAddress(content, &parsed, error))
        return false;
    *address = std::string(content);
    return true;
}
