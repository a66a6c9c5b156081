// The core's GBK conversion: the codes the chip gets and the text files give.
#include "core/gbk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v)
        s.push_back(static_cast<char>(b));
    return s;
}

struct CodeCase {
    char16_t unit;
    std::string bytes;
};

TEST(CoreGbk, UnitsGetTheirCodeOrAQuestionMark) {
    const std::vector<CodeCase> cases = {
        {u'A', "A"},
        {u'\r', "\r"},
        {u'\n', "\n"},
        {0x0000, Bytes({0x00})},
        {0x007F, Bytes({0x7F})},
        {u'你', Bytes({0xC4, 0xE3})},
        {u'好', Bytes({0xBA, 0xC3})},
        {u'。', Bytes({0xA1, 0xA3})},
        {u'Ａ', Bytes({0xA3, 0xC1})},   // full-width sign
        {0x00B7, Bytes({0xA1, 0xA4})},  // middle dot
        {0x2014, Bytes({0xA1, 0xAA})},  // em dash
        {0x0101, Bytes({0xA8, 0xA1})},  // a with macron
        {0x20AC, Bytes({0x80})},        // the euro sign: one byte above 0x7F
        {0xF8F5, Bytes({0xFF})},        // the private use unit of byte 0xFF
        {0xE000, Bytes({0xAA, 0xA1})},  // user-defined area
        {0x4E02, Bytes({0x81, 0x40})},  // the first pair
        {0x0100, "?"},                  // no code
        {0x30FB, "?"},                  // no code
        {0xFFFD, "?"},
        {0xD83D, "?"},                  // a surrogate half
        {0xDE00, "?"},
    };
    for (const CodeCase& c : cases) {
        const GbkCode code = GbkCodeOf(c.unit);
        const std::string got(reinterpret_cast<const char*>(code.bytes), code.size);
        EXPECT_EQ(got, c.bytes) << "unit U+" << std::hex << int(c.unit);
    }
}

TEST(CoreGbk, TextMeasuresAsItIsPacked) {
    struct Case {
        std::u16string text;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {u"", ""},
        {u"你好", Bytes({0xC4, 0xE3, 0xBA, 0xC3})},
        {u"a你\r\n", Bytes({'a', 0xC4, 0xE3, '\r', '\n'})},
        {u"😀", "??"}, // a surrogate pair: two units, one '?' each
        {u"€Ā好", Bytes({0x80, '?', 0xBA, 0xC3})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GbkBytes(c.text), c.bytes);
        EXPECT_EQ(GbkByteCount(c.text), c.bytes.size());
    }
}

TEST(CoreGbk, BytesDecodeAsTheConverterDoes) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {"", u""},
        {Bytes({0xC4, 0xE3, 0xBA, 0xC3}), u"你好"},
        {Bytes({'a', 0xC4, 0xE3, '\r', '\n'}), u"a你\r\n"},
        {Bytes({0x80}), u"€"},
        {Bytes({0xFF}), u"\uF8F5"},
        {Bytes({0x81, 0x40}), u"丂"},
        {Bytes({0xFE, 0xFE}), u"\uE4C5"},
        {Bytes({0xC4}), u"\uFFFD"},                   // a lead byte last
        {Bytes({0xC4, '0'}), u"\uFFFD0"},             // no trail byte: read afresh
        {Bytes({0xC4, 0x7F}), u"\uFFFD\x7F"},         // 0x7F is no trail byte
        {Bytes({0xC4, 0xFF}), u"\uFFFD\uF8F5"},
        {Bytes({0xC4, 0xC4, 0xE3}), u"哪\uFFFD"},     // a lead byte is a trail byte too
        {Bytes({0xC4, 0x0A, 0xBA, 0xC3}), u"\uFFFD\n好"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GbkDecode(c.bytes), c.text) << ::testing::PrintToString(c.bytes);
}

// The table as a whole, where ICU is not at hand (on Windows): how many
// units have a code, and that each decodes back to the unit.
TEST(CoreGbk, EveryCodeDecodesBackToItsUnit) {
    int single = 0;
    int pairs = 0;
    for (int u = 0x80; u <= 0xFFFF; ++u) {
        const GbkCode code = GbkCodeOf(char16_t(u));
        if (code.size == 1 && code.bytes[0] == '?')
            continue;
        (code.size == 1 ? single : pairs)++;
        const std::string bytes(reinterpret_cast<const char*>(code.bytes), code.size);
        ASSERT_EQ(GbkDecode(bytes), std::u16string(1, char16_t(u))) << "unit U+" << std::hex << u;
    }
    EXPECT_EQ(single, 2);     // 0x80 and 0xFF
    EXPECT_EQ(pairs, 23940);  // every pair of lead and trail bytes has a character
}

} // namespace
