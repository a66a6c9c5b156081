// GBK, the chip's code page, both ways, from the table generated out of ICU's
// converter: a text gives the same bytes on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The GBK code of one UTF-16 unit of the text: one byte (ASCII, CR and LF
// among them) or two, lead byte first. A unit without a GBK code, and each
// half of a surrogate pair, goes to the chip as '?' and takes one byte.
struct GbkCode {
    uint8_t size = 1; // 1 or 2
    uint8_t bytes[2] = {'?', 0};
};
GbkCode GbkCodeOf(char16_t unit);

// The number of bytes text takes in GBK, by the measure above.
std::size_t GbkByteCount(std::u16string_view text);

// text in GBK, unit by unit by the same measure: GbkBytes(t).size() is
// always GbkByteCount(t).
std::string GbkBytes(std::u16string_view text);

// GBK bytes as text. A lead byte (0x81-0xFE) and a trail byte (0x40-0xFE
// but 0x7F) make one character; a lead byte followed by anything else, or
// last, becomes U+FFFD and the byte after it is read afresh. Every other
// byte is a character of its own (0x80 is the euro sign).
std::u16string GbkDecode(std::string_view bytes);
