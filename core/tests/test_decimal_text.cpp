// The decimal numbers of the command line, alike from either implementation
// (core/decimal_text.h): test_core checks the one this system builds,
// test_decimal_text_stream the stream's, which the browser's build uses.
#include "core/decimal_text.h"
#include "core/tests/row_name.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct ParseRow {
    const char* text;
    bool accepted;
    double value;
};

class DecimalParse : public testing::TestWithParam<ParseRow> {};

TEST_P(DecimalParse, AsFromChars) {
    const ParseRow& row = GetParam();
    const std::optional<double> value = ParseDecimal(row.text);
    ASSERT_EQ(value.has_value(), row.accepted);
    if (!row.accepted)
        return;
    if (std::isnan(row.value))
        EXPECT_TRUE(std::isnan(*value));
    else
        EXPECT_DOUBLE_EQ(*value, row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecimalParse,
    testing::Values(ParseRow{"5", true, 5}, ParseRow{"0.5", true, 0.5}, ParseRow{".5", true, 0.5},
                    ParseRow{"5.", true, 5}, ParseRow{"-2.25", true, -2.25},
                    ParseRow{"1e1", true, 10}, ParseRow{"1E-2", true, 0.01},
                    ParseRow{"inf", true, INFINITY}, ParseRow{"-Infinity", true, -INFINITY},
                    ParseRow{"nan", true, NAN}, ParseRow{"", false, 0}, ParseRow{"+5", false, 0},
                    ParseRow{"-", false, 0}, ParseRow{".", false, 0}, ParseRow{" 5", false, 0},
                    ParseRow{"5 ", false, 0}, ParseRow{"5s", false, 0}, ParseRow{"0x10", false, 0},
                    ParseRow{"1e", false, 0}, ParseRow{"1e+", false, 0}, ParseRow{"--5", false, 0},
                    ParseRow{"1.2.3", false, 0}, ParseRow{"infinit", false, 0}),
    [](const testing::TestParamInfo<ParseRow>& info) {
        return std::to_string(info.index) + "_" + vxt_test::CaseName(info.param.text);
    });

struct TextRow {
    double value;
    const char* text;
};

class DecimalWrite : public testing::TestWithParam<TextRow> {};

TEST_P(DecimalWrite, AsPercentG) {
    EXPECT_EQ(DecimalText(GetParam().value, 6), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, DecimalWrite,
                         testing::Values(TextRow{5, "5"}, TextRow{0.5, "0.5"},
                                         TextRow{86400, "86400"}, TextRow{1234567, "1.23457e+06"},
                                         TextRow{0.0001, "0.0001"}, TextRow{0.00001, "1e-05"},
                                         TextRow{-2.5, "-2.5"}),
                         [](const testing::TestParamInfo<TextRow>& info) {
                             return "Row" + std::to_string(info.index);
                         });

} // namespace
