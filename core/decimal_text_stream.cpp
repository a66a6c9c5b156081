// For standard libraries without floating-point <charconv> (the browser's
// build): the syntax is checked here, so that the stream's own leniency (a
// '+', hexadecimal, a trailing point's exponent) accepts nothing more.
#include "core/decimal_text.h"

#include <cctype>
#include <limits>
#include <locale>
#include <sstream>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    }
    return true;
}

// Digits with at most one point and at least one digit, then an optional
// exponent whose digits are all there (else from_chars stops before it).
bool IsDecimal(std::string_view t) {
    std::size_t i = 0;
    std::size_t digits = 0;
    while (i < t.size() && IsDigit(t[i]))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && IsDigit(t[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i == t.size())
        return true;
    if (t[i] != 'e' && t[i] != 'E')
        return false;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    const std::size_t exponentStart = i;
    while (i < t.size() && IsDigit(t[i]))
        ++i;
    return i == t.size() && i > exponentStart;
}

} // namespace

std::optional<double> ParseDecimal(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view t = negative ? text.substr(1) : text;
    double value = 0;
    if (EqualsIgnoringCase(t, "inf") || EqualsIgnoringCase(t, "infinity")) {
        value = std::numeric_limits<double>::infinity();
    } else if (EqualsIgnoringCase(t, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        if (!IsDecimal(t))
            return std::nullopt;
        std::istringstream in{std::string(t)};
        in.imbue(std::locale::classic());
        in >> value;
        if (in.fail())
            return std::nullopt;
    }
    return negative ? -value : value;
}

std::string DecimalText(double value, int significant) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(significant);
    out << value;
    return out.str();
}
