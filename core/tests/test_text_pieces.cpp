// Long lines shown in pieces: the pieces are bounded, and every position and
// the text itself come back through what is shown.
#include "core/text_pieces.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr std::u16string_view kSeam = u"\r\r\n";

std::u16string Repeat(std::u16string_view unit, size_t count) {
    std::u16string s;
    for (size_t i = 0; i < count; ++i)
        s += unit;
    return s;
}

// The longest display line of a shown text (seams and CR LF both end one).
size_t LongestShownLine(std::u16string_view shown) {
    size_t longest = 0, length = 0;
    for (const char16_t c : shown) {
        length = c == u'\r' || c == u'\n' ? 0 : length + 1;
        longest = std::max(longest, length);
    }
    return longest;
}

struct Case {
    const char* name;
    std::u16string text;
    size_t seams;
};

std::vector<Case> Cases() {
    const size_t n = kPieceLength;
    return {
        {"empty", u"", 0},
        {"short lines", u"你好\r\n\r\nab\r\n", 0},
        {"a line of exactly the piece length", Repeat(u"a", n), 0},
        {"one unit more", Repeat(u"a", n + 1), 1},
        {"no break anywhere", Repeat(u"a", 5 * n + 17), 5},
        {"words", Repeat(u"speak ", 3000), 8},
        {"Chinese", Repeat(u"中文语音合成", 2000), 5},
        {"pairs outside the basic plane", Repeat(u"\U00020000", 3 * n), 5},
        {"short lines around a long one", u"ab\r\n\r\n" + Repeat(u"a", 2 * n + 1) + u"\r\ncd\r\n",
         2},
        {"two long lines", Repeat(u"b", n + 5) + u"\r\n" + Repeat(u"好", n + 5), 2},
    };
}

TEST(TextPieces, ShownInBoundedPiecesAndReadBackWhole) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::u16string shown = PiecedText(c.text, kSeam);
        EXPECT_EQ(UnpiecedText(shown, kSeam), c.text);
        EXPECT_EQ(shown.size(), c.text.size() + c.seams * kSeam.size());
        EXPECT_LE(LongestShownLine(shown), kPieceLength);
        // No piece ends inside a surrogate pair.
        for (size_t s = shown.find(kSeam); s != std::u16string::npos; s = shown.find(kSeam, s + 1))
            EXPECT_FALSE(s > 0 && shown[s - 1] >= 0xD800 && shown[s - 1] <= 0xDBFF);
    }
}

TEST(TextPieces, EveryPositionGoesThereAndBack) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::u16string shown = PiecedText(c.text, kSeam);
        // Every position near a seam or an end, and every 61st elsewhere.
        std::vector<size_t> positions;
        for (size_t pos = 0; pos <= c.text.size(); pos += 61)
            positions.push_back(pos);
        std::vector<size_t> near = {0, c.text.size()};
        for (size_t s = shown.find(kSeam); s != std::u16string::npos; s = shown.find(kSeam, s + 1))
            near.push_back(TextPosition(shown, s, kSeam));
        for (const size_t at : near)
            for (size_t pos = at < 3 ? 0 : at - 3; pos <= std::min(at + 3, c.text.size()); ++pos)
                positions.push_back(pos);
        for (const size_t pos : positions) {
            const size_t after = ShownPosition(shown, pos, kSeam, true);
            const size_t before = ShownPosition(shown, pos, kSeam, false);
            ASSERT_EQ(TextPosition(shown, after, kSeam), pos);
            ASSERT_EQ(TextPosition(shown, before, kSeam), pos);
            // Before and after differ only at a seam, by the seam.
            ASSERT_TRUE(after == before || (after == before + kSeam.size() &&
                                            shown.substr(before, kSeam.size()) == kSeam));
            if (pos < c.text.size()) {
                ASSERT_EQ(shown[after], c.text[pos]);
            }
        }
        // Past the end: the end.
        EXPECT_EQ(ShownPosition(shown, c.text.size() + 9, kSeam, true), shown.size());
        EXPECT_EQ(TextPosition(shown, shown.size() + 9, kSeam), c.text.size());
    }
}

TEST(TextPieces, ShorterPiecesOnlyForLinesOverTheLimit) {
    const struct {
        const char* name;
        std::u16string text;
        size_t seams;
    } cases[] = {
        {"a line of the limit stays whole", Repeat(u"a", kPieceLength), 0},
        {"one over: pieces of 512", Repeat(u"a", kPieceLength + 1), 4},
        {"words", Repeat(u"speak ", 1000), 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string shown = PiecedText(c.text, kSeam, 512);
        EXPECT_EQ(UnpiecedText(shown, kSeam), c.text);
        EXPECT_EQ(shown.size(), c.text.size() + c.seams * kSeam.size());
        EXPECT_LE(LongestShownLine(shown), c.seams ? 512u : kPieceLength);
    }
}

TEST(TextPieces, APlaceInsideASeamIsWhereTheSeamStands) {
    const std::u16string text = Repeat(u"x", kPieceLength + 10);
    const std::u16string shown = PiecedText(text, kSeam);
    const size_t seam = shown.find(kSeam);
    ASSERT_EQ(seam, kPieceLength);
    for (size_t inside = 0; inside <= kSeam.size(); ++inside)
        EXPECT_EQ(TextPosition(shown, seam + inside, kSeam), kPieceLength) << inside;
    // A seam the user took out by hand (Backspace after it) joins the pieces.
    std::u16string joined = shown;
    joined.erase(seam, kSeam.size());
    EXPECT_EQ(UnpiecedText(joined, kSeam), text);
    EXPECT_EQ(TextPosition(joined, seam + 1, kSeam), kPieceLength + 1);
}

} // namespace
