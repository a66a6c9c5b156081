#include "core/text_decode.h"

#include "core/gbk.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}
bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The text being built, with its record of the places that are no text.
struct Builder {
    DecodedText out;

    explicit Builder(TextEncoding encoding, size_t size) {
        out.encoding = encoding;
        out.text.reserve(size);
    }
    void Count(std::ptrdiff_t offset) {
        if (out.replaced++ == 0)
            out.firstReplaced = offset;
    }
    void Bad(std::ptrdiff_t offset) {
        out.text += kReplacement;
        Count(offset);
    }
    // A character, unless it is a NUL.
    void Put(char32_t c, std::ptrdiff_t offset) {
        if (c == 0) {
            Bad(offset);
        } else if (c >= 0x10000) {
            c -= 0x10000;
            out.text += static_cast<char16_t>(0xD800 + (c >> 10));
            out.text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out.text += static_cast<char16_t>(c);
        }
    }
};

// --- GBK ---------------------------------------------------------------------

bool IsLead(uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsTrail(uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}
bool IsPrivateUse(char16_t c) {
    return c >= 0xE000 && c <= 0xF8FF;
}

// The core's GBK gives one unit per character: a lead byte with its trail
// byte, or any other byte alone (a lead byte without a trail byte becomes
// U+FFFD and the next byte stands for itself). Walking the bytes the same
// way finds each unit's offset; what is no text is replaced in place: U+FFFD
// (0xFF, a cut-off lead byte, an unassigned pair), the user-defined pairs
// (private use: the chip has no sound for them) and NUL.
void DecodeGbk(std::string_view bytes, Builder& b) {
    b.out.text = GbkDecode(bytes);
    size_t unit = 0;
    for (size_t i = 0; i < bytes.size(); ++i, ++unit) {
        char16_t& c = b.out.text[unit];
        if (c == 0 || c == kReplacement || IsPrivateUse(c) || IsSurrogate(c)) {
            c = kReplacement;
            b.Count(std::ptrdiff_t(i));
        }
        if (IsLead(static_cast<uint8_t>(bytes[i])) && i + 1 < bytes.size() &&
            IsTrail(static_cast<uint8_t>(bytes[i + 1])))
            ++i;
    }
}

// --- UTF-8 -------------------------------------------------------------------

// One character from bytes[i]: its code and length, or length 0 when the
// bytes there are no valid UTF-8 (then one byte is replaced).
struct Utf8Char {
    char32_t code = 0;
    int length = 0;
};

Utf8Char NextUtf8(std::string_view bytes, size_t i) {
    const auto at = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
    const uint8_t first = at(i);
    if (first < 0x80)
        return {first, 1};
    int length = 0;
    char32_t code = 0, least = 0;
    if (first >= 0xC2 && first <= 0xDF)
        length = 2, code = first & 0x1F, least = 0x80;
    else if (first >= 0xE0 && first <= 0xEF)
        length = 3, code = first & 0x0F, least = 0x800;
    else if (first >= 0xF0 && first <= 0xF4)
        length = 4, code = first & 0x07, least = 0x10000;
    else
        return {};
    if (i + length > bytes.size())
        return {}; // cut off at the end
    for (int k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (at(i + k) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || IsSurrogate(code))
        return {}; // overlong, beyond Unicode, or a surrogate
    return {code, length};
}

// Whether all of bytes is valid UTF-8 (NULs included: they are valid UTF-8,
// and the rule replaces them in whichever encoding).
bool IsUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const Utf8Char c = NextUtf8(bytes, i);
        if (c.length == 0)
            return false;
        i += c.length;
    }
    return true;
}

void DecodeUtf8(std::string_view bytes, size_t base, Builder& b) {
    for (size_t i = 0; i < bytes.size();) {
        const Utf8Char c = NextUtf8(bytes, i);
        if (c.length == 0) {
            b.Bad(std::ptrdiff_t(base + i));
            ++i;
        } else {
            b.Put(c.code, std::ptrdiff_t(base + i));
            i += c.length;
        }
    }
}

// --- UTF-16 ------------------------------------------------------------------

void DecodeUtf16(std::string_view bytes, size_t base, bool littleEndian, Builder& b) {
    const auto unit = [&](size_t k) -> char16_t {
        const auto lo = static_cast<uint8_t>(bytes[k + (littleEndian ? 0 : 1)]);
        const auto hi = static_cast<uint8_t>(bytes[k + (littleEndian ? 1 : 0)]);
        return static_cast<char16_t>(hi << 8 | lo);
    };
    const size_t whole = bytes.size() & ~size_t(1);
    for (size_t i = 0; i < whole; i += 2) {
        const char16_t u = unit(i);
        if (IsHighSurrogate(u) && i + 2 < whole && IsLowSurrogate(unit(i + 2))) {
            const char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            b.Put(c, std::ptrdiff_t(base + i));
            i += 2;
        } else if (IsSurrogate(u)) {
            b.Bad(std::ptrdiff_t(base + i));
        } else {
            b.Put(u, std::ptrdiff_t(base + i));
        }
    }
    if (whole < bytes.size())
        b.Bad(std::ptrdiff_t(base + whole)); // half a unit: the file was cut short
}

} // namespace

DecodedText DecodeTextAs(std::string_view bytes, TextEncoding encoding) {
    Builder b(encoding, bytes.size());
    switch (encoding) {
    case TextEncoding::Gbk:
        DecodeGbk(bytes, b);
        break;
    case TextEncoding::Utf8: {
        const size_t mark = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        DecodeUtf8(bytes.substr(mark), mark, b);
        break;
    }
    case TextEncoding::Utf16: {
        const bool little = bytes.starts_with("\xFF\xFE");
        const size_t mark = little || bytes.starts_with("\xFE\xFF") ? 2 : 0;
        DecodeUtf16(bytes.substr(mark), mark, little, b);
        break;
    }
    }
    return std::move(b.out);
}

DecodedText DecodeTextFile(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return DecodeTextAs(bytes, TextEncoding::Utf16);
    if (IsUtf8(bytes))
        return DecodeTextAs(bytes, TextEncoding::Utf8);
    return DecodeTextAs(bytes, TextEncoding::Gbk);
}

std::u16string EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return u"UTF-8";
    case TextEncoding::Gbk:
        return u"GBK";
    case TextEncoding::Utf16:
        return u"UTF-16";
    }
    return {};
}
