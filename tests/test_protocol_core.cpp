// The protocol core shared by the window and the command-line program: the
// cut of a text to one frame, the frame builders, the reply explanation and
// the position of a bad hex digit.
#include "frames/frame_builders.h"
#include "frames/hex_entry.h"
#include "frames/text_cut.h"
#include "serial/reply_status.h"
#include "tests/support/form_harness.h"

#include <gtest/gtest.h>

namespace {

const QString kHan = QStringLiteral("中");       // two GBK bytes
const QString kEmoji = QString::fromUtf16(u"😀"); // a surrogate pair: '?' '?'

struct CutCase {
    const char* name;
    QString text;
    qsizetype start;
    qsizetype units;
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
    ::testing::Values(CutCase{"Empty", QString(), 0, 0, 0, false},
                      CutCase{"StartAtEnd", QStringLiteral("abc"), 3, 0, 0, false},
                      CutCase{"StartPastEnd", QStringLiteral("abc"), 9, 0, 0, false},
                      CutCase{"NegativeStart", QStringLiteral("abc"), -1, 0, 0, false},
                      CutCase{"Short", QStringLiteral("你好"), 0, 2, 4, false},
                      CutCase{"Exactly200", QString(200, u'a'), 0, 200, 200, false},
                      CutCase{"Ascii201", QString(201, u'a'), 0, 200, 200, true},
                      CutCase{"HanStraddles", QString(199, u'a') + kHan, 0, 199, 199, true},
                      CutCase{"Han101", kHan.repeated(101), 0, 100, 200, true},
                      CutCase{"Han100Exactly", kHan.repeated(100), 0, 100, 200, false},
                      CutCase{"FromTheMiddle", QStringLiteral("xyz") + kHan.repeated(150), 3, 100,
                              200, true},
                      CutCase{"LineBreaksCount", QStringLiteral("a\r\nb"), 0, 4, 4, false},
                      // 198 bytes, then a pair: its halves stay together (200 bytes).
                      CutCase{"PairFitsWhole", QString(198, u'a') + kEmoji + QStringLiteral("b"), 0,
                              200, 200, true},
                      // 199 bytes, then a pair: cutting after its first half would split it.
                      CutCase{"PairNotSplit", QString(199, u'a') + kEmoji, 0, 199, 199, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cut, PiecesOfALongTextJoinToTheWholeText) {
    QString text;
    for (int i = 0; i < 777; ++i)
        text += (i % 7 == 0) ? QStringLiteral("\r\n") : (i % 3 ? kHan : QStringLiteral("x"));
    qsizetype start = 0;
    int pieces = 0;
    while (start < text.size()) {
        const TextCut cut = CutTextForFrame(text, start);
        ASSERT_GT(cut.units, 0);
        ASSERT_LE(cut.bytes, 200);
        // Every piece but the last fills the frame as far as whole characters allow.
        if (start + cut.units < text.size()) {
            EXPECT_GE(cut.bytes, 199);
        }
        start += cut.units;
        ++pieces;
    }
    EXPECT_EQ(start, text.size());
    EXPECT_GT(pieces, 5);
}

struct FrameCase {
    const char* name;
    QByteArray built;
    const char* expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class Builders : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Builders, ExactBytes) {
    EXPECT_EQ(GetParam().built.toHex(' ').toUpper(), QByteArray(GetParam().expected));
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
        FrameCase{"TextNiHao", TextFrame(QStringLiteral("你好")), "FD 00 07 01 01 C4 E3 BA C3 A4"},
        FrameCase{"TextMusic15", TextFrame(QStringLiteral("你好"), 15),
                  "FD 00 07 01 79 C4 E3 BA C3 DC"},
        FrameCase{"TextMusicOutOfRange", TextFrame(QStringLiteral("A"), 16),
                  "FD 00 04 01 01 41 B8"},
        FrameCase{"TextA", TextFrame(QStringLiteral("A")), "FD 00 04 01 01 41 B8"},
        FrameCase{"TextEmpty", TextFrame(QString()), ""},
        FrameCase{"MarkV10", MarkFrame(u"v10").value_or(QByteArray()),
                  "FD 00 08 01 01 5B 76 31 30 5D 84"},
        FrameCase{"HexAutomatic", HexFrame(Hex("FD 00 02 02"), ChecksumMode::Automatic),
                  "FD 00 02 02 FD"},
        FrameCase{"HexTyped", HexFrame(Hex("FD 00 02 02 FD"), ChecksumMode::Typed),
                  "FD 00 02 02 FD"},
        FrameCase{"HexOneByteAutomatic", HexFrame(Hex("FD"), ChecksumMode::Automatic), "FD FD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Builders, LongTextFrameCarriesTheCutPieceOnly) {
    const QByteArray frame = TextFrame(QString(199, u'a') + kHan);
    ASSERT_EQ(frame.size(), 205);
    EXPECT_EQ(uint8_t(frame[2]), 202);
    EXPECT_EQ(frame.mid(5, 199), QByteArray(199, 'a'));
}

TEST(Builders, MarksThatCannotBeSentAreRefused) {
    for (const QString& name :
         {QString(), QStringLiteral("v[1"), QStringLiteral("v]"), QStringLiteral("中"),
          QStringLiteral("a\tb"), QStringLiteral("a\x7f"), QString(199, u'a')})
        EXPECT_FALSE(MarkFrame(name).has_value()) << name.toStdString();
    const auto longest = MarkFrame(QString(198, u'a'));
    ASSERT_TRUE(longest.has_value());
    EXPECT_EQ(longest->size(), 206);
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
    EXPECT_EQ(e.log, QString::fromUtf8(c.log));
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
        ReplyCase{0x58, true, "", RateChange::None}, ReplyCase{0x00, false, "", RateChange::None}));

struct BadHexCase {
    const char* text;
    qsizetype firstBad;
};

void PrintTo(const BadHexCase& c, std::ostream* os) {
    *os << c.text;
}

class BadHex : public ::testing::TestWithParam<BadHexCase> {};

TEST_P(BadHex, PositionOfTheFirstBadDigit) {
    qsizetype bad = -2;
    EXPECT_FALSE(ParseHexGroups(QString::fromUtf8(GetParam().text), &bad).has_value());
    EXPECT_EQ(bad, GetParam().firstBad);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadHex,
                         ::testing::Values(BadHexCase{"fg", 1}, BadHexCase{"gf", 0},
                                           BadHexCase{"fd 0g 1x", 4}, BadHexCase{"fd 00 \r\n", 6},
                                           BadHexCase{"fd 中中", 3}, BadHexCase{"f", 1},
                                           BadHexCase{"x", 0}));

TEST(BadHex, GoodTextLeavesNoPositionAndTooLongHasNone) {
    qsizetype bad = -2;
    EXPECT_TRUE(ParseHexGroups(u"fd 00", &bad).has_value());
    EXPECT_EQ(bad, -1);
    EXPECT_FALSE(ParseHexGroups(QString(kMaxHexEntryLength + 1, u'0'), &bad).has_value());
    EXPECT_EQ(bad, -1);
}

} // namespace
