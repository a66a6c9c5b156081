#include "sim/chip_attributes.h"

#include <cmath>
#include <cstdlib>

namespace chipsim {

namespace {
uint8_t At(std::string_view s, size_t i) {
    return static_cast<uint8_t>(s[i]);
}

bool IsMarkChar(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '*' ||
           c == '=' || c == '-';
}

// "[v10]" with letter v: 10; -1 when the number is missing, has a leading
// zero, or lies outside 0..max.
int NumberOf(std::string_view mark, int max) {
    const std::string_view digits = mark.substr(2, mark.size() - 3);
    if (digits.empty() || digits.size() > 2 || (digits.size() == 2 && digits[0] == '0'))
        return -1;
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n <= max ? n : -1;
}
} // namespace

std::string Attributes::Describe() const {
    return "v" + std::to_string(volume) + " m" + std::to_string(background) + " t" +
           std::to_string(speed) + " o" + (wordByWord ? "1" : "0");
}

double Attributes::TimeFactor() const {
    return (10.0 - speed) / 6.0 * (wordByWord ? 1.5 : 1.0);
}

size_t MarkAt(std::string_view s, size_t i) {
    constexpr size_t kLongestMark = 12;
    if (At(s, i) != '[')
        return 0;
    for (size_t j = i + 1; j < s.size() && j - i <= kLongestMark; ++j) {
        const uint8_t c = At(s, j);
        if (c == ']')
            return j > i + 1 ? j - i + 1 : 0;
        if (!IsMarkChar(c))
            return 0;
    }
    return 0;
}

bool ApplyMark(std::string_view mark, Attributes& attrs) {
    if (mark.size() < 3 || mark.front() != '[' || mark.back() != ']')
        return false;
    if (mark == "[d]") {
        attrs = Attributes{};
        return true;
    }
    if (mark == "[r]")
        return true;
    int n = -1;
    switch (mark[1]) {
    case 'v':
        if ((n = NumberOf(mark, 16)) < 0)
            return false;
        attrs.volume = n;
        return true;
    case 'm':
        if ((n = NumberOf(mark, 16)) < 0)
            return false;
        attrs.background = n;
        return true;
    case 't':
        if ((n = NumberOf(mark, 5)) < 0)
            return false;
        attrs.speed = n;
        return true;
    case 'o':
        if ((n = NumberOf(mark, 1)) < 0)
            return false;
        attrs.wordByWord = n == 1;
        return true;
    default:
        return false;
    }
}

Reading ReadText(std::string_view gbk, Attributes& attrs) {
    Reading r;
    bool spoken = false;
    double ms = 0;
    for (size_t i = 0; i < gbk.size();) {
        if (const size_t mark = MarkAt(gbk, i)) {
            const std::string_view m = gbk.substr(i, mark);
            if (!ApplyMark(m, attrs))
                r.unknownMarks.emplace_back(m);
            i += mark;
            continue;
        }
        const uint8_t c = At(gbk, i);
        // A lead byte takes its trail byte along, so that a trail byte equal
        // to '[' never starts a mark.
        const bool pair = c >= 0x81 && i + 1 < gbk.size();
        int64_t base = 0;
        if (pair)
            base = kMsPerDoubleByteChar;
        else if (c > 0x20 && c < 0x7F)
            base = kMsPerSingleByteChar;
        if (base > 0 && !spoken) {
            r.atStart = attrs;
            spoken = true;
        }
        ms += static_cast<double>(base) * attrs.TimeFactor();
        i += pair ? 2 : 1;
    }
    if (!spoken)
        r.atStart = attrs;
    r.ms = std::llround(ms);
    return r;
}

} // namespace chipsim
