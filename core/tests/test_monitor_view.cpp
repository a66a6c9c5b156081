// The monitor window's status line while it watches: the names as the user
// gave them and the rate the taps listen at now.
#include "core/monitor_view.h"
#include "core/text_util.h"
#include "row_name.h"

#include <gtest/gtest.h>

namespace {

struct WatchingCase {
    const char* name;
    std::u16string host, chip;
    int rateIndex;
    const char* text; // UTF-8
};

void PrintTo(const WatchingCase& c, std::ostream* os) {
    *os << c.name;
}

class MonitorWatching : public ::testing::TestWithParam<WatchingCase> {};

TEST_P(MonitorWatching, NamesBothTapsAndTheRate) {
    const WatchingCase& c = GetParam();
    EXPECT_EQ(Utf8FromUtf16(MonitorWatchingText(c.host, c.chip, c.rateIndex)), c.text);
}

const WatchingCase kWatching[] = {
    {"COM names at power-up rate", u"COM2", u"COM3", 0, "正在监听 COM2 / COM3 · 9600 bit/s"},
    {"after a rate change", u"COM2", u"COM3", 2, "正在监听 COM2 / COM3 · 38400 bit/s"},
    {"device path and network tap", u"/dev/ttyUSB0", u"rfc2217://10.0.0.5:4001", 1,
     "正在监听 /dev/ttyUSB0 / rfc2217://10.0.0.5:4001 · 19200 bit/s"},
};

INSTANTIATE_TEST_SUITE_P(Cases, MonitorWatching, ::testing::ValuesIn(kWatching),
                         [](const auto& info) { return vxt_test::CaseName(info.param.name); });

} // namespace
