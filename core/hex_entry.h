// Frames typed in hexadecimal: groups of two hex digits and one separator.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Longest text the entry accepts, in characters (UTF-16 units, a line break
// counting two): the character count and the group count must stay within a
// 16-bit signed number.
inline constexpr std::ptrdiff_t kMaxHexEntryLength = 32766;

// 0-15 for an ASCII hexadecimal digit, -1 for any other character.
int HexDigitValue(char16_t c);

// The number of byte groups of a text of length characters: (length + 1) / 3.
std::ptrdiff_t HexGroupCount(std::ptrdiff_t length);

// The bytes typed in text. Group k is the digit pair at characters 3k and
// 3k + 1; the character after it is a separator and never looked at, and a
// trailing lone character is ignored. An empty text gives no bytes. Nothing
// (no value) when a digit position holds anything but 0-9, a-f, A-F, when a
// non-empty text holds no complete pair (a single character), or when the text
// is longer than kMaxHexEntryLength.
std::optional<std::string> ParseHexGroups(std::u16string_view text);
// The same; on invalid text *firstBad is the index (from 0) of the first
// character that is no digit, text.size() when a non-empty text holds no
// complete pair, or -1 when the text is too long.
std::optional<std::string> ParseHexGroups(std::u16string_view text, std::ptrdiff_t* firstBad);

// The index of the lone last character of a text of 3p + 1 characters (one
// character included): it stands where the high digit of one more group would
// and ParseHexGroups ignores it. -1 when the text has no such character.
std::ptrdiff_t HexLoneTail(std::u16string_view text);
