// The monitor window's watch and table: what the reading thread hands over
// reaches the table whole, once, in the line's order; the cells say what
// the window shows; a failed tap is said once and the rows stay.
#include "bytes.h"
#include "core/exit_status.h"
#include "core/frame_builders.h"
#include "core/monitor_view.h"
#include "row_name.h"

#include <gtest/gtest.h>

namespace {

struct FakeClock : MonotonicClock {
    int64_t us = 0;
    int64_t nowMs() const override { return us / 1000; }
    int64_t nowUs() const override { return us; }
};

const std::string kQuery = Hex("FD 00 02 21 DE");

struct Step {
    int64_t ms;
    std::string host;
    std::string chip = {};
    bool take = false; // the window takes what changed after this step
};

struct CellCase {
    const char* name;
    std::vector<Step> steps;
    // Each row: direction | time | bytes | meaning | verdict | timings.
    std::vector<std::u16string> rows;
    std::u16string counts;
};

std::u16string Row(const MonitorTable& t, int row) {
    std::u16string s;
    for (int c = 0; c < MonitorColumn::Count; ++c)
        s += (c ? u" | " : u"") + t.cell(row, c);
    return s;
}

class MonitorCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(MonitorCells, ShowEachRowAsTheWindowDoes) {
    FakeClock clock;
    WindowWatch watch(clock, {});
    watch.start();
    MonitorTable table;
    for (const Step& s : GetParam().steps) {
        clock.us = s.ms * 1000;
        watch.onTurn(s.host, s.chip);
        watch.onTimer();
        if (s.take)
            table.apply(watch.take());
    }
    clock.us += 5'000'000;
    watch.interrupt(0);
    table.apply(watch.take());
    EXPECT_TRUE(table.ended());
    std::vector<std::u16string> rows;
    for (int r = 0; r < table.rowCount(); ++r)
        rows.push_back(Row(table, r));
    EXPECT_EQ(rows, GetParam().rows);
    EXPECT_EQ(table.countsText(), GetParam().counts);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MonitorCells,
    ::testing::Values(
        CellCase{"AQueryAndItsIdleAnswer",
                 {{1000, kQuery}, {1003, "", "\x4F"}},
                 {u"控制器 | 1.000 | FD 00 02 21 DE | 查询 | ✓ | 线上 0 ms · 应答 3 ms",
                  u"芯片 | 1.003 | 4F | <-0x4F  芯片空闲 |  | "},
                 u"帧 1 · 状态字节 1 · 发现 0"},
        // Taken while the answer was still to come: the row is given its
        // answer later, not appended twice.
        CellCase{
            "ATextSpokenThenTheNextFrame",
            {{0, TextFrame(u"你好"), "", true},
             {5, "", "\x41", true},
             {905, "", "\x4F", true},
             {1205, kQuery},
             {1207, "", "\x4F"}},
            {u"控制器 | 0.000 | FD 00 07 01 01 C4 E3 BA C3 A4 | 合成 无背景 GBK “你好” | ✓ | "
             u"线上 0 ms · 应答 5 ms · 朗读 900 ms",
             u"芯片 | 0.005 | 41 | <-0x41  接收成功 |  | ",
             u"芯片 | 0.905 | 4F | <-0x4F  芯片空闲 |  | ",
             u"控制器 | 1.205 | FD 00 02 21 DE | 查询 | ✓ | 线上 0 ms · 应答 2 ms · 间隔 300 ms",
             u"芯片 | 1.207 | 4F | <-0x4F  芯片空闲 |  | "},
            u"帧 2 · 状态字节 3 · 发现 0"},
        CellCase{"FaultsMarkedInTheVerdict",
                 {{0, Hex("FD 00 02 21 00")}, {2, "", "\x45"}, {500, Hex("01 02")}},
                 {u"控制器 | 0.000 | FD 00 02 21 00 | 查询 | ✗ 应为 0xDE  校验错误 | 线上 0 ms · "
                  u"应答 2 ms",
                  u"芯片 | 0.002 | 45 | <-0x45  接收失败 |  | ",
                  u"控制器 | 0.500 | 01 02 | 2 字节不属于任何帧 | 不属于任何帧的字节 | "},
                 u"帧 1 · 状态字节 1 · 发现 2（校验错误 1，不属于任何帧的字节 1）"},
        CellCase{"NoAnswerWithinASecond",
                 {{0, kQuery, "", true}, {1500, ""}},
                 {u"控制器 | 0.000 | FD 00 02 21 DE | 查询 | ✓  没有应答 | 线上 0 ms"},
                 u"帧 1 · 状态字节 0 · 发现 1（没有应答 1）"}),
    vxt_test::RowName());

TEST(MonitorTable, KeepsItsNewestRowsAndRedrawsWhenOlderGo) {
    FakeClock clock;
    TapMonitor::Options options;
    options.maxRows = 3;
    WindowWatch watch(clock, options);
    watch.start();
    MonitorTable table(3);
    std::vector<int> changed;
    for (int i = 0; i < 2; ++i) {
        clock.us = i * 100'000;
        watch.onTurn(kQuery, "\x4F");
    }
    EXPECT_FALSE(table.apply(watch.take(), &changed));
    EXPECT_EQ(changed, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(table.rowCount(), 3);
    // Far more than the table keeps between two takes: the newest remain.
    for (int i = 2; i < 10; ++i) {
        clock.us = i * 100'000;
        watch.onTurn(kQuery, "\x4F");
    }
    changed.clear();
    EXPECT_TRUE(table.apply(watch.take(), &changed));
    EXPECT_TRUE(changed.empty());
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cell(0, MonitorColumn::Time), u"0.800");
    EXPECT_EQ(table.cell(0, MonitorColumn::Direction), u"芯片");
    EXPECT_EQ(table.cell(2, MonitorColumn::Time), u"0.900");
}

TEST(WindowWatch, SaysAFailedTapOnceAndKeepsItsRows) {
    FakeClock clock;
    WindowWatch watch(clock, {});
    watch.start();
    MonitorTable table;
    watch.onTurn(kQuery, "\x4F");
    watch.onLineFailed(TapSide::Chip, "/dev/ttyUSB2", {"the device is gone"});
    watch.onTurn(kQuery, ""); // a late turn changes nothing
    EXPECT_TRUE(watch.done());
    EXPECT_EQ(watch.status(), ExitStatus::Port);
    const MonitorUpdate first = watch.take();
    // The words the command-line program uses for a lost port.
    EXPECT_EQ(first.failure.rfind("chip tap: ", 0), 0u) << first.failure;
    EXPECT_NE(first.failure.find("/dev/ttyUSB2: the device is gone"), std::string::npos);
    table.apply(first);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_TRUE(table.ended());
    EXPECT_EQ(watch.take().failure, "");
    EXPECT_EQ(watch.status(), ExitStatus::Port);

    WindowWatch never(clock, {});
    never.failBeforeStart("host tap: cannot open COM7: no such port");
    EXPECT_TRUE(never.done());
    EXPECT_EQ(never.take().failure, "host tap: cannot open COM7: no such port");
}

TEST(MonitorTable, ExportsEveryRowAsCsvWithItsFindings) {
    FakeClock clock;
    WindowWatch watch(clock, {});
    watch.start();
    watch.onTurn(Hex("FD 00 02 21 00"), "\x45");
    watch.interrupt(0);
    MonitorTable table;
    table.apply(watch.take());
    std::string csv;
    ASSERT_TRUE(table.writeCsv([&](std::string_view part) {
        csv += part;
        return true;
    }));
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF"
              "方向,时间,字节,含义,判定,时序\r\n"
              "控制器,0.000,FD 00 02 21 00,查询,✗ 应为 0xDE  校验错误,线上 0 ms · 应答 0 ms\r\n"
              "芯片,0.000,45,<-0x45  接收失败,,\r\n");
    const std::vector<FrameFieldRow> fields = table.fields(0);
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(fields.back().field, u"发现");
    EXPECT_EQ(fields.back().meaning, u"校验错误");
    EXPECT_FALSE(table.writeCsv([](std::string_view) { return false; }));
}

} // namespace
