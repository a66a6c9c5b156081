// The repetition test's interval, typed in seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Milliseconds for a text of seconds: optional blanks, an optional sign,
// decimal digits with at most one decimal point (".5" and "2." count), optional
// blanks. The whole part is rounded down (2.5 -> 2, -2.5 -> -3) and multiplied
// by 1000; a result outside the signed 32-bit range is clamped to it.
// Anything else (empty text, "abc", "1e3", "1,5", "3 0") is no number: nothing.
std::optional<int32_t> IntervalMsFromText(std::u16string_view text);
