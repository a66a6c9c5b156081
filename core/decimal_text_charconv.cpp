#include "core/decimal_text.h"

#include <charconv>

std::optional<double> ParseDecimal(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string DecimalText(double value, int significant) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                 significant);
    return std::string(buffer, r.ptr);
}
