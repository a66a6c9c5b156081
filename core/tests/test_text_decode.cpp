// The one decoder of text files: which encoding a file is read in, and the
// rule for what is no text (U+FFFD, counted, the first place kept).
#include "core/text_decode.h"

#include "core/gbk.h"
#include "core/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum class Mode { Detect, Gbk, Utf8 };

struct DecodeCase {
    const char* name;
    Mode mode;
    std::string bytes;
    std::u16string text;
    TextEncoding encoding;
    std::ptrdiff_t replaced;
    std::ptrdiff_t firstReplaced; // -1: none
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Bytes(const char* s, int size) {
    return std::string(s, size);
}

std::string Gbk(const std::u16string& s) {
    return GbkBytes(s);
}

// Written out as UTF-8, so that the expected texts need no escapes.
std::u16string T(const char* utf8) {
    return Utf16FromUtf8(utf8);
}

std::string Utf8(const std::u16string& s) {
    return Utf8FromUtf16(s);
}

const std::u16string R = u"\uFFFD";

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, FollowsTheRule) {
    const DecodeCase& c = GetParam();
    const DecodedText d = c.mode == Mode::Detect ? DecodeTextFile(c.bytes)
                          : c.mode == Mode::Gbk  ? DecodeTextAs(c.bytes, TextEncoding::Gbk)
                                                 : DecodeTextAs(c.bytes, TextEncoding::Utf8);
    EXPECT_EQ(d.text, c.text);
    EXPECT_EQ(Utf8(EncodingName(d.encoding)), Utf8(EncodingName(c.encoding)));
    EXPECT_EQ(d.replaced, c.replaced);
    EXPECT_EQ(d.firstReplaced, c.firstReplaced);
}

constexpr auto U8 = TextEncoding::Utf8;
constexpr auto GB = TextEncoding::Gbk;
constexpr auto U16 = TextEncoding::Utf16;

INSTANTIATE_TEST_SUITE_P(
    Files, Decode,
    ::testing::Values(
        // Which encoding.
        DecodeCase{"Utf8", Mode::Detect, Utf8(T("你好\r\n")), T("你好\r\n"), U8, 0, -1},
        DecodeCase{"Utf8WithMark", Mode::Detect, "\xEF\xBB\xBF" + Utf8(T("你好")), T("你好"), U8,
                   0, -1},
        DecodeCase{"Ascii", Mode::Detect, "hello", T("hello"), U8, 0, -1},
        DecodeCase{"Empty", Mode::Detect, std::string(), std::u16string(), U8, 0, -1},
        DecodeCase{"Gbk", Mode::Detect, Gbk(T("欢迎使用语音合成芯片")), T("欢迎使用语音合成芯片"),
                   GB, 0, -1},
        DecodeCase{"GbkEuro", Mode::Detect, "A\x80", T("A€"), GB, 0, -1},
        DecodeCase{"Utf16LE", Mode::Detect, Bytes("\xFF\xFE`O}Y", 6), T("你好"), U16, 0, -1},
        DecodeCase{"Utf16BE", Mode::Detect, Bytes("\xFE\xFFO`Y}", 6), T("你好"), U16, 0, -1},
        DecodeCase{"Utf16MarkOnly", Mode::Detect, "\xFF\xFE", std::u16string(), U16, 0, -1},
        DecodeCase{"Utf16SurrogatePair", Mode::Detect, Bytes("\xFF\xFE\x3D\xD8\x00\xDE", 6), T("😀"),
                   U16, 0, -1},
        // A UTF-8 sequence cut off at the end: the bytes are GBK, all of them
        // ("你好" in UTF-8, then E4 B8).
        DecodeCase{"CutUtf8IsGbkWhole", Mode::Detect, Gbk(T("浣犲ソ涓")), T("浣犲ソ涓"), GB, 0, -1},
        DecodeCase{"CutUtf8AfterAsciiIsGbkWhole", Mode::Detect, "abc\xE4\xB8", T("abc涓"), GB, 0,
                   -1},
        // A UTF-8 mark before bytes that are no UTF-8: GBK from the first byte.
        DecodeCase{"MarkBeforeGbk", Mode::Detect, "\xEF\xBB\xBF\xC4\xE3\xBA\xC3", T("锘磕愫") + R,
                   GB, 1, 6},
        // What is no text.
        DecodeCase{"GbkFfFeFd", Mode::Detect, "\xC4\xE3\xFF\xFE\xFD", T("你") + R + R, GB, 2, 2},
        DecodeCase{"GbkLoneFf", Mode::Detect, "A\xFF", T("A") + R, GB, 1, 1},
        DecodeCase{"GbkUserDefinedPair", Mode::Detect, "\xC4\xE3\xAA\xA1", T("你") + R, GB, 1, 2},
        DecodeCase{"GbkLeadWithoutTrail", Mode::Detect,
                   "\x81\x20"
                   "B\xC4\xE3",
                   R + T(" B你"), GB, 1, 0},
        DecodeCase{"GbkLeadAtTheEnd", Mode::Detect, "\xC4\xE3\xBA", T("你") + R, GB, 1, 2},
        DecodeCase{"GbkNul", Mode::Detect, Bytes("\xC4\xE3\0A", 4), T("你") + R + T("A"), GB, 1, 2},
        DecodeCase{"Utf8Nul", Mode::Detect, Bytes("a\0\xE4\xBD\xA0\0", 6), T("a") + R + T("你") + R,
                   U8, 2, 1},
        DecodeCase{"Utf16OddLength", Mode::Detect, Bytes("\xFF\xFE`O}", 5), T("你") + R, U16, 1, 4},
        DecodeCase{"Utf16BEOddLength", Mode::Detect, Bytes("\xFE\xFFO`Y}\x00", 7), T("你好") + R,
                   U16, 1, 6},
        DecodeCase{"Utf16LoneHighSurrogate", Mode::Detect,
                   Bytes("\xFF\xFE\x3D\xD8"
                         "A\0",
                         6),
                   R + T("A"), U16, 1, 2},
        DecodeCase{"Utf16LoneLowSurrogate", Mode::Detect,
                   Bytes("\xFF\xFE"
                         "A\0\x00\xDE",
                         6),
                   T("A") + R, U16, 1, 4},
        DecodeCase{"Utf16HighSurrogateAtTheEnd", Mode::Detect,
                   Bytes("\xFE\xFF\x00"
                         "A\xD8\x3D",
                         6),
                   T("A") + R, U16, 1, 4},
        DecodeCase{"Utf16Nul", Mode::Detect,
                   Bytes("\xFF\xFE"
                         "A\0\0\0",
                         6),
                   T("A") + R, U16, 1, 4},
        // Utf-16 without its mark: NULs, each replaced.
        DecodeCase{"Utf16WithoutMark", Mode::Detect, Bytes("A\0B\0", 4), T("A") + R + T("B") + R,
                   U8, 2, 1},
        // The initial text file: GBK, bytes as they are.
        DecodeCase{"InitialMarkIsText", Mode::Gbk,
                   "\xEF\xBB\xBF"
                   "A",
                   T("锘緼"), GB, 0, -1},
        DecodeCase{"InitialUtf8IsGbk", Mode::Gbk, Utf8(T("你")), T("浣") + R, GB, 1, 2},
        DecodeCase{"InitialCutUtf8IsGbkWhole", Mode::Gbk, Gbk(T("浣犲ソ涓")), T("浣犲ソ涓"), GB, 0,
                   -1},
        DecodeCase{"InitialLeadAtTheEnd", Mode::Gbk, "A\x81", T("A") + R, GB, 1, 1},
        DecodeCase{"InitialFf", Mode::Gbk, "\xFF\xFE\xFD", R + R, GB, 2, 0},
        // Standard input: UTF-8 whatever it holds, each bad byte replaced.
        DecodeCase{"Utf8ForcedBadByte", Mode::Utf8,
                   "a\xFF"
                   "b",
                   T("a") + R + T("b"), U8, 1, 1},
        DecodeCase{"Utf8ForcedCutAtTheEnd", Mode::Utf8, "abc\xE4\xB8", T("abc") + R + R, U8, 2, 3},
        DecodeCase{"Utf8ForcedOverlong", Mode::Utf8, "\xC0\xAF", R + R, U8, 2, 0},
        DecodeCase{"Utf8ForcedSurrogate", Mode::Utf8,
                   "\xED\xA0\x80"
                   "A",
                   R + R + R + T("A"), U8, 3, 0},
        DecodeCase{"Utf8ForcedMarkDropped", Mode::Utf8,
                   "\xEF\xBB\xBF"
                   "A",
                   T("A"), U8, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Every two-byte GBK character the system knows comes back whole, and only
// the user-defined and unassigned places are refused.
TEST(Decode, EveryGbkCharacterPassesAndNoPrivateUseOne) {
    std::string all;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F)
                all.append({char(lead), char(trail)});
    const DecodedText d = DecodeTextAs(all, TextEncoding::Gbk);
    ASSERT_EQ(d.text.size(), all.size() / 2);
    std::ptrdiff_t privateUse = 0;
    for (char16_t c : d.text) {
        EXPECT_FALSE(c >= 0xE000 && c <= 0xF8FF);
        privateUse += c == 0xFFFD;
    }
    EXPECT_EQ(d.replaced, privateUse);
    EXPECT_GT(std::ptrdiff_t(d.text.size()) - privateUse, 21000); // GBK holds 21,886 characters
    // 81-A0 are all Chinese characters; A1 40 is the first user-defined pair.
    EXPECT_EQ(d.firstReplaced, 2 * (0xA1 - 0x81) * 190);
}

TEST(TextFiles, InvalidUtf8IsReadAsGbk) {
    DecodedText d = DecodeTextFile("\xC4\xE3\xBA\xC3");
    EXPECT_EQ(Utf8(d.text), "你好");
    EXPECT_EQ(d.encoding, TextEncoding::Gbk);
    d = DecodeTextFile("plain");
    EXPECT_EQ(Utf8(d.text), "plain");
    EXPECT_EQ(d.encoding, TextEncoding::Utf8);
    d = DecodeTextFile("\xFF\xFE");
    EXPECT_EQ(Utf8(d.text), "");
    EXPECT_EQ(d.encoding, TextEncoding::Utf16);
}

} // namespace
