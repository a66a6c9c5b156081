// The repetition test's interval as typed into Text1.
#include "core/interval.h"
#include "testsupport/form_harness.h"

#include <gtest/gtest.h>
#include <limits>

namespace {
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
} // namespace

TEST(Interval, NumbersGiveWholeSecondsRoundedDownTimesAThousand) {
    const struct {
        const char* text;
        int32_t ms;
    } cases[] = {
        {"30", 30000},
        {"45", 45000},
        {"2.5", 2000},
        {"0.999", 0},
        {"0", 0},
        {"007", 7000},
        {".5", 0},
        {"2.", 2000},
        {"  12\t", 12000},
        {"+3", 3000},
        {"-2", -2000},
        {"-2.5", -3000}, // rounded down, not towards zero
        {"-0.0", 0},
        {"-0.01", -1000},
        {"2147483", 2147483000},
        {"2147483.99", 2147483000},
        {"2147484", kMax},
        {"99999999999999999999999999999", kMax},
        {"-2147483", -2147483000},
        {"-2147483.5", kMin},
        {"-99999999999999999999999999999", kMin},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto ms = IntervalMsFromText(ToU16(QString::fromUtf8(c.text)));
        ASSERT_TRUE(ms.has_value());
        EXPECT_EQ(*ms, c.ms);
    }
}

TEST(Interval, AnythingElseIsNoNumber) {
    for (const char* text : {"", " ", "abc", "3s", "1e3", "1,5", "3 0", "+", "-", ".", "-.",
                             "1.2.3", "--1", "+-1", "0x10", "３０", "30秒"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(IntervalMsFromText(ToU16(QString::fromUtf8(text))).has_value());
    }
}

TEST(Interval, Text1KeepsTheLastGoodValueWhileRetyped) {
    FormHarness h;
    EXPECT_EQ(h->Widget(&Form1::Text1)->Text(), QStringLiteral("30"));
    EXPECT_EQ(h->RepeatIntervalMs, 30000);

    const struct {
        const char* typed;
        int32_t ms;
    } steps[] = {{"45", 45000}, {"", 45000},  {"2.5", 2000}, {"abc", 2000},
                 {"4", 4000},   {"4x", 4000}, {"1e9", 4000}, {"9999999", kMax}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.typed);
        h->Widget(&Form1::Text1)->SetText(QString::fromUtf8(s.typed));
        EXPECT_EQ(h->RepeatIntervalMs, s.ms);
    }
    EXPECT_TRUE(h.messages.isEmpty());
    EXPECT_TRUE(h.fake->written.isEmpty());
}
