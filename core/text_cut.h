// How much of a text goes out in one synthesis frame.
#pragma once

#include "core/commands.h"

#include <cstddef>
#include <string_view>

// The leading piece of a text that one frame carries.
struct TextCut {
    std::ptrdiff_t units = 0;  // UTF-16 units of the text that go out
    int bytes = 0;        // their GBK byte count (at most the limit)
    bool trimmed = false; // the text from start was longer than the piece
};

// The piece of text that starts at start: the longest leading part that takes
// at most maxBytes GBK bytes and ends on a whole character, so 200 bytes, or
// 199 when a double-byte character would straddle the limit. A surrogate pair
// is never split. A start at or past the end gives an empty piece.
TextCut CutTextForFrame(std::u16string_view text, std::ptrdiff_t start = 0,
                        int maxBytes = kMaxTextBytes);
