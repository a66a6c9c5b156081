#include "core/interval.h"

#include <algorithm>
#include <limits>

namespace {
bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
} // namespace

std::optional<int32_t> IntervalMsFromText(std::u16string_view text) {
    std::size_t i = 0, end = text.size();
    while (i < end && IsBlank(text[i]))
        ++i;
    while (end > i && IsBlank(text[end - 1]))
        --end;

    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    // Anything beyond this many seconds clamps anyway; capping the whole part
    // keeps the arithmetic exact however many digits were typed.
    constexpr int64_t kCap = int64_t(1) << 40;
    int64_t whole = 0;
    bool digits = false, fraction = false;
    for (; i < end && IsDigit(text[i]); ++i) {
        digits = true;
        whole = std::min(kCap, whole * 10 + (text[i] - u'0'));
    }
    if (i < end && text[i] == u'.') {
        for (++i; i < end && IsDigit(text[i]); ++i) {
            digits = true;
            fraction = fraction || text[i] != u'0';
        }
    }
    if (!digits || i != end)
        return std::nullopt;

    // Rounded down: a negative value with a fraction goes one further.
    const int64_t seconds = negative ? -whole - (fraction ? 1 : 0) : whole;
    const int64_t ms = seconds * 1000;
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(ms, lo, hi));
}
