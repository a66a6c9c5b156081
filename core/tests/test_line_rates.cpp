// The rate table: every settings string names its own rate, and the lookups
// both ways agree with it and refuse anything else.
#include "core/line_rates.h"

#include <gtest/gtest.h>
#include <string>

TEST(LineRates, SettingsNameTheirRate) {
    ASSERT_EQ(kLineRates.size(), 3u);
    for (std::size_t i = 0; i < kLineRates.size(); ++i) {
        const LineRate& r = kLineRates[i];
        EXPECT_EQ(std::string(r.settings), std::to_string(r.bitsPerSecond) + ",N,8,1");
        EXPECT_EQ(RateIndexOf(r.bitsPerSecond), static_cast<int>(i));
        EXPECT_EQ(RateOfIndex(static_cast<int>(i)), r.bitsPerSecond);
        EXPECT_EQ(std::string(SettingsOfIndex(static_cast<int>(i))), r.settings);
    }
    EXPECT_EQ(kDefaultLineRate, 9600);
}

TEST(LineRates, AnythingElseIsRefused) {
    for (int index : {-1, 3, 255}) {
        EXPECT_FALSE(IsRateIndex(index)) << index;
        EXPECT_EQ(RateOfIndex(index), 0) << index;
        EXPECT_EQ(SettingsOfIndex(index), nullptr) << index;
    }
    for (int rate : {0, -9600, 4800, 9601, 57600, 115200})
        EXPECT_EQ(RateIndexOf(rate), -1) << rate;
}
