// Names for the cases of a table-driven test, from their rows, so that CTest
// lists "Cases/NetAddressBad.Refused/missing_port" rather than the row's
// bytes, and `ctest -R` can pick one.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace vxt_test {

// Letters and digits kept, every other run of characters one '_', at most
// 60 characters; "Empty" for a text with nothing left.
inline std::string CaseName(std::string_view text) {
    std::string name;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80)
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    if (name.size() > 60)
        name.resize(60);
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? std::string("Empty") : name;
}

// For names made from a row's content, which may read alike once cleaned
// ("rfc2217://lab1" and "rfc2217://lab1:"): the row's number after it.
inline std::string CaseName(std::string_view text, size_t index) {
    return CaseName(text) + "_" + std::to_string(index);
}

// The generator for rows that carry a name (or say what they are).
struct RowName {
    template <class Row> std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        if constexpr (requires { info.param.name; })
            return CaseName(info.param.name);
        else
            return CaseName(info.param.what);
    }
};

} // namespace vxt_test
