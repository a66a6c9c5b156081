// The protocol core shared by the window and the command-line program: the
// cut of a text to one frame, the frame builders, the reply explanation and
// the position of a bad hex digit.
#include "core/frame_builders.h"
#include "core/hex_entry.h"
#include "core/text_cut.h"
#include "core/text_util.h"
#include "core/reply_status.h"
#include "core/line_rates.h"
#include "core/tests/bytes.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

namespace {

std::u16string Repeated(const std::u16string& s, int n) {
    std::u16string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

const std::u16string kHan = u"中";   // two GBK bytes
const std::u16string kEmoji = u"😀"; // a surrogate pair: '?' '?'

struct CutCase {
    const char* name;
    std::u16string text;
    std::ptrdiff_t start;
    std::ptrdiff_t units;
    int bytes;
    bool trimmed;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

class Cut : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cut, PieceAndByteCount) {
    const CutCase& c = GetParam();
    const TextCut cut = CutTextForFrame(c.text, c.start);
    EXPECT_EQ(cut.units, c.units);
    EXPECT_EQ(cut.bytes, c.bytes);
    EXPECT_EQ(cut.trimmed, c.trimmed);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Cut,
    ::testing::Values(CutCase{"Empty", u"", 0, 0, 0, false},
                      CutCase{"StartAtEnd", u"abc", 3, 0, 0, false},
                      CutCase{"StartPastEnd", u"abc", 9, 0, 0, false},
                      CutCase{"NegativeStart", u"abc", -1, 0, 0, false},
                      CutCase{"Short", u"你好", 0, 2, 4, false},
                      CutCase{"Exactly200", std::u16string(200, u'a'), 0, 200, 200, false},
                      CutCase{"Ascii201", std::u16string(201, u'a'), 0, 200, 200, true},
                      CutCase{"HanStraddles", std::u16string(199, u'a') + kHan, 0, 199, 199, true},
                      CutCase{"Han101", Repeated(kHan, 101), 0, 100, 200, true},
                      CutCase{"Han100Exactly", Repeated(kHan, 100), 0, 100, 200, false},
                      CutCase{"FromTheMiddle", std::u16string(u"xyz") + Repeated(kHan, 150), 3, 100,
                              200, true},
                      CutCase{"LineBreaksCount", u"a\r\nb", 0, 4, 4, false},
                      // 198 bytes, then a pair: its halves stay together (200 bytes).
                      CutCase{"PairFitsWhole", std::u16string(198, u'a') + kEmoji + u"b", 0,
                              200, 200, true},
                      // 199 bytes, then a pair: cutting after its first half would split it.
                      CutCase{"PairNotSplit", std::u16string(199, u'a') + kEmoji, 0, 199, 199, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cut, PiecesOfALongTextJoinToTheWholeText) {
    std::u16string text;
    for (int i = 0; i < 777; ++i)
        text += (i % 7 == 0) ? u"\r\n" : (i % 3 ? kHan : u"x");
    std::ptrdiff_t start = 0;
    int pieces = 0;
    while (start < std::ptrdiff_t(text.size())) {
        const TextCut cut = CutTextForFrame(text, start);
        ASSERT_GT(cut.units, 0);
        ASSERT_LE(cut.bytes, 200);
        // Every piece but the last fills the frame as far as whole characters allow.
        if (start + cut.units < std::ptrdiff_t(text.size())) {
            EXPECT_GE(cut.bytes, 199);
        }
        start += cut.units;
        ++pieces;
    }
    EXPECT_EQ(start, std::ptrdiff_t(text.size()));
    EXPECT_GT(pieces, 5);
}

struct FrameCase {
    const char* name;
    std::string built;
    const char* expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class Builders : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Builders, ExactBytes) {
    EXPECT_EQ(SpacedHex(GetParam().built), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Builders,
    ::testing::Values(
        FrameCase{"Stop", ControlFrame(FrameCommand::Stop), "FD 00 02 02 FD"},
        FrameCase{"Pause", ControlFrame(FrameCommand::Pause), "FD 00 02 03 FC"},
        FrameCase{"Resume", ControlFrame(FrameCommand::Resume), "FD 00 02 04 FB"},
        FrameCase{"Query", ControlFrame(FrameCommand::Query), "FD 00 02 21 DE"},
        FrameCase{"Sleep", ControlFrame(FrameCommand::Sleep), "FD 00 02 88 77"},
        FrameCase{"Rate9600", SetRateFrame(0), "FD 00 03 31 00 CF"},
        FrameCase{"Rate19200", SetRateFrame(1), "FD 00 03 31 01 CE"},
        FrameCase{"Rate38400", SetRateFrame(2), "FD 00 03 31 02 CD"},
        FrameCase{"RateUnknown", SetRateFrame(3), ""},
        FrameCase{"TextNiHao", TextFrame(u"你好"), "FD 00 07 01 01 C4 E3 BA C3 A4"},
        FrameCase{"TextMusic15", TextFrame(u"你好", 15),
                  "FD 00 07 01 79 C4 E3 BA C3 DC"},
        FrameCase{"TextMusicOutOfRange", TextFrame(u"A", 16),
                  "FD 00 04 01 01 41 B8"},
        FrameCase{"TextA", TextFrame(u"A"), "FD 00 04 01 01 41 B8"},
        FrameCase{"TextEmpty", TextFrame(u""), ""},
        FrameCase{"MarkV10", MarkFrame(u"v10").value_or(std::string()),
                  "FD 00 08 01 01 5B 76 31 30 5D 84"},
        FrameCase{"HexAutomatic", HexFrame(Hex("FD 00 02 02"), ChecksumMode::Automatic),
                  "FD 00 02 02 FD"},
        FrameCase{"HexTyped", HexFrame(Hex("FD 00 02 02 FD"), ChecksumMode::Typed),
                  "FD 00 02 02 FD"},
        FrameCase{"HexOneByteAutomatic", HexFrame(Hex("FD"), ChecksumMode::Automatic), "FD FD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Builders, LongTextFrameCarriesTheCutPieceOnly) {
    const std::string frame = TextFrame(std::u16string(199, u'a') + kHan);
    ASSERT_EQ(frame.size(), 205u);
    EXPECT_EQ(uint8_t(frame[2]), 202);
    EXPECT_EQ(frame.substr(5, 199), std::string(199, 'a'));
}

TEST(Builders, MarksThatCannotBeSentAreRefused) {
    for (const std::u16string& name : {std::u16string(), std::u16string(u"v[1"), std::u16string(u"v]"),
                                       std::u16string(u"中"), std::u16string(u"a\tb"),
                                       std::u16string(u"a\x7f"), std::u16string(199, u'a')})
        EXPECT_FALSE(MarkFrame(name).has_value()) << name.size();
    const auto longest = MarkFrame(std::u16string(198, u'a'));
    ASSERT_TRUE(longest.has_value());
    EXPECT_EQ(longest->size(), 206u);
    EXPECT_TRUE(MarkFrame(u"d").has_value());
}

TEST(Builders, RateIndexesAndRates) {
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RateIndexOf(RateOfIndex(i)), i);
    EXPECT_EQ(RateIndexOf(115200), -1);
    EXPECT_EQ(RateOfIndex(-1), 0);
}

struct ReplyCase {
    uint8_t status;
    bool pending;
    const char* log;
    RateChange rate;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << int(c.status) << (c.pending ? " pending" : "");
}

class Replies : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Replies, LogLineAndRateOutcome) {
    const ReplyCase& c = GetParam();
    const ReplyExplanation e = ExplainReply(c.status, c.pending);
    EXPECT_EQ(e.log, Utf16FromUtf8(c.log));
    EXPECT_EQ(e.rate, c.rate);
}

INSTANTIATE_TEST_SUITE_P(
    StatusBytes, Replies,
    ::testing::Values(
        ReplyCase{0x41, false, "<-0x41  接收成功", RateChange::None},
        ReplyCase{0x41, true, "<-0x41  接收成功   波特率已修改成功", RateChange::Done},
        ReplyCase{0x45, false, "<-0x45  接收失败", RateChange::None},
        ReplyCase{0x45, true, "<-0x45  接收失败  波特率未成功修改", RateChange::Refused},
        ReplyCase{0x4A, true, "<-0x4A  初始化成功回传", RateChange::None},
        ReplyCase{0x4E, true, "<-0x4E  芯片正在播音", RateChange::None},
        ReplyCase{0x4F, true, "<-0x4F  芯片空闲", RateChange::None},
        ReplyCase{0x58, true, "", RateChange::None}, ReplyCase{0x00, false, "", RateChange::None}),
    [](const auto& info) {
        return vxt_test::CaseName("Status " + std::to_string(info.param.status) +
                                  (info.param.pending ? " pending" : ""));
    });

struct BadHexCase {
    const char* text;
    std::ptrdiff_t firstBad;
};

void PrintTo(const BadHexCase& c, std::ostream* os) {
    *os << c.text;
}

class BadHex : public ::testing::TestWithParam<BadHexCase> {};

TEST_P(BadHex, PositionOfTheFirstBadDigit) {
    std::ptrdiff_t bad = -2;
    EXPECT_FALSE(ParseHexGroups(Utf16FromUtf8(GetParam().text), &bad).has_value());
    EXPECT_EQ(bad, GetParam().firstBad);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadHex,
                         ::testing::Values(BadHexCase{"fg", 1}, BadHexCase{"gf", 0},
                                           BadHexCase{"fd 0g 1x", 4}, BadHexCase{"fd 00 \r\n", 6},
                                           BadHexCase{"fd 中中", 3}, BadHexCase{"f", 1},
                                           BadHexCase{"x", 0}),
                         [](const auto& info) { return vxt_test::CaseName(info.param.text, info.index); });

TEST(BadHex, GoodTextLeavesNoPositionAndTooLongHasNone) {
    std::ptrdiff_t bad = -2;
    EXPECT_TRUE(ParseHexGroups(u"fd 00", &bad).has_value());
    EXPECT_EQ(bad, -1);
    EXPECT_FALSE(ParseHexGroups(std::u16string(kMaxHexEntryLength + 1, u'0'), &bad).has_value());
    EXPECT_EQ(bad, -1);
}

} // namespace
