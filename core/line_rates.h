// The three rates the chip and the console speak: bit/s, the index the
// set-rate frame and the rate lists use for them, and the port's settings
// string. Every part of the system takes its rates from this one table.
#pragma once

#include <array>
#include <cstddef>

struct LineRate {
    int bitsPerSecond;
    const char* settings; // the serial control's settings string
};

// Index 0 is the chip's rate after power-up and the console's default.
inline constexpr std::array<LineRate, 3> kLineRates = {{
    {9600, "9600,N,8,1"},
    {19200, "19200,N,8,1"},
    {38400, "38400,N,8,1"},
}};

inline constexpr int kDefaultLineRate = kLineRates[0].bitsPerSecond;

// Whether index names an entry of the table.
constexpr bool IsRateIndex(int index) {
    return index >= 0 && static_cast<std::size_t>(index) < kLineRates.size();
}

// 0, 1 or 2 for 9600, 19200 or 38400 bit/s; -1 otherwise.
constexpr int RateIndexOf(int bitsPerSecond) {
    for (std::size_t i = 0; i < kLineRates.size(); ++i)
        if (kLineRates[i].bitsPerSecond == bitsPerSecond)
            return static_cast<int>(i);
    return -1;
}

// 9600, 19200 or 38400 for index 0, 1 or 2; 0 otherwise.
constexpr int RateOfIndex(int rateIndex) {
    return IsRateIndex(rateIndex) ? kLineRates[static_cast<std::size_t>(rateIndex)].bitsPerSecond
                                  : 0;
}

// The settings string for index 0, 1 or 2; nullptr otherwise.
constexpr const char* SettingsOfIndex(int rateIndex) {
    return IsRateIndex(rateIndex) ? kLineRates[static_cast<std::size_t>(rateIndex)].settings
                                  : nullptr;
}
