#include "core/comm_control.h"

#include <charconv>
#include <vector>

namespace {

std::string_view Trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool ParseCommSettings(std::string_view settings, int32_t* baudRate) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = settings.find(',', start);
        fields.push_back(Trimmed(settings.substr(start, comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (fields.size() != 4)
        return false;
    int32_t rate = 0;
    std::string_view r = fields[0];
    if (r.size() > 1 && r.front() == '+')
        r.remove_prefix(1);
    const auto [end, error] = std::from_chars(r.data(), r.data() + r.size(), rate);
    if (r.empty() || error != std::errc() || end != r.data() + r.size() || rate <= 0)
        return false;
    if ((fields[1] != "N" && fields[1] != "n") || fields[2] != "8" || fields[3] != "1")
        return false;
    if (baudRate)
        *baudRate = rate;
    return true;
}
