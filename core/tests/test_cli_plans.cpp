// The command-line program's frame plans and the JSON it prints: what a
// typed frame waits for, where typed hex is refused, how strings are escaped.
#include "core/cli_session.h"
#include "core/exit_status.h"
#include "core/frame_plan.h"
#include "core/json_writer.h"
#include "core/tests/bytes.h"
#include "core/traffic_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Json, StringsAreEscapedAsBefore) {
    EXPECT_EQ(JsonString("引号\" \\ \n\r\t\x01\x1f\x7f"),
              "\"引号\\\" \\\\ \\n\\r\\t\\u0001\\u001f\x7f\"");
    EXPECT_EQ(JsonObject({{"a", 1}, {"b", JsonValue()}, {"c", true}, {"d", int64_t{-5}}}),
              "{\"a\": 1, \"b\": null, \"c\": true, \"d\": -5}");
}

// Bytes from a link, a file or a server: JSON stays valid UTF-8, and a
// terminal gets no escape sequence to act on.
TEST(Json, BytesThatAreNoTextStayVisibleAndValid) {
    const struct {
        const char* bytes;
        const char* json;
        const char* complaint;
    } cases[] = {
        {"com3 -> \x1b[2J\x1b]0;x\x07", "\"com3 -> \\u001b[2J\\u001b]0;x\\u0007\"",
         "vxt4710-cli: com3 -> \\x1B[2J\\x1B]0;x\\x07\n"},
        {"a\xff\xc3(b", "\"a\\\\xFF\\\\xC3(b\"", "vxt4710-cli: a\\xFF\\xC3(b\n"},
        {"\xe4\xbd\xa0\xe4\xbd", "\"你\\\\xE4\\\\xBD\"", "vxt4710-cli: 你\\xE4\\xBD\n"},
        {"\xc2\x9b"
         "31m\x7f\tx",
         "\"\\u009b"
         "31m\x7f\\tx\"",
         "vxt4710-cli: \\xC2\\x9B31m\\x7F\tx\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.bytes), c.json) << c.bytes;
        EXPECT_EQ(ComplaintText(c.bytes), c.complaint) << c.bytes;
    }
}

// A network port's failure names the address and the reason first; a serial
// port keeps the designed message.
TEST(Plans, PortFailureTextPerKindOfPort) {
    EXPECT_EQ(PortFailureText("rfc2217://127.0.0.1:9", LineError{"connection refused"}),
              "network port rfc2217://127.0.0.1:9: connection refused");
    EXPECT_EQ(PortFailureText("/dev/ttyUSB0", LineError{"No such file or directory"}),
              "串口不存在或被占用,若电脑没有串口，请使用USB转串口设备\n/dev/ttyUSB0: No such file "
              "or directory");
}

TEST(Plans, HexRefusalsNameThePlaceAndBlanksBeyondAscii) {
    const struct {
        const char16_t* text;
        const char* frame; // nullptr: refused
        const char* error;
    } cases[] = {
        // An ideographic space at the end is a separator, not a lost digit.
        {u"fd 00\u3000", "FD 00 FD", ""},
        {u"fd 0\u3000", nullptr,
         "格式不匹配，不是16进制数值\nposition 5: U+3000 is no hexadecimal digit"},
        {u"fd 00 \u4f60", nullptr,
         "格式不匹配，不是16进制数值\nposition 7: '你' is no hexadecimal digit"},
        {u"fd 00 0", nullptr,
         "格式不匹配，不是16进制数值\nposition 7: '0' is a lone digit at the end (a byte takes "
         "two)"},
        {u"", nullptr, "hex: the text is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const FramePlan plan = PlanHex(c.text, false);
        if (c.frame) {
            ASSERT_EQ(plan.frames.size(), 1u) << plan.error;
            EXPECT_EQ(SpacedHex(plan.frames[0].bytes), c.frame);
        } else {
            EXPECT_EQ(plan.status, ExitStatus::Usage);
            EXPECT_TRUE(plan.frames.empty());
            EXPECT_EQ(plan.error, c.error);
        }
    }
}

// A typed frame waits for what its command gets.
TEST(Plans, TypedFramesWaitAsTheirCommand) {
    const struct {
        const char* frame;
        Await await;
        int rate;
    } cases[] = {
        {"FD 00 02 21", Await::Status, 0},
        {"FD 00 03 31 02", Await::RateChange, 38400},
        {"FD 00 03 31 07", Await::Acceptance, 0}, // no rate the chip knows
        {"FD 00 04 01 01 41", Await::AcceptanceThenIdle, 0},
        {"FE 00 02 21", Await::Acceptance, 0}, // no frame header
        {"FD 00", Await::Acceptance, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        int rate = -1;
        EXPECT_EQ(AwaitOfTypedFrame(Hex(c.frame), &rate), c.await);
        EXPECT_EQ(rate, c.rate);
    }
}

TEST(Plans, TimeoutSecondsAsMessagesShowThem) {
    EXPECT_EQ(SecondsText(60), "60");
    EXPECT_EQ(SecondsText(0.25), "0.25");
    EXPECT_EQ(SecondsText(0.001), "0.001");
    EXPECT_EQ(SecondsText(86400), "86400");
    EXPECT_EQ(SecondsText(1234.5678), "1234.57");
}

} // namespace

namespace {

// A mark's text goes into messages as it is, a "%1" in it included.
TEST(Plans, MarkTextStandsInItsMessagesAsTyped) {
    const FramePlan refused = PlanMark(u"%1[");
    EXPECT_EQ(refused.status, ExitStatus::Usage);
    EXPECT_EQ(refused.error, "mark: '%1[' cannot be a control mark: printable ASCII without "
                             "brackets, 1 to 198 characters");
    const FramePlan sent = PlanMark(u"%1");
    ASSERT_EQ(sent.frames.size(), 1u);
    EXPECT_EQ(sent.frames[0].what, "the mark frame [%1]");
    EXPECT_EQ(sent.frames[0].bytes.substr(5, 4), "[%1]");
}

} // namespace
