// UTF-8 and UTF-16 both ways, with the broken sequences a file or a pipe may
// hold: each bad byte is one U+FFFD, and the bytes after it are read afresh.
#include "core/text_util.h"

#include <gtest/gtest.h>

namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string text;
};

class FromUtf8 : public testing::TestWithParam<Utf8Case> {};

TEST_P(FromUtf8, DecodesAsExpected) {
    EXPECT_EQ(Utf16FromUtf8(GetParam().utf8), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, FromUtf8,
    testing::Values(Utf8Case{"Ascii", "AB\r\n", u"AB\r\n"},
                    Utf8Case{"Chinese", "\xE4\xBD\xA0\xE5\xA5\xBD", u"你好"},
                    Utf8Case{"OutsideTheBmp", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    Utf8Case{"LoneContinuation", "\x80" "A", u"\uFFFDA"},
                    Utf8Case{"Overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
                    Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"Surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"PastTheLastCodePoint", "\xF4\x90\x80\x80",
                             u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"CutShortAtTheEnd", "A\xE4\xBD", u"A\uFFFD\uFFFD"},
                    Utf8Case{"CutShortBeforeAscii", "\xE4\xBD" "B", u"\uFFFD\uFFFDB"},
                    Utf8Case{"ByteFF", "\xFF", u"\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToUtf8, RoundTripsEveryKindOfCharacter) {
    const std::u16string text = u"A\u00E9你\U0001F600\r\n";
    EXPECT_EQ(Utf8FromUtf16(text), "A\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(text)), text);
}

TEST(ToUtf8, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8FromUtf16(std::u16string{u'A', char16_t(0xD800)}), "A\xEF\xBF\xBD");
    EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t(0xDC00), u'B'}), "\xEF\xBF\xBD" "B");
}

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanning) {
    EXPECT_EQ(ReplaceAll(u"a\r\nb\r\n", u"\r\n", u"↵"), u"a↵b↵");
    EXPECT_EQ(ReplaceAll(u"aaa", u"a", u"aa"), u"aaaaaa");
    EXPECT_EQ(ReplaceAll(u"abc", u"", u"x"), u"abc");
}

} // namespace
