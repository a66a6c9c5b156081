// The traffic record as a capture file and back: what the analysis window
// exports is read back packet for packet, and a capture read into a record
// shows the rows the live traffic showed.
#include "core/reply_status.h"
#include "core/text_util.h"
#include "core/traffic_capture.h"
#include "core/traffic_report.h"
#include "core/traffic_table.h"
#include "row_name.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
constexpr int64_t kT0 = 1'765'152'000'000'000; // µs

// A frame, its acceptance during a rate change, a byte that is no status
// byte, idle, and times with microseconds.
void Fill(TrafficRecord& r) {
    r.RecordReplyAt(kT0 - 1'500, 0x4A, false); // before any frame
    r.RecordSentAt(kT0, "\xFD\x00\x07\x01\x01\xC4\xE3\xBA\xC3\xA4"s);
    r.RecordReplyAt(kT0 + 20'123, ChipStatus::Received, true);
    r.RecordReplyAt(kT0 + 20'500, 0x77, false);
    r.RecordReplyAt(kT0 + 1'020'999, ChipStatus::Idle, false);
    r.RecordSentAt(kT0 + 2'000'001, "\xFD\x00\x02\x21\xDE"s);
}

std::string Capture(const TrafficRecord& r, const CaptureInterface& line, int* writes = nullptr) {
    std::string file;
    EXPECT_TRUE(WriteTrafficCapture(r, line, [&](std::string_view bytes) {
        file += bytes;
        if (writes)
            ++*writes;
        return true;
    }));
    return file;
}

TEST(TrafficCapture, EveryRowIsAPacketAndReadsBackAsTheSameRows) {
    TrafficRecord live;
    Fill(live);
    int writes = 0;
    const CaptureContents c = ReadCapture(Capture(live, {"COM3", 38400}, &writes));
    EXPECT_EQ(writes, 1);
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.interfaces.size(), 1u);
    EXPECT_EQ(c.interfaces[0].name, "COM3");
    EXPECT_EQ(c.interfaces[0].rate, 38400);
    ASSERT_EQ(int(c.packets.size()), live.Count());
    for (int row = 0; row < live.Count(); ++row) {
        const CapturePacket& p = c.packets[size_t(row)];
        EXPECT_EQ(p.timeUs, live.TimeUs(row)) << row;
        EXPECT_EQ(p.bytes, live.Bytes(row)) << row;
        EXPECT_EQ(p.direction, live.At(row).direction == TrafficRecord::Direction::Sent
                                   ? CaptureDirection::ToChip
                                   : CaptureDirection::FromChip);
        EXPECT_EQ(p.comment, Utf8FromUtf16(TrafficCell(live, row, TrafficColumn::Meaning, {})));
    }
    EXPECT_EQ(c.packets[0].timeUs, kT0 - 1'500); // before the second: still to the µs

    TrafficRecord shown;
    const CaptureRecorded read = RecordCapture(Capture(live, {}), shown);
    EXPECT_EQ(read.packets, live.Count());
    EXPECT_TRUE(read.problems.empty());
    ASSERT_EQ(shown.Count(), live.Count());
    for (int row = 0; row < live.Count(); ++row) {
        EXPECT_EQ(shown.TimeUs(row), live.TimeUs(row));
        EXPECT_EQ(shown.At(row).baudPending, live.At(row).baudPending) << row;
        for (int column = 0; column < TrafficColumn::Count; ++column)
            EXPECT_EQ(TrafficCell(shown, row, column, {}), TrafficCell(live, row, column, {}))
                << row << " " << column;
    }
}

TEST(TrafficCapture, AFailedWriteStopsTheExport) {
    TrafficRecord live;
    for (int i = 0; i < 40'000; ++i) // several megabytes: pieces
        live.RecordSentAt(kT0 + i, std::string(40, '\xFD'));
    int writes = 0;
    EXPECT_FALSE(WriteTrafficCapture(live, {}, [&](std::string_view) { return ++writes < 2; }));
    EXPECT_EQ(writes, 2);
}

// What packets become in the record, one row per letter: S a frame sent,
// R a status byte read, P one read while a rate change waited.
struct PacketRow {
    std::string name;
    std::vector<CapturePacket> packets;
    std::string rows;
};

class RecordCaptureRows : public testing::TestWithParam<PacketRow> {};

// A capture file of packets.
std::string FileOf(const std::vector<CapturePacket>& packets) {
    std::string file = CaptureFileHeader({{"COM1", 9600}}, "test");
    for (const CapturePacket& p : packets)
        file += CapturePacketBlock(p);
    return file;
}

TEST_P(RecordCaptureRows, Become) {
    TrafficRecord r;
    EXPECT_EQ(RecordCapture(FileOf(GetParam().packets), r).packets,
              int64_t(GetParam().packets.size()));
    std::string rows;
    for (int row = 0; row < r.Count(); ++row)
        rows += r.At(row).direction == TrafficRecord::Direction::Sent ? 'S'
                : r.At(row).baudPending                               ? 'P'
                                                                      : 'R';
    EXPECT_EQ(rows, GetParam().rows);
}

const std::string kPending = Utf8FromUtf16(ReplyLogText(ChipStatus::Received, true));

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordCaptureRows,
    testing::Values(PacketRow{"directions said",
                              {{1, CaptureDirection::ToChip, "\xFD\x00\x02\x21\xDE"s, ""},
                               {2, CaptureDirection::FromChip, "A", ""}},
                              "SR"},
                    PacketRow{"a run of bytes from the chip is a row each",
                              {{1, CaptureDirection::FromChip, "AOO", ""}},
                              "RRR"},
                    PacketRow{"no direction: 0xFD starts a frame",
                              {{1, CaptureDirection::Unknown, "\xFD\x00\x02\x21\xDE"s, ""},
                               {2, CaptureDirection::Unknown, "AO", ""}},
                              "SRR"},
                    PacketRow{
                        "empty packets are left out", {{1, CaptureDirection::ToChip, "", ""}}, ""},
                    PacketRow{"the comment tells a rate change",
                              {{1, CaptureDirection::FromChip, "A", kPending},
                               {2, CaptureDirection::FromChip, "A", "x"},
                               {3, CaptureDirection::FromChip, "AA", kPending}},
                              "PRRR"},
                    PacketRow{"times going back or before 1970 are kept",
                              {{5, CaptureDirection::FromChip, "A", ""},
                               {-1'000'001, CaptureDirection::FromChip, "O", ""}},
                              "RR"}),
    [](const testing::TestParamInfo<PacketRow>& info) {
        return vxt_test::CaseName(info.param.name);
    });

TEST(TrafficCapture, TimesBeforeTheEpochKeepTheirMicroseconds) {
    TrafficRecord r;
    r.RecordReplyAt(-1'000'001, 0x41, false);
    EXPECT_EQ(r.At(0).timeMs, -1'001);
    EXPECT_EQ(r.At(0).us, 999);
    EXPECT_EQ(r.TimeUs(0), -1'000'001);
}

TEST(TrafficCapture, ARecordFilledFromAFileKeepsEveryRow) {
    std::vector<CapturePacket> packets(TrafficRecord::kMaxRecords + 5,
                                       {1, CaptureDirection::FromChip, "O", ""});
    TrafficRecord r;
    RecordCapture(FileOf(packets), r);
    EXPECT_EQ(r.Count(), TrafficRecord::kMaxRecords + 5);
    EXPECT_EQ(r.Dropped(), 0);
}

TEST(TrafficCapture, ProblemsAreToldWithWhatCouldBeRead) {
    CaptureRecorded none;
    EXPECT_EQ(CaptureProblemsText(u"a.pcapng", none), u"抓包文件 a.pcapng 中没有数据包。");
    none.problems = {"this is no pcapng capture file"};
    EXPECT_EQ(CaptureProblemsText(u"a.pcapng", none),
              u"无法读取抓包文件 a.pcapng：\nthis is no pcapng capture file\n");
    CaptureRecorded some;
    some.packets = 2;
    EXPECT_EQ(CaptureProblemsText(u"a.pcapng", some), u"");
    some.problems = {"the file is cut off at byte 90: its last block is not read"};
    EXPECT_EQ(CaptureProblemsText(u"a.pcapng", some),
              u"抓包文件 a.pcapng 有些内容无法读取：\nthe file is cut off at byte 90: its last "
              u"block is not read\n能读出的 2 个数据包照常显示。");
    EXPECT_EQ(CaptureWindowTitle(u"a.pcapng"), u"通信分析 - a.pcapng");
}

} // namespace

namespace {

struct Discard : OutputSink {
    bool write(std::string_view, std::string*) override { return true; }
};

// The command-line program's capture: nothing is written between a status
// byte and the frame it lets go; the loop writes when it would sleep, and a
// line that never pauses still gets its packets written.
TEST(TrafficCapture, TheReportHoldsItsPacketsUntilTheLoopWouldSleep) {
    std::string file;
    int writes = 0;
    CaptureWriter capture(
        [&](std::string_view bytes) {
            file += bytes;
            ++writes;
            return true;
        },
        {{"COM1", 9600}}, "test");
    Discard out;
    SteadyClock clock;
    TrafficReport report(false, out, clock);
    int64_t now = kT0;
    report.setCapture(&capture, [&now] { return now++; });
    report.byteIn(ChipStatus::Idle, u"");
    report.frameOut("\xFD\x00\x02\x21\xDE"s);
    EXPECT_EQ(writes, 1); // the header only
    EXPECT_TRUE(report.captureHeld());
    report.flushCapture();
    EXPECT_FALSE(report.captureHeld());
    for (size_t i = 0; i < TrafficReport::kHeldPackets; ++i)
        report.byteIn(ChipStatus::Speaking, u"");
    EXPECT_FALSE(report.captureHeld());
    const CaptureContents c = ReadCapture(file);
    ASSERT_EQ(c.packets.size(), 2 + TrafficReport::kHeldPackets);
    EXPECT_EQ(c.packets[0].direction, CaptureDirection::FromChip);
    EXPECT_EQ(c.packets[0].timeUs, kT0); // stamped when it came, not when written
    EXPECT_EQ(c.packets[1].direction, CaptureDirection::ToChip);
    EXPECT_EQ(c.packets[1].comment, CaptureComment(c.packets[1].bytes));
}

} // namespace
