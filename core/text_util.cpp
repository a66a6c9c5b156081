#include "core/text_util.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::u16string Utf16FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<uint8_t>(s[i]);
        int extra = 0;
        char32_t c = 0, min = 0;
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j <= i + extra && j < s.size(); ++j) {
            const auto t = static_cast<uint8_t>(s[j]);
            if ((t & 0xC0) != 0x80)
                break;
            c = (c << 6) | (t & 0x3F);
        }
        if (j != i + extra + 1 || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // The broken sequence counts as one bad byte; what follows is read afresh.
            out += kReplacement;
            ++i;
            continue;
        }
        AppendCodePoint(out, c);
        i = j;
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view t) {
    std::string out;
    out.reserve(t.size() * 3);
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char16_t u = t[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
            t[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (t[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::u16string Latin1ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char b : bytes)
        out += static_cast<char16_t>(static_cast<uint8_t>(b));
    return out;
}

std::u16string Number16(int64_t value) {
    return Latin1ToUtf16(std::to_string(value));
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
    if (from.empty())
        return text;
    std::u16string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::u16string::npos; pos = hit + from.size())
        out.append(text, pos, hit - pos).append(to);
    out.append(text, pos);
    return out;
}

std::size_t Utf8SequenceAt(std::string_view s, char32_t* codePoint) {
    if (s.empty())
        return 0;
    const auto b = static_cast<uint8_t>(s[0]);
    if (b < 0x80) {
        *codePoint = b;
        return 1;
    }
    std::size_t extra = 0;
    char32_t c = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF)
        extra = 1, c = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF)
        extra = 2, c = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4)
        extra = 3, c = b & 0x07, min = 0x10000;
    else
        return 0;
    if (s.size() <= extra)
        return 0;
    for (std::size_t j = 1; j <= extra; ++j) {
        const auto t = static_cast<uint8_t>(s[j]);
        if ((t & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *codePoint = c;
    return extra + 1;
}

std::string ShownEscaped(std::string_view bytes, bool keepTabs) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t c = 0;
        std::size_t n = Utf8SequenceAt(bytes, &c);
        const bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
        if (n > 0 && (!control || (keepTabs && c == '\t'))) {
            out.append(bytes.substr(0, n));
        } else {
            // A control character shows each of its bytes; a broken
            // sequence its first byte, and what follows is read afresh.
            n = n > 0 ? n : 1;
            for (std::size_t i = 0; i < n; ++i) {
                const auto b = static_cast<uint8_t>(bytes[i]);
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 0xF];
            }
        }
        bytes.remove_prefix(n);
    }
    return out;
}
