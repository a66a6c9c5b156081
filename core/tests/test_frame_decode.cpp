// What the analysis window and the hex entry's tooltip say about a frame:
// command names, parameters, text with named control marks, and the checks of
// header, length field and checksum.
#include "core/frame_codec.h"
#include "core/frame_decode.h"
#include "core/tests/bytes.h"
#include "core/text_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// A frame with the right checksum appended.
std::string Sealed(const char* spaced) {
    std::string f = Hex(spaced);
    f += char(XorOf(f));
    return f;
}

TEST(FrameDecode, MeaningAndCheckOfEachKindOfFrame) {
    struct Case {
        const char* what;
        std::string frame;
        const char* meaning;
        const char* check;
    };
    std::string longer = Hex("FD 00 0F 01 01 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1");
    longer += char(XorOf(longer));
    const Case cases[] = {
        {"stop", Hex("FD 00 02 02 FD"), "停止", "✓"},
        {"pause", Hex("FD 00 02 03 FC"), "暂停", "✓"},
        {"resume", Hex("FD 00 02 04 FB"), "恢复", "✓"},
        {"query", Hex("FD 00 02 21 DE"), "查询", "✓"},
        {"sleep", Hex("FD 00 02 88 77"), "休眠", "✓"},
        {"rate 9600", Hex("FD 00 03 31 00 CF"), "设置芯片 波特率 9600", "✓"},
        {"rate 19200", Hex("FD 00 03 31 01 CE"), "设置芯片 波特率 19200", "✓"},
        {"rate 38400", Hex("FD 00 03 31 02 CD"), "设置芯片 波特率 38400", "✓"},
        {"text", Hex("FD 00 07 01 01 C4 E3 BA C3 A4"), "合成 无背景 GBK “你好”", "✓"},
        {"text with music 15", Hex("FD 00 07 01 79 C4 E3 BA C3 DC"), "合成 背景音乐15 GBK “你好”",
         "✓"},
        {"volume mark", Hex("FD 00 08 01 01 5B 76 31 30 5D 84"),
         "合成 无背景 GBK [v10] 前景音量 10", "✓"},
        {"speed mark", Hex("FD 00 07 01 01 5B 74 34 5D BC"), "合成 无背景 GBK [t4] 词语语速 4",
         "✓"},
        {"background volume", Hex("FD 00 07 01 01 5B 6D 34 5D A5"),
         "合成 无背景 GBK [m4] 背景音量 4", "✓"},
        {"word by word", Hex("FD 00 07 01 01 5B 6F 31 5D A2"), "合成 无背景 GBK [o1] Word-By-Word",
         "✓"},
        {"natural", Hex("FD 00 07 01 01 5B 6F 30 5D A3"), "合成 无背景 GBK [o0] 自然", "✓"},
        {"defaults", Hex("FD 00 06 01 01 5B 64 5D 99"), "合成 无背景 GBK [d] 恢复默认值", "✓"},
        {"mark inside text", Sealed("FD 00 09 01 01 41 5B 76 33 5D 42"),
         "合成 无背景 GBK “A” [v3] 前景音量 3 “B”", "✓"},
        {"no mark: unknown letter, leading zero",
         Sealed("FD 00 0C 01 01 5B 78 35 5D 5B 76 30 35 5D"), "合成 无背景 GBK “[x5][v05]”", "✓"},
        {"line break in text", Sealed("FD 00 07 01 01 41 0D 0A 42"), "合成 无背景 GBK “A↵B”", "✓"},
        {"other encoding is not decoded", Sealed("FD 00 05 01 00 C4 E3"),
         "合成 无背景 编码 0 2 字节文本（不是 GBK，未解码）", "✓"},
        {"lead byte without its trail byte", Sealed("FD 00 07 01 01 41 81 20 42"),
         "合成 无背景 GBK “A” 字节 81（不是 GBK 字符） “ B”", "✓"},
        {"lead byte cut off by the end", Sealed("FD 00 06 01 01 B0 A1 B0"),
         "合成 无背景 GBK “啊” 字节 B0（半个 GBK 字符，缺后一字节）", "✓"},
        {"wrong checksum", Hex("FD 00 0F 01 01 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 00"),
         "合成 无背景 GBK “啊啊啊啊啊啊”", "✗ 应为 0xF2"},
        {"length field too small", longer, "合成 无背景 GBK “啊啊啊啊啊啊啊”",
         "✗ 长度字段 15，实有 17"},
        {"both wrong", Hex("FD 00 03 02 00"), "停止", "✗ 应为 0xFC；长度字段 3，实有 2"},
        // The length field is 16 bits: a high byte that is not zero counts 256 each.
        {"length field's high byte set", Sealed("FD 01 02 21"), "查询", "✗ 长度字段 258，实有 2"},
        {"high byte set on a text frame", Sealed("FD 01 07 01 01 C4 E3 BA C3"),
         "合成 无背景 GBK “你好”", "✗ 长度字段 263，实有 7"},
        {"stop with a byte too many", Sealed("FD 00 03 02 00"), "停止（多余字节 1 字节）", "✓"},
        {"wrong header", Sealed("FE 00 02 02"), "停止", "✗ 帧头 0xFE，应为 0xFD"},
        {"unknown command", Sealed("FD 00 03 55 07"), "未知命令 0x55（数据 1 字节）", "✓"},
        {"cut short", Hex("FD 00"), "不完整的帧", "✗ 帧不完整（2 字节）"},
        {"one byte", Hex("FD"), "不完整的帧", "✗ 帧不完整（1 字节）"},
        {"empty", std::string(), "空帧", "✗ 帧不完整（0 字节）"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FrameDecode d = DecodeFrame(c.frame);
        EXPECT_EQ(Utf8FromUtf16(d.meaning), c.meaning);
        EXPECT_EQ(Utf8FromUtf16(d.check), c.check);
        EXPECT_EQ(d.ok, std::string(c.check) == "✓");
    }
}

TEST(FrameDecode, RightChecksumIsGivenOnlyWhenTheLastByteIsWrong) {
    EXPECT_FALSE(DecodeFrame(Hex("FD 00 02 02 FD")).rightChecksum.has_value());
    const FrameDecode d = DecodeFrame(Hex("FD 00 02 02 00"));
    ASSERT_TRUE(d.rightChecksum.has_value());
    EXPECT_EQ(*d.rightChecksum, 0xFD);
}

TEST(FrameDecode, TextFrameFieldByField) {
    const FrameDecode d = DecodeFrame(Hex("FD 00 0A 01 09 C4 E3 0D 0A 5B 64 5D 00"), true);
    struct Row {
        int offset;
        const char* field;
        const char* value;
        const char* meaning;
    };
    const Row rows[] = {
        {0, "帧头", "FD", "✓"},
        {1, "长度", "00 0A", "其后 10 字节 ✓"},
        {3, "命令", "01", "合成"},
        {4, "参数", "09", "背景音乐01，GBK"},
        {5, "文本", "C4 E3", "你"},
        {7, "文本", "0D", "回车 CR"},
        {8, "文本", "0A", "换行 LF"},
        {9, "控制标记", "5B 64 5D", "[d] 恢复默认值"},
        {12, "校验", "00", "✗ 应为 0xBD"},
    };
    ASSERT_EQ(d.fields.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.fields[i].offset, rows[i].offset);
        EXPECT_EQ(Utf8FromUtf16(d.fields[i].field), rows[i].field);
        EXPECT_EQ(Utf8FromUtf16(d.fields[i].value), rows[i].value);
        EXPECT_EQ(Utf8FromUtf16(d.fields[i].meaning), rows[i].meaning);
    }
    EXPECT_EQ(d.textCharacters, 1); // 你; line breaks and marks are not spoken
}

TEST(FrameDecode, LengthFieldRowSaysWhatIsThere) {
    const FrameDecode d = DecodeFrame(Sealed("FD 00 05 02"), true);
    ASSERT_GE(d.fields.size(), 2u);
    EXPECT_EQ(Utf8FromUtf16(d.fields[1].meaning), "✗ 长度字段 5，实有 2");
    const FrameDecode high = DecodeFrame(Sealed("FD 01 02 21"), true);
    ASSERT_GE(high.fields.size(), 2u);
    EXPECT_EQ(Utf8FromUtf16(high.fields[1].value), "01 02");
    EXPECT_EQ(Utf8FromUtf16(high.fields[1].meaning), "✗ 长度字段 258，实有 2");
}

} // namespace
