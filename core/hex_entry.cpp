#include "core/hex_entry.h"

// A UTF-16 unit of any other kind, surrogates included, is simply not a digit.
int HexDigitValue(char16_t u) {
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::ptrdiff_t HexGroupCount(std::ptrdiff_t length) {
    return length < 0 ? 0 : (length + 1) / 3;
}

std::optional<std::string> ParseHexGroups(std::u16string_view text) {
    return ParseHexGroups(text, nullptr);
}

std::optional<std::string> ParseHexGroups(std::u16string_view text, std::ptrdiff_t* firstBad) {
    std::ptrdiff_t unused = 0;
    std::ptrdiff_t& bad = firstBad ? *firstBad : unused;
    const auto length = static_cast<std::ptrdiff_t>(text.size());
    bad = -1;
    if (length > kMaxHexEntryLength)
        return std::nullopt;
    if (length == 0)
        return std::string();
    const std::ptrdiff_t groups = HexGroupCount(length);
    // One character: its pair would run past the end of the text.
    if (groups == 0) {
        bad = HexDigitValue(text[0]) < 0 ? 0 : length;
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(groups), '\0');
    for (std::ptrdiff_t k = 0; k < groups; ++k) {
        // 3k + 1 <= 3 * groups - 2 <= length - 1: both digits lie inside.
        const int high = HexDigitValue(text[static_cast<std::size_t>(3 * k)]);
        const int low = HexDigitValue(text[static_cast<std::size_t>(3 * k + 1)]);
        if (high < 0 || low < 0) {
            bad = high < 0 ? 3 * k : 3 * k + 1;
            return std::nullopt;
        }
        bytes[static_cast<std::size_t>(k)] = static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::ptrdiff_t HexLoneTail(std::u16string_view text) {
    const auto size = static_cast<std::ptrdiff_t>(text.size());
    return size % 3 == 1 ? size - 1 : -1;
}
