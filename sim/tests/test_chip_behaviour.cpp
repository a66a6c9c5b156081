// The simulated chip's model: attributes from control marks and the speaking
// time they give, time on the wire, and faults drawn from a seed.
#include "sim/chip_model.h"
#include "testsupport/form_harness.h"

#include <gtest/gtest.h>

using chipsim::Attributes;
using chipsim::ChipConfig;
using chipsim::ChipModel;

namespace {

std::string Bytes(const char* spaced) {
    return Hex(spaced).toStdString();
}

// A synthesis frame (parameter 01) around a GBK text.
std::string TextFrame(const std::string& text, uint8_t param = 0x01) {
    std::string f = "\xFD";
    f += static_cast<char>((text.size() + 3) >> 8);
    f += static_cast<char>((text.size() + 3) & 0xFF);
    f += '\x01';
    f += static_cast<char>(param);
    f += text;
    uint8_t sum = 0;
    for (char c : f)
        sum ^= static_cast<uint8_t>(c);
    return f + static_cast<char>(sum);
}

ChipModel Powered(const ChipConfig& config) {
    ChipModel chip(config);
    chip.Start(0);
    chip.TakeBytes();
    chip.TakeLines();
    return chip;
}

// The speaking time the chip announces for a text.
int64_t SpokenMs(const std::string& text) {
    ChipModel chip = Powered({});
    chip.Feed(TextFrame(text), 9600, 0);
    return chip.NextDeadline();
}

const std::string kNiHao = "\xC4\xE3\xBA\xC3"; // 你好: 2 x 250 ms at the defaults

TEST(ChipAttributes, SpeedAndStyleSetTheSpeakingTime) {
    const struct {
        std::string text;
        int64_t ms;
    } cases[] = {
        {kNiHao, 500},
        {"[t4]" + kNiHao, 500},
        {"[t0]" + kNiHao, 833},         // 10/6
        {"[t5]" + kNiHao, 417},         // 5/6
        {"[o1]" + kNiHao, 750},         // word by word: 1.5
        {"[t0][o1]" + kNiHao, 1250},    // both
        {"\xC4\xE3[t0]\xBA\xC3", 667},  // 250 + 417: a mark takes effect where it stands
        {"[t0][d]" + kNiHao, 500},      // [d] restores the defaults
        {"[v16][m0][r]" + kNiHao, 500}, // volumes and [r]: no effect on time
        {"[t6]" + kNiHao, 500},         // out of range: ignored
        {"[t05]" + kNiHao, 500},        // leading zero: no mark of the chip
        {"[x3]" + kNiHao, 500},         // unknown
        {"[t0]AB", 333},                // single-byte characters: 100 ms each
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpokenMs(c.text), c.ms) << c.text;
    EXPECT_GT(SpokenMs("[t0]" + kNiHao), SpokenMs("[t5]" + kNiHao));
}

TEST(ChipAttributes, MarksLastFromFrameToFrameAndShowInTheReport) {
    ChipModel chip = Powered({});
    const struct {
        std::string text;
        const char* after;
    } steps[] = {
        {"[v0]", "v0 m4 t4 o0"},    {"[m16]", "v0 m16 t4 o0"},
        {"[t0]", "v0 m16 t0 o0"},   {"[o1]", "v0 m16 t0 o1"},
        {"[v16]", "v16 m16 t0 o1"}, {"[v17]", "v16 m16 t0 o1"}, // out of range: the volume stays
        {"[d]", "v10 m4 t4 o0"},    {"[t2]A[o1]", "v10 m4 t2 o1"},
    };
    int64_t now = 0;
    for (const auto& s : steps) {
        now += 10000;
        chip.Feed(TextFrame(s.text), 9600, now);
        const std::vector<std::string> lines = chip.TakeLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines[0].ends_with(std::string("| now ") + s.after)) << lines[0];
    }
    // A mark set earlier slows the next text down.
    now += 10000;
    chip.Feed(TextFrame(kNiHao), 9600, now);
    EXPECT_EQ(chip.NextDeadline() - now, 1000); // t2: 8/6, word by word: 1.5
    chip.TakeLines();
    // Other frames report the attributes too; music shows for synthesis.
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, now + 1);
    EXPECT_TRUE(chip.TakeLines()[0].ends_with("query status | now v10 m4 t2 o1"));
    chip.Feed(TextFrame("A", 0x09), 9600, now + 2);
    EXPECT_NE(chip.TakeLines()[0].find("music 1, encoding 1 | now"), std::string::npos);
}

TEST(ChipAttributes, UnknownMarksAreReportedAndIgnored) {
    ChipModel chip = Powered({});
    chip.Feed(TextFrame("[s5]A[v99]"), 9600, 0);
    const std::vector<std::string> lines = chip.TakeLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "unknown mark [s5], ignored"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "unknown mark [v99], ignored"), lines.end());
    EXPECT_EQ(chip.Attrs(), Attributes{});
    EXPECT_EQ(ChipModel::HexOf(chip.TakeBytes()), "41");
}

TEST(ChipAttributes, TheVoiceGetsTheAttributesWhereTheTextStarts) {
    ChipModel chip = Powered({});
    chip.Feed(TextFrame("[v3][t0]" + kNiHao + "[v9]"), 9600, 0);
    const auto voice = chip.TakeVoice();
    ASSERT_EQ(voice.size(), 1u);
    EXPECT_EQ(voice[0].utf8Text, "你好");
    EXPECT_EQ(voice[0].attributes.volume, 3);
    EXPECT_EQ(voice[0].attributes.speed, 0);
    EXPECT_EQ(chip.Attrs().volume, 9);
}

TEST(LineTiming, AFrameCountsOnlyWhenItsLastByteHasArrived) {
    const struct {
        int rate;
        size_t frameBytes;
        int64_t arrivesMs; // ceil(bytes x 10 bits / rate)
    } cases[] = {{9600, 206, 215}, {19200, 206, 108}, {38400, 206, 54}, {9600, 5, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        ChipConfig config;
        config.lineTiming = true;
        config.timeScale = 0;
        ChipModel chip = Powered(config);
        if (c.rate != 9600) { // the chip must listen at that rate first
            chip.Feed(Bytes(c.rate == 19200 ? "FD 00 03 31 01 CE" : "FD 00 03 31 02 CD"), 9600, 0);
            chip.Tick(1000);
            chip.TakeBytes();
        }
        const int64_t t0 = 2000;
        const std::string frame =
            c.frameBytes == 5 ? Bytes("FD 00 02 21 DE") : TextFrame(std::string(200, 'A'));
        ASSERT_EQ(frame.size(), c.frameBytes);
        chip.Feed(frame, c.rate, t0);
        EXPECT_EQ(chip.TakeBytes(), "");
        // The chip wakes for the first byte to arrive.
        EXPECT_GT(chip.NextDeadline(), t0);
        EXPECT_LE(chip.NextDeadline(), t0 + 2);
        chip.Tick(t0 + c.arrivesMs - 1);
        EXPECT_EQ(chip.TakeBytes(), "") << "answered before the last byte arrived";
        chip.Tick(t0 + c.arrivesMs);
        EXPECT_EQ(chip.TakeBytes().substr(0, 1), c.frameBytes == 5 ? "\x4F" : "\x41");
    }
}

TEST(LineTiming, AWriteBehindAnotherWaitsForTheLine) {
    ChipConfig config;
    config.lineTiming = true;
    ChipModel chip = Powered(config);
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 0); // arrives at 5.2 ms
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 1); // behind it: 10.4 ms
    chip.Tick(6);
    EXPECT_EQ(ChipModel::HexOf(chip.TakeBytes()), "4F");
    chip.Tick(10);
    EXPECT_EQ(chip.TakeBytes(), "");
    chip.Tick(11);
    EXPECT_EQ(ChipModel::HexOf(chip.TakeBytes()), "4F");
    EXPECT_EQ(chip.InFlight(), 0u);
}

// The answers to 200 status queries under a fault.
std::string Answers(const chipsim::ChipFaults& faults, uint64_t seed, int frames = 200) {
    ChipConfig config;
    config.faults = faults;
    config.seed = seed;
    ChipModel chip = Powered(config);
    std::string out;
    for (int i = 0; i < frames; ++i) {
        chip.Feed(Bytes("FD 00 02 02 FD"), 9600, i * 10);
        out += chip.TakeBytes();
    }
    return out;
}

TEST(ChipFaults, EachFaultHitsAboutItsFractionAndRepeatsWithItsSeed) {
    const struct {
        const char* name;
        chipsim::ChipFaults faults;
    } cases[] = {
        {"reject", {0.3, 0, 0, 0}},
        {"mute", {0, 0.3, 0, 0}},
        {"garble", {0, 0, 0, 0.3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string a = Answers(c.faults, 7);
        EXPECT_EQ(a, Answers(c.faults, 7)) << "the same seed, the same run";
        EXPECT_NE(a, Answers(c.faults, 8));
        const auto good = std::count(a.begin(), a.end(), '\x41');
        const auto hit = 200 - good;
        EXPECT_GT(hit, 30);
        EXPECT_LT(hit, 90);
        if (std::string_view(c.name) == "reject") {
            EXPECT_EQ(a.size(), 200u) << "every frame still gets one answer";
        }
        if (std::string_view(c.name) == "mute") {
            EXPECT_EQ(a.find_first_not_of('\x41'), std::string::npos) << "only answers missing";
        }
        if (std::string_view(c.name) == "garble") {
            EXPECT_EQ(a.size(), 200u);
            for (const char b : a) // one bit flipped, never more
                EXPECT_EQ(__builtin_popcount(static_cast<uint8_t>(b) ^ 0x41) <= 1, true);
        }
    }
    EXPECT_EQ(Answers({}, 1), std::string(200, '\x41')) << "no fault asked for, none comes";
}

TEST(ChipFaults, ARejectedFrameIsNotActedOnAMutedOneIs) {
    ChipConfig config;
    config.faults.reject = 1;
    ChipModel rejecting = Powered(config);
    rejecting.Feed(TextFrame("[t0]" + kNiHao), 9600, 0);
    EXPECT_EQ(ChipModel::HexOf(rejecting.TakeBytes()), "45");
    EXPECT_EQ(rejecting.State(), chipsim::ChipState::Idle);
    EXPECT_EQ(rejecting.Attrs().speed, 4);

    config.faults = {0, 1, 0, 0};
    ChipModel muted = Powered(config);
    muted.Feed(TextFrame(kNiHao), 9600, 0);
    EXPECT_EQ(muted.TakeBytes(), "") << "no 0x41";
    muted.Tick(500);
    EXPECT_EQ(ChipModel::HexOf(muted.TakeBytes()), "4F") << "but it spoke and is idle";
}

TEST(ChipFaults, ADroppedIdleReportLeavesTheChipIdleAndQuiet) {
    ChipConfig config;
    config.faults.dropIdle = 1;
    ChipModel chip = Powered(config);
    chip.Feed(TextFrame(kNiHao), 9600, 0);
    chip.Tick(500);
    EXPECT_EQ(ChipModel::HexOf(chip.TakeBytes()), "41");
    EXPECT_EQ(chip.State(), chipsim::ChipState::Idle);
    const auto lines = chip.TakeLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "fault: no idle report after this text"),
              lines.end());
    // Asked, it tells the truth; a stop of a text under way drops its idle too.
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 600);
    EXPECT_EQ(ChipModel::HexOf(chip.TakeBytes()), "4F");
    chip.Feed(TextFrame(kNiHao), 9600, 700);
    chip.Feed(Bytes("FD 00 02 02 FD"), 9600, 800);
    EXPECT_EQ(ChipModel::HexOf(chip.TakeBytes()), "41 41");
}

} // namespace
