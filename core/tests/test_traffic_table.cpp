// The analysis table's texts that do not depend on a toolkit: the time of
// day in the platform's zone, and the CSV export.
#include "core/traffic_table.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockText, LocalTimeOfDayWhateverTheZone) {
    const int64_t hour = 3600 * 1000;
    const int64_t t = 1765152000000 + 3 * hour + 4 * 60000 + 5 * 1000 + 6; // 03:04:05.006 UTC
    const struct {
        UtcOffset offset;
        std::u16string text;
    } cases[] = {
        {{}, u"03:04:05.006"},
        {[=](int64_t) { return 8 * hour; }, u"11:04:05.006"},
        {[=](int64_t) { return -5 * hour; }, u"22:04:05.006"}, // the day before
        {[=](int64_t) { return 21 * hour; }, u"00:04:05.006"}, // the day after
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClockText(t, c.offset), c.text);
    EXPECT_EQ(ClockText(0, {}), u"00:00:00.000");
}

TEST(TrafficCsv, HeaderAndRowsInUtf8WithQuotedFields) {
    TrafficRecord record([] { return int64_t(1765152000000); });
    record.RecordSent(std::string("\xFD\x00\x02\x21\xDE", 5));
    record.RecordReply(0x41, false);
    std::string csv;
    int writes = 0;
    ASSERT_TRUE(WriteTrafficCsv(record, {}, [&](std::string_view bytes) {
        ++writes;
        csv += bytes;
        return true;
    }));
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(csv.substr(3, csv.find("\r\n") - 3), "时间,方向,字节,含义,校验,耗时");
    EXPECT_NE(csv.find("\r\n00:00:00.000,发送,FD 00 02 21 DE,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n00:00:00.000,接收,41,"), std::string::npos) << csv;
    // A refused write ends the export.
    EXPECT_FALSE(WriteTrafficCsv(record, {}, [](std::string_view) { return false; }));

    const struct {
        std::u16string in, out;
    } fields[] = {{u"plain", u"plain"},
                  {u"a,b", u"\"a,b\""},
                  {u"say \"hi\"", u"\"say \"\"hi\"\"\""},
                  {u"two\r\nlines", u"\"two\r\nlines\""}};
    for (const auto& f : fields)
        EXPECT_EQ(CsvField(f.in), f.out);
}

} // namespace
