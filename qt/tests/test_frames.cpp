// Checksum, frame log text and the GBK measure.
#include "core/frame_codec.h"
#include "testsupport/qt_gbk.h"
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"

#include <gtest/gtest.h>

namespace {

TEST(XorInto, Table) {
    struct {
        uint8_t acc, value, expected;
    } cases[] = {{0xFF, 0x0F, 0xF0}, {0x5A, 0x00, 0x5A}, {0xA5, 0xA5, 0x00},
                 {0x00, 0xFD, 0xFD}, {0x80, 0x01, 0x81}, {0xFF, 0xFF, 0x00}};
    for (const auto& c : cases) {
        uint8_t acc = c.acc;
        const uint8_t value = c.value;
        XorInto(acc, value);
        EXPECT_EQ(acc, c.expected) << int(c.acc) << " ^ " << int(c.value);
        EXPECT_EQ(value, c.value);
    }
}

TEST(XorInto, SampleFrameChecksum) {
    const QByteArray frame = Hex("FD 00 0F 01 01") + Hex("B0 A1").repeated(6);
    uint8_t sum = 0;
    for (char b : frame)
        XorInto(sum, uint8_t(b));
    EXPECT_EQ(sum, 0xF2);
    EXPECT_EQ(XorOf(ToStdBytes(frame)), 0xF2);
}

TEST(FrameLogText, ExactText) {
    const QString label = QStringLiteral("发出一帧，字节数 ");
    struct {
        const char* frame;
        QString text;
    } cases[] = {
        {"FD 00 02 02 FD", label + " 5\r\n---->0xFD 0x00 0x02 0x02 0xFD \r\n"},
        {"00 0A FD", label + " 3\r\n---->0x00 0x0A 0xFD \r\n"},
        {"7F", label + " 1\r\n---->0x7F \r\n"},
        {"ab cd ef", label + " 3\r\n---->0xAB 0xCD 0xEF \r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToQString(FrameLogText(ToStdBytes(Hex(c.frame)))), c.text) << c.frame;
    EXPECT_EQ(FrameLogText(std::string(206, 'a')).size(), label.size() + 6 + 5 + 206 * 5 + 2);
}

TEST(LogFrame, EntriesFollowEachOtherAndTheCaretGoesToTheEnd) {
    FormHarness h;
    h->Widget(&Form1::Text4)->SetText(QStringLiteral("earlier\r\n"));
    h->LastDataIndex = -1; // a one-byte frame
    h->LogFrame(ToStdBytes(Hex("FD")));
    h->LastDataIndex = 3;
    h->LogFrame(ToStdBytes(Hex("FD 00 02 02 FD 99"))); // only up to the checksum
    EXPECT_EQ(h.log(), QStringLiteral("earlier\r\n") + ToQString(FrameLogText(ToStdBytes(Hex("FD")))) +
                           ToQString(FrameLogText(ToStdBytes(Hex("FD 00 02 02 FD")))));
    EXPECT_EQ(h->Widget(&Form1::Text4)->SelStart(), h->Widget(&Form1::Text4)->Length());
    EXPECT_EQ(h->Widget(&Form1::Text4)->SelLength(), 0);
}

TEST(Gbk, CodesOfSingleUnits) {
    struct {
        char16_t unit;
        const char* bytes;
    } cases[] = {
        {u'A', "41"},     {u'\r', "0D"},    {u'\n', "0A"},     {u'?', "3F"},      {u'你', "C4 E3"},
        {u'好', "BA C3"}, {u'啊', "B0 A1"}, {0x3000, "A1 A1"}, {0xFF01, "A3 A1"}, {0x20AC, "80"},
        {0xD83D, "3F"},   {0xDE00, "3F"},   {0x0080, "3F"},    {0x2022, "3F"},    {0xFFFD, "3F"},
    };
    for (const auto& c : cases) {
        const GbkCode code = GbkCodeOf(c.unit);
        const QByteArray got(reinterpret_cast<const char*>(code.bytes), code.size);
        EXPECT_EQ(got.toHex(' '), Hex(c.bytes).toHex(' ')) << std::hex << int(c.unit);
        // Measured twice: the remembered code is the same.
        EXPECT_EQ(GbkCodeOf(c.unit).size, code.size);
    }
}

TEST(Gbk, CountAndBytesAgree) {
    const QString text = QString::fromUtf16(u"A你\r\n好\U0001F600€•") + QChar(0xD800);
    const QByteArray bytes = GbkBytes(text);
    EXPECT_EQ(bytes.toHex(' '), Hex("41 C4 E3 0D 0A BA C3 3F 3F 80 3F 3F").toHex(' '));
    EXPECT_EQ(GbkByteCount(text), bytes.size());
    EXPECT_EQ(GbkByteCount(QString()), 0);
}

} // namespace
