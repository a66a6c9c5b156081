// What the hex entry's tooltip says about a frame (the frame decoder itself
// is tested in core/tests/test_frame_decode.cpp), and the decoder's GBK held
// to Qt's decoder, which it replaced.
#include "core/frame_decode.h"
#include "qt/qt_text.h"
#include "core/gbk.h"
#include "core/hex_entry.h"
#include "core/hex_entry_check.h"
#include "testsupport/form_harness.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {

// The tooltip as the window shows it.
QString Tip(const QString& text) {
    return ToQString(HexEntryTip(ToU16(text)));
}

// The frame decoder read its text with Qt's GBK decoder, a lead byte at the
// very end followed by LF so that it became U+FFFD; it reads with the core's
// GBK now. The two agree on every character slice it decodes: every byte
// alone and every lead byte with every byte after it.
TEST(FrameDecode, CoreGbkReadsAsQtsDecoderDid) {
    QStringDecoder qt("GBK");
    ASSERT_TRUE(qt.isValid());
    int differences = 0;
    const auto check = [&](const QByteArray& bytes) {
        QString expected = qt.decode(bytes + '\n');
        expected.chop(1);
        if (ToQString(GbkDecode(StdView(bytes))) != expected && ++differences <= 10)
            ADD_FAILURE() << "bytes " << bytes.toHex(' ').toStdString();
    };
    for (int b = 0; b < 256; ++b) {
        check(QByteArray(1, char(b)));
        for (int t = 0; b >= 0x81 && b <= 0xFE && t < 256; ++t)
            check(QByteArray{char(b), char(t)});
    }
    EXPECT_EQ(differences, 0);
}

TEST(HexEntryTip, SaysWhatTheButtonsWouldSend) {
    const QString startUp =
        QStringLiteral("fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1\r\n");
    const QString tip = Tip(startUp);
    EXPECT_TRUE(tip.contains(QStringLiteral("17 字节：FD 00 0F 01 01 B0 A1"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral(
        "播放--自动加校验：加 0xF2，发送 18 字节 ✓ — 合成 无背景 GBK “啊啊啊啊啊啊”")))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(
        QStringLiteral("播放--手动加校验：末字节 0xA1 ✗ 应为 0x53；长度字段 15，实有 14")))
        << tip.toStdString();
    // Taken as the checksum, the last A1 leaves B0 alone at the end of the
    // text: it is named, not shown as a replacement character.
    EXPECT_TRUE(tip.contains(QStringLiteral(
        "合成 无背景 GBK “啊啊啊啊啊” 字节 B0（半个 GBK 字符，缺后一字节）")))
        << tip.toStdString();
    EXPECT_FALSE(tip.contains(QChar(0xFFFD))) << tip.toStdString();

    const QString right =
        Tip(QStringLiteral("fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 f2"));
    EXPECT_TRUE(right.contains(QStringLiteral("播放--手动加校验：末字节 0xF2 ✓ — 合成")))
        << right.toStdString();
}

TEST(HexEntryTip, PointsAtTheFirstBadDigit) {
    struct Case {
        QString text;
        qsizetype bad;
        QString says;
    };
    const Case cases[] = {
        {QStringLiteral("fd 0g 02"), 4, QStringLiteral("第 5 个字符 “g” 不是16进制数字")},
        {QStringLiteral("fd 00 \r\n"), 6, QStringLiteral("第 7 个字符 回车 不是16进制数字")},
        {QStringLiteral("fd  0 02"), 3, QStringLiteral("第 4 个字符 空格 不是16进制数字")},
        {QStringLiteral("fd 中0"), 3, QStringLiteral("第 4 个字符 “中” 不是16进制数字")},
        {QStringLiteral("zz 0g"), 0, QStringLiteral("第 1 个字符 “z”")},
        {QStringLiteral("fd-00-02"), -1, QStringLiteral("3 字节：FD 00 02")},
        {QStringLiteral("fd 00\r\n"), -1, QStringLiteral("2 字节：FD 00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(FirstBadHexDigit(ToU16(c.text)), c.bad);
        EXPECT_TRUE(Tip(c.text).contains(c.says)) << Tip(c.text).toStdString();
    }
    EXPECT_TRUE(Tip(QStringLiteral("f")).contains(QStringLiteral("不成一个字节")));
    EXPECT_TRUE(Tip(QString()).startsWith(QStringLiteral("空")));
    EXPECT_TRUE(Tip(QString(kMaxHexEntryLength + 1, QLatin1Char('a')))
                    .contains(QStringLiteral("不能发送")));
}

} // namespace
