// Decimal numbers as a user types them (seconds on the command line) and as
// the program writes them, in the C locale whatever the user's. Two
// implementations, one chosen by CMake: the standard library's
// floating-point <charconv> where it has one (decimal_text_charconv.cpp),
// else the same syntax checked here and converted by a classic-locale
// stream (decimal_text_stream.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The whole of text as one number in std::from_chars' general syntax: an
// optional '-', digits with an optional point and exponent, or inf,
// infinity, nan (any case). Nothing for anything else, blanks included.
std::optional<double> ParseDecimal(std::string_view text);

// value with at most significant digits, as "%g" writes it in the C locale.
std::string DecimalText(double value, int significant);
