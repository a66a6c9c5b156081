// The monitor of a tapped line: each fault a controller can make is found
// once, at the frame it concerns, and a controller that keeps the rules gets
// no finding.
#include "bytes.h"
#include "core/commands.h"
#include "core/frame_builders.h"
#include "core/tap_monitor.h"
#include "row_name.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

struct Event {
    TapSide side;
    int64_t ms;
    std::string bytes;
    std::string chip = {}; // with together: the chip's bytes of the same turn
    bool together = false;
};

Event H(int64_t ms, std::string bytes) {
    return {TapSide::Host, ms, std::move(bytes)};
}
Event C(int64_t ms, const char* hex) {
    return {TapSide::Chip, ms, Hex(hex)};
}
// Both sides read in the same turn.
Event T(int64_t ms, std::string host, const char* chipHex) {
    return {TapSide::Host, ms, std::move(host), Hex(chipHex), true};
}

// "H frame", "C 41", "H stray stray_bytes": a row's side, kind and findings.
std::vector<std::string> Rows(const TapMonitor& m) {
    std::vector<std::string> rows;
    for (int64_t r = m.First(); r < m.End(); ++r) {
        const TapItem& item = m.At(r);
        std::string s = item.side == TapSide::Host ? "H " : "C ";
        if (item.kind == TapItem::Kind::Frame)
            s += "frame";
        else if (item.kind == TapItem::Kind::Stray)
            s += "stray";
        else
            s += SpacedHex(item.bytes);
        for (const TapFinding f : item.findings)
            s += " " + std::string(TapFindingKey(f));
        rows.push_back(s);
    }
    return rows;
}

TapMonitor Watch(const std::vector<Event>& events, int64_t endMs) {
    TapMonitor m;
    for (const Event& e : events) {
        if (e.together)
            m.FeedTogether(e.ms * 1000, e.bytes, e.chip);
        else
            m.Feed(e.side, e.ms * 1000, e.bytes);
    }
    m.Finish(endMs * 1000);
    return m;
}

struct StreamCase {
    const char* name;
    std::vector<Event> events;
    int64_t endMs;
    std::vector<std::string> rows;
    int rateIndex = 0;
};

class TapStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(TapStream, CutsDecodesAndFindsEachFaultOnce) {
    const StreamCase& c = GetParam();
    const TapMonitor m = Watch(c.events, c.endMs);
    EXPECT_EQ(Rows(m), c.rows);
    EXPECT_EQ(m.RateIndex(), c.rateIndex);
    // The counts agree with the rows: every finding keys contain a '_'.
    int64_t findings = 0;
    for (const std::string& row : c.rows) {
        std::istringstream words(row);
        for (std::string word; words >> word;)
            findings += word.find('_') != std::string::npos;
    }
    EXPECT_EQ(m.FindingTotal(), findings);
}

const std::string kQuery = ControlFrame(FrameCommand::Query);
const std::string kText = TextFrame(u"你好");
const std::string kLongText = TextFrame(std::u16string(100, u'好')); // 206 bytes

INSTANTIATE_TEST_SUITE_P(
    Streams, TapStream,
    ::testing::Values(
        StreamCase{"QueryAnswered",
                   {H(0, kQuery), C(5, "41"), C(6, "4F")},
                   100,
                   {"H frame", "C 41", "C 4F"}},
        StreamCase{"TextSpokenThenNext",
                   {H(0, kText), C(10, "41"), C(2000, "4F"), H(2100, kQuery), C(2105, "41")},
                   2200,
                   {"H frame", "C 41", "C 4F", "H frame", "C 41"}},
        // Two frames in one read, answered soon: a port server may have held
        // the first frame's answer back, so no order can be told.
        StreamCase{"FramesBackToBackAreTwo",
                   {H(0, kQuery + kQuery), C(5, "41 41")},
                   100,
                   {"H frame", "C 41", "H frame", "C 41"}},
        // Read in one turn: an answer goes after the frame it answers, an
        // idle byte before the text it let the controller send.
        StreamCase{"FrameAndItsAnswerInOneTurn",
                   {T(0, kText, "41"), C(50, "4F")},
                   100,
                   {"H frame", "C 41", "C 4F"}},
        StreamCase{"IdleAndTheNextTextInOneTurn",
                   {H(0, kText), C(5, "41"), T(50, kText, "4F"), C(55, "41")},
                   100,
                   {"H frame", "C 41", "C 4F", "H frame", "C 41"}},
        StreamCase{"IdleTheNextTextAndItsAnswerInOneTurn",
                   {H(0, kText), C(5, "41"), T(50, kText, "4F 41"), C(500, "4F")},
                   600,
                   {"H frame", "C 41", "C 4F", "H frame", "C 41", "C 4F"}},
        // Two frames and three answers in one turn (two port servers).
        StreamCase{"TwoFramesAndTheirAnswersInOneTurn",
                   {H(0, kText), C(5, "41"), T(50, SetRateFrame(1) + kQuery, "4F 41 4F")},
                   100,
                   {"H frame", "C 41", "C 4F", "H frame", "C 41", "H frame", "C 4F"},
                   1},
        // The controller's tap delivers late: the answers wait for their frames.
        StreamCase{
            "AnswersBeforeTheirFramesFromALaggingTap",
            {H(0, kText), C(5, "41"), C(60, "4F"), C(70, "41 4F"), H(75, SetRateFrame(1) + kQuery)},
            200,
            {"H frame", "C 41", "C 4F", "H frame", "C 41", "H frame", "C 4F"},
            1},
        // An answer to nothing seen stays an answer to nothing once waited for.
        StreamCase{"AnAnswerToNothing",
                   {C(0, "41"), H(100, kQuery), C(105, "4F")},
                   200,
                   {"C 41", "H frame", "C 4F"}},
        StreamCase{"QueryAndItsStatusInOneTurn",
                   {H(0, kText), C(5, "41"), T(50, kQuery, "4E"), C(500, "4F")},
                   600,
                   {"H frame", "C 41", "H frame", "C 4E", "C 4F"}},
        StreamCase{"AnAnswerToTheOlderFrameFirst",
                   {H(0, kQuery), T(1, kQuery, "4F"), C(2, "4F")},
                   100,
                   {"H frame", "C 4F", "H frame", "C 4F"}},
        StreamCase{"WrongChecksum",
                   {H(0, Hex("FD 00 02 21 00")), C(5, "45")},
                   100,
                   {"H frame bad_checksum", "C 45"}},
        // The controller counted one byte too few: what follows the declared
        // end without a pause is still its frame.
        StreamCase{"LengthFieldShort",
                   {H(0, Hex("FD 00 01 21 DD")), C(5, "45")},
                   100,
                   {"H frame bad_length", "C 45"}},
        StreamCase{"LengthFieldLong",
                   {H(0, Hex("FD 00 05 21 D9")), C(40, "45")},
                   100,
                   {"H frame bad_length", "C 45"}},
        StreamCase{"UnknownCommand",
                   {H(0, Hex("FD 00 02 77 88")), C(5, "45")},
                   100,
                   {"H frame unknown_command", "C 45"}},
        StreamCase{"NoGbkText",
                   {H(0, Hex("FD 00 05 01 01 81 7F 06")), C(5, "41"), C(50, "4F")},
                   100,
                   {"H frame bad_text", "C 41", "C 4F"}},
        StreamCase{"GarbageBeforeAFrame",
                   {H(0, Hex("00 11")), H(1, kQuery), C(5, "41")},
                   100,
                   {"H stray stray_bytes", "H frame", "C 41"}},
        // A line that never pauses still makes rows, each of bounded size.
        StreamCase{"EndlessGarbage",
                   {H(0, std::string(kMaxStrayBytes + 1, '\x01')),
                    {TapSide::Chip, 1, std::string(kMaxStrayBytes + 1, '\x99')}},
                   100,
                   {"H stray stray_bytes", "H stray stray_bytes", "C stray stray_bytes",
                    "C stray stray_bytes"}},
        StreamCase{"EndlessBytesPastAFrame",
                   {H(0, kQuery + std::string(kMaxStrayBytes + 1, '\x01')), C(5, "41")},
                   100,
                   {"H frame bad_length", "H stray stray_bytes", "C 41"}},
        // The chip's end of speech crosses a frame still coming: no cut.
        StreamCase{"ChipByteDuringAFrame",
                   {H(0, kText), C(5, "41"), H(100, kQuery.substr(0, 2)), C(101, "4F"),
                    H(102, kQuery.substr(2)), C(105, "4F")},
                   200,
                   {"H frame", "C 41", "C 4F", "H frame", "C 4F"}},
        // A read that came late brings what the line carried meanwhile: no
        // pause of the line, no frame cut; two bytes after as long are one.
        StreamCase{"ALateReadIsNoPause",
                   {H(0, kLongText.substr(0, 10)), H(150, kLongText.substr(10)), C(155, "41")},
                   300,
                   {"H frame", "C 41"}},
        StreamCase{"APauseOfTheLine",
                   {H(0, kLongText.substr(0, 10)), H(150, kLongText.substr(10, 2))},
                   300,
                   {"H frame bad_checksum bad_length", "H stray stray_bytes"}},
        // Begun mid-frame, on a text's FD byte: the next frame is found.
        StreamCase{"BegunMidFrame",
                   {H(0, Hex("FD CC FD") + kQuery), C(5, "41")},
                   100,
                   {"H stray stray_bytes", "H frame", "C 41"}},
        StreamCase{"ChipByteOfNoStatus",
                   {H(0, kQuery), C(5, "41 99 98"), C(6, "4F")},
                   100,
                   {"H frame", "C 41", "C stray stray_bytes", "C 4F"}},
        StreamCase{"TextWhileSpeaking",
                   {H(0, kText), C(5, "41"), H(100, kText), C(105, "41"), C(900, "4F")},
                   1000,
                   {"H frame", "C 41", "H frame cuts_speech", "C 41", "C 4F"}},
        // The chip's end of speech reaches us a little after the next
        // text, over a slower port: no cut.
        StreamCase{"ALateIdleByte",
                   {H(0, kText), C(5, "41"), H(1000, kText), C(1010, "4F"), C(1015, "41")},
                   1100,
                   {"H frame", "C 41", "C 4F", "H frame", "C 41"}},
        StreamCase{"StopWhileSpeakingIsNoFault",
                   {H(0, kText), C(5, "41"), H(100, ControlFrame(FrameCommand::Stop)), C(105, "41"),
                    H(200, kText), C(205, "41")},
                   300,
                   {"H frame", "C 41", "H frame", "C 41", "H frame", "C 41"}},
        StreamCase{"NoAnswer",
                   {H(0, kQuery), H(1500, kQuery), C(1505, "41")},
                   1600,
                   {"H frame no_answer", "H frame", "C 41"}},
        // Early beyond what the two ports' delays can explain (50 ms).
        StreamCase{"BeforeThePreviousAnswer",
                   {H(0, kQuery), H(50, kQuery), C(120, "41"), C(121, "41")},
                   200,
                   {"H frame", "H frame early_frame", "C 41", "C 41"}},
        // A rate change and the query after it read together, their answers
        // a moment later over the other port: in the order of the line, no
        // frame taken for early.
        StreamCase{"AnswersLaterThanTheirFrames",
                   {H(0, kText), C(5, "41"), H(900, SetRateFrame(1) + kQuery), C(901, "4F 41 4F")},
                   1000,
                   {"H frame", "C 41", "C 4F", "H frame", "C 41", "H frame", "C 4F"},
                   1},
        StreamCase{"RateChangeFollowed",
                   {H(0, SetRateFrame(1)), C(5, "41"), H(100, kQuery), C(105, "41")},
                   200,
                   {"H frame", "C 41", "H frame", "C 41"},
                   1},
        StreamCase{"RateChangeNotFollowed",
                   {H(0, SetRateFrame(2)), C(5, "41"), H(100, Hex("80 00 F8"))},
                   2000,
                   {"H frame", "C 41", "H stray rate_not_followed"},
                   2},
        StreamCase{"RateChangeRefused",
                   {H(0, SetRateFrame(1)), C(5, "45"), H(100, Hex("80"))},
                   200,
                   {"H frame", "C 45", "H stray stray_bytes"}}),
    vxt_test::RowName());

// The timings of a text: its answer and end of speech found, the pause
// before it measured from the chip's last byte.
TEST(TapTimings, AnswerSpeechAndGapOfAText) {
    const TapMonitor m = Watch(
        {H(0, kQuery), C(2, "41"), C(3, "4F"), H(50, kText), C(60, "41"), C(1060, "4F")}, 1100);
    const TapItem& text = m.At(3);
    EXPECT_EQ(text.gapUs, 47'000);
    ASSERT_EQ(text.answer, 4);
    ASSERT_EQ(text.idle, 5);
    EXPECT_EQ(m.At(4).answers, 3);
    EXPECT_EQ(m.At(5).answers, 3);
    EXPECT_EQ(m.At(5).startUs - m.At(4).startUs, 1'000'000);
    EXPECT_EQ(TapMeaning(m.At(4)), u"<-0x41  接收成功");
    EXPECT_EQ(m.Frames(), 2);
    EXPECT_EQ(m.StatusBytes(), 4);
}

// A frame that keeps coming byte by byte is one frame; a pause of the
// silence time ends bytes of no frame; the oldest rows go past the limit.
TEST(TapStreaming, BytesSpreadOverFeedsAndALimitOfRows) {
    TapMonitor::Options options;
    options.maxRows = 3;
    TapMonitor m(options);
    for (size_t i = 0; i < kQuery.size(); ++i)
        m.Feed(TapSide::Host, int64_t(i) * 1000, kQuery.substr(i, 1));
    m.Feed(TapSide::Chip, 10'000, "\x41");
    m.Feed(TapSide::Host, 20'000, "\x01");
    m.Advance(60'000);
    m.Feed(TapSide::Host, 70'000, "\x02");
    m.Finish(100'000);
    EXPECT_EQ(m.First(), 1);
    EXPECT_EQ(Rows(m),
              (std::vector<std::string>{"C 41", "H stray stray_bytes", "H stray stray_bytes"}));
    EXPECT_EQ(m.Count(TapFinding::StrayBytes), 2);
    EXPECT_EQ(m.TakeChanged(), (std::vector<int64_t>{1, 2, 3}));

    // Big rows: the bound on memory lets the oldest go sooner.
    options.maxRows = 100;
    TapItem stray;
    stray.bytes.assign(kMaxStrayBytes, '\x01');
    options.maxBytes = 2 * TapItemBytes(stray);
    TapMonitor big(options);
    big.Feed(TapSide::Host, 0, std::string(5 * kMaxStrayBytes, '\x01'));
    big.Finish(100'000);
    EXPECT_EQ(big.End(), 5);
    EXPECT_EQ(big.First(), 3);
}

} // namespace
