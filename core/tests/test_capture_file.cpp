// Capture files: what the console writes reads back the same, block by
// block as written; a file that is not one, is cut off or holds blocks of
// other kinds gives a clear word and all that can be read; mutated files
// never hang, crash or grow.
#include "bytes.h"
#include "core/capture_file.h"
#include "core/frame_builders.h"
#include "row_name.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const CaptureInterface kLine{"COM3", 38400};

std::string Capture(const std::vector<CapturePacket>& packets) {
    std::string file;
    CaptureWriter writer(
        [&](std::string_view bytes) {
            file += bytes;
            return true;
        },
        {kLine}, "vxt4710 test");
    for (const CapturePacket& p : packets)
        writer.add(p);
    return file;
}

const std::vector<CapturePacket> kTalk = {
    {1'765'000'000'123'456, CaptureDirection::ToChip, TextFrame(u"你好"), "合成 无背景 GBK “你好”"},
    {1'765'000'000'130'001, CaptureDirection::FromChip, "\x41", "<-0x41  接收成功"},
    {1'765'000'001'130'002, CaptureDirection::FromChip, "\x4F", ""},
    {1'765'000'002'000'000, CaptureDirection::ToChip, Hex("FD 00 02 21 00"), "查询"},
};

TEST(CaptureFile, WhatIsWrittenReadsBackTheSame) {
    const std::string file = Capture(kTalk);
    EXPECT_EQ(file.size() % 4, 0u);
    const CaptureContents c = ReadCapture(file);
    EXPECT_TRUE(c.problems.empty()) << c.problems.front();
    ASSERT_EQ(c.interfaces.size(), 1u);
    EXPECT_EQ(c.interfaces[0].name, "COM3");
    EXPECT_EQ(c.interfaces[0].rate, 38400);
    EXPECT_EQ(c.interfaces[0].linkType, kCaptureLinkType);
    ASSERT_EQ(c.packets.size(), kTalk.size());
    for (size_t i = 0; i < kTalk.size(); ++i) {
        EXPECT_EQ(c.packets[i].timeUs, kTalk[i].timeUs) << i;
        EXPECT_EQ(c.packets[i].direction, kTalk[i].direction) << i;
        EXPECT_EQ(c.packets[i].bytes, kTalk[i].bytes) << i;
        EXPECT_EQ(c.packets[i].comment, kTalk[i].comment) << i;
    }
    EXPECT_EQ(CaptureComment(kTalk[0].bytes), kTalk[0].comment);
    EXPECT_EQ(CaptureComment("\x41"), kTalk[1].comment);
}

struct BadFile {
    const char* name;
    std::function<std::string(std::string)> change;
    size_t packets;      // still read
    const char* problem; // the start of the one message
};

class CaptureProblems : public ::testing::TestWithParam<BadFile> {};

TEST_P(CaptureProblems, AreSaidOnceAndTheRestIsRead) {
    const CaptureContents c = ReadCapture(GetParam().change(Capture(kTalk)));
    EXPECT_EQ(c.packets.size(), GetParam().packets);
    ASSERT_EQ(c.problems.size(), 1u);
    EXPECT_EQ(c.problems[0].rfind(GetParam().problem, 0), 0u) << c.problems[0];
}

// Where the file's last block starts (its length closes it).
size_t LastBlock(const std::string& f) {
    return f.size() - static_cast<uint8_t>(f[f.size() - 4]);
}

// A block of an unknown type (0x0BAD0000), 16 bytes.
std::string Unknown() {
    return Hex("00 00 AD 0B 10 00 00 00 01 02 03 04 10 00 00 00");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CaptureProblems,
    ::testing::Values(
        BadFile{"NoCapture", [](std::string) { return std::string("hello, world, hello"); }, 0,
                "this is no pcapng capture file"},
        BadFile{"CutInTheLastPacket", [](std::string f) { return f.substr(0, f.size() - 7); }, 3,
                "the file is cut off at byte"},
        BadFile{"CutBetweenBlocks", [](std::string f) { return f + std::string(5, '\0'); }, 4,
                "the file is cut off at byte"},
        BadFile{"ABlockOfAnotherKind",
                [](std::string f) { return f.insert(LastBlock(f), Unknown()), f; }, 4,
                "blocks of type 0x0BAD0000 are not read"},
        BadFile{"ALengthNoBlockHas",
                [](std::string f) {
                    f[f.size() - 4] = '\x13';
                    return f;
                },
                3, "byte "},
        BadFile{"APacketOfNoInterface",
                [](std::string f) {
                    f[LastBlock(f) + 8] = '\x07';
                    return f;
                },
                3, "byte "}),
    vxt_test::RowName());

// Big-endian sections are read as well (Wireshark writes in the machine's
// order): a section written by hand.
TEST(CaptureFile, ReadsABigEndianSection) {
    const std::string file =
        Hex("0A 0D 0D 0A 00 00 00 1C 1A 2B 3C 4D 00 01 00 00 FF FF FF FF FF FF FF FF 00 00 00 1C"
            "00 00 00 01 00 00 00 14 00 93 00 00 00 00 00 00 00 00 00 14"
            "00 00 00 06 00 00 00 24 00 00 00 00 00 00 00 00 00 0F 42 40 00 00 00 01 00 00 00 01"
            "4F 00 00 00 00 00 00 24");
    const CaptureContents c = ReadCapture(file);
    EXPECT_TRUE(c.problems.empty()) << c.problems.front();
    ASSERT_EQ(c.packets.size(), 1u);
    EXPECT_EQ(c.packets[0].bytes, "\x4F");
    EXPECT_EQ(c.packets[0].timeUs, 1'000'000);
    EXPECT_EQ(c.interfaces[0].linkType, kCaptureLinkType);
}

// Random changes to a real capture: reading each ends, and holds no more
// than the file could.
TEST(CaptureFile, MutatedFilesAreReadSafely) {
    std::vector<CapturePacket> many;
    for (int i = 0; i < 20; ++i)
        many.push_back(kTalk[size_t(i) % kTalk.size()]);
    const std::string original = Capture(many);
    std::mt19937 random(4710);
    for (int round = 0; round < 100'000; ++round) {
        std::string f = original;
        const int changes = 1 + int(random() % 8);
        for (int k = 0; k < changes; ++k) {
            const size_t at = random() % f.size();
            switch (random() % 4) {
            case 0:
                f[at] = char(random());
                break;
            case 1:
                f.erase(at, 1 + random() % 16);
                break;
            case 2:
                f.insert(at, std::string(1 + random() % 8, char(random())));
                break;
            default:
                f.resize(at);
                break;
            }
            if (f.empty())
                f = "x";
        }
        const CaptureContents c = ReadCapture(f);
        ASSERT_LE(c.packets.size(), f.size() / 12) << round;
        ASSERT_LE(c.problems.size(), 11u) << round;
    }
}

} // namespace
