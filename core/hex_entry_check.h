// What a text typed for the hex entry would send: shown while it is typed.
// Plain code, no widgets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Where the typed text stops being hexadecimal: the 0-based position of the
// first digit position that holds no hex digit, or -1 when every group is
// whole. Groups are read as the send buttons read them.
std::ptrdiff_t FirstBadHexDigit(std::u16string_view text);

// The tooltip of the hex entry for its current text: the bytes it parses to,
// what the frame means, and whether the last typed byte is the checksum the
// hand-made-checksum button needs; for invalid text, where the first bad
// digit stands and what it is.
std::u16string HexEntryTip(std::u16string_view text);
