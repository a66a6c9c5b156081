// The monitor window's lines under its table: the counts of what the watch
// took in, and the status line while it watches and once it stopped.
#include "bytes.h"
#include "core/frame_builders.h"
#include "core/monitor_view.h"
#include "core/text_util.h"
#include "row_name.h"

#include <gtest/gtest.h>

namespace {

class StepClock : public MonotonicClock {
  public:
    int64_t nowMs() const override { return us / 1000; }
    int64_t nowUs() const override { return us; }
    int64_t us = 0;
};

struct CountsCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> turns; // host, chip; 100 ms apart
    const char16_t* counts;
};

class MonitorCounts : public ::testing::TestWithParam<CountsCase> {};

TEST_P(MonitorCounts, SayFramesStatusBytesAndEachKindOfFinding) {
    StepClock clock;
    WindowWatch watch(clock, {});
    watch.start();
    MonitorTable table;
    for (const auto& [host, chip] : GetParam().turns) {
        watch.onTurn(host, chip);
        clock.us += 100'000;
        watch.onTimer();
        table.apply(watch.take());
    }
    clock.us += 2'000'000; // past every answer's time
    watch.interrupt(0);
    table.apply(watch.take());
    EXPECT_TRUE(table.ended());
    EXPECT_EQ(Utf8FromUtf16(table.countsText()), Utf8FromUtf16(GetParam().counts));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorCounts,
    ::testing::Values(
        CountsCase{"Nothing", {}, u"帧 0 · 状态字节 0 · 发现 0"},
        CountsCase{"ASpokenText",
                   {{TextFrame(u"你好"), ""}, {"", Hex("41")}, {"", Hex("4F")}},
                   u"帧 1 · 状态字节 2 · 发现 0"},
        CountsCase{"TwoKindsInTheirOrder",
                   {{Hex("FD 00 02 21 00"), ""}, {"", Hex("45")}, {Hex("FD 00 02 21 DE"), ""}},
                   u"帧 2 · 状态字节 1 · 发现 2（校验错误 1，没有应答 1）"}),
    [](const auto& info) { return vxt_test::CaseName(info.param.name); });

struct StatusCase {
    const char* name;
    bool watching;
    std::u16string host, chip;
    int rateIndex;
    const char* text; // UTF-8
};

class MonitorStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(MonitorStatus, WhileWatchingItNamesBothTapsAndTheRate) {
    const StatusCase& c = GetParam();
    EXPECT_EQ(Utf8FromUtf16(MonitorStatusText(c.watching, c.host, c.chip, c.rateIndex)), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorStatus,
    ::testing::Values(
        StatusCase{"COM names at power-up rate", true, u"COM2", u"COM3", 0,
                   "正在监听：控制器一侧 COM2，芯片一侧 COM3，9600 bit/s"},
        StatusCase{"after a rate change", true, u"COM2", u"COM3", 2,
                   "正在监听：控制器一侧 COM2，芯片一侧 COM3，38400 bit/s"},
        StatusCase{"device path and network tap", true, u"/dev/ttyUSB0",
                   u"rfc2217://10.0.0.5:4001", 1,
                   "正在监听：控制器一侧 /dev/ttyUSB0，芯片一侧 rfc2217://10.0.0.5:4001，19200 bit/s"},
        StatusCase{"stopped", false, u"COM2", u"COM3", 0, "已停止"}),
    [](const auto& info) { return vxt_test::CaseName(info.param.name); });

} // namespace
