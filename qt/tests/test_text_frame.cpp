// The play button on a real line: what the selection puts on the wire, how
// it shrinks to what went out, and what the log shows.
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"
#include "testsupport/pty_peer.h"
#include "testsupport/wired_console.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

// A synthesis frame around the text bytes.
QByteArray TextFrame(uint8_t parameter, const QByteArray& text) {
    QByteArray f = Hex("FD 00");
    f.append(char(text.size() + 3)).append(char(0x01)).append(char(parameter)).append(text);
    uint8_t sum = 0;
    for (char c : f)
        sum ^= uint8_t(c);
    return f.append(char(sum));
}

struct Line : ConsoleOnPty {
    void click() { QTest::mouseClick(h->form->Widget(&Form1::Command6), Qt::LeftButton); }
};

QString Repeat(const QString& s, int n) {
    return s.repeated(n);
}

struct TextCase {
    const char* name;
    QString text;
    int selStart, selLength;   // before the click (0, 0: nothing selected)
    int music;                 // Combo1 entry
    QByteArray frame;          // what goes on the line
    int keptStart, keptLength; // the selection afterwards
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class TextFrameCases : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFrameCases, LineLogAndSelection) {
    const TextCase& c = GetParam();
    Line line;
    ASSERT_TRUE(line.peer.ok());
    ASSERT_TRUE(line->MSComm1->PortOpen());
    line->Widget(&Form1::Text3)->SetText(c.text);
    line->Widget(&Form1::Text3)->SetSelStart(c.selStart);
    line->Widget(&Form1::Text3)->SetSelLength(c.selLength);
    line->Widget(&Form1::Combo1)->SetListIndex(c.music);
    line->PlayAllActive = -1;

    line.click();

    const QByteArray sent = line.peer.read();
    EXPECT_EQ(sent.toHex(' '), c.frame.toHex(' '));
    EXPECT_EQ(line.h->log(), Entry(c.frame));
    EXPECT_EQ(line->Widget(&Form1::Text3)->SelStart(), c.keptStart);
    EXPECT_EQ(line->Widget(&Form1::Text3)->SelLength(), c.keptLength);
    EXPECT_EQ(line->TextByteCount, c.frame.size() - 6);
    EXPECT_EQ(ToQBytes(line->FrameBuffer), c.frame);
    EXPECT_EQ(line->PlayAllActive, 0);
    EXPECT_TRUE(line.h->messages.isEmpty());
}

const QString kNiHao = QStringLiteral("你好");
const QString kNi = QStringLiteral("你");
const QByteArray kNiBytes = Hex("C4 E3");

INSTANTIATE_TEST_SUITE_P(
    Texts, TextFrameCases,
    ::testing::Values(
        TextCase{"NiHaoWhole", kNiHao, 0, 0, 0, Hex("FD 00 07 01 01 C4 E3 BA C3 A4"), 0, 2},
        TextCase{"NiHaoMusic15", kNiHao, 0, 0, 15, Hex("FD 00 07 01 79 C4 E3 BA C3 DC"), 0, 2},
        TextCase{"SingleA", "A", 0, 0, 0, Hex("FD 00 04 01 01 41 B8"), 0, 1},
        TextCase{"Exactly200", Repeat("a", 200), 0, 0, 0, TextFrame(1, QByteArray(200, 'a')), 0,
                 200},
        TextCase{"Ascii201", Repeat("a", 201), 0, 0, 0, TextFrame(1, QByteArray(200, 'a')), 0, 200},
        TextCase{"Ascii199ThenChinese", Repeat("a", 199) + kNi, 0, 0, 0,
                 TextFrame(1, QByteArray(199, 'a')), 0, 199},
        TextCase{"Chinese101", Repeat(kNi, 101), 0, 0, 0, TextFrame(1, kNiBytes.repeated(100)), 0,
                 100},
        TextCase{"MidTextSelection", QStringLiteral("abc你好def"), 3, 2, 0,
                 Hex("FD 00 07 01 01 C4 E3 BA C3 A4"), 3, 2},
        TextCase{"MidTextLongSelection", Repeat("x", 300), 50, 250, 0,
                 TextFrame(1, QByteArray(200, 'x')), 50, 200},
        TextCase{"LineBreaksAreCrLf", QStringLiteral("a\r\n你"), 0, 0, 2,
                 TextFrame(0x11, Hex("61 0D 0A C4 E3")), 0, 4},
        // A character outside GBK goes as '?', counted as one byte per half,
        // and the cut never falls between the halves.
        TextCase{"EmojiAsQuestionMarks", QString::fromUtf16(u"a\U0001F600"), 0, 0, 0,
                 TextFrame(1, "a??"), 0, 3},
        TextCase{"EmojiAtTheLimitStaysWhole", Repeat("a", 199) + QString::fromUtf16(u"\U0001F600"),
                 0, 0, 0, TextFrame(1, QByteArray(199, 'a')), 0, 199},
        TextCase{"EuroIsOneByte", QString(QChar(0x20AC)), 0, 0, 0, TextFrame(1, Hex("80")), 0, 1},
        // Far beyond what a 16-bit count holds: still only the first 200 bytes.
        TextCase{"HugeChineseText", Repeat(kNi, 40000), 0, 0, 0,
                 TextFrame(1, kNiBytes.repeated(100)), 0, 100},
        TextCase{"HugeSelectionFromTheMiddle", Repeat("b", 70000), 100, 69000, 0,
                 TextFrame(1, QByteArray(200, 'b')), 100, 200}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(TextFrame, EmptyTextSendsAndLogsNothing) {
    Line line;
    line->Widget(&Form1::Text3)->SetText(QString());
    line->Widget(&Form1::Text4)->SetText(QStringLiteral("earlier\r\n"));
    line.click();
    EXPECT_TRUE(line.peer.read(200).isEmpty());
    EXPECT_EQ(line.h->log(), QStringLiteral("earlier\r\n"));
    EXPECT_TRUE(line.h->messages.isEmpty());
}

TEST(TextFrame, TypedMusicFieldMeansNoMusic) {
    Line line;
    line->Widget(&Form1::Text3)->SetText(QStringLiteral("A"));
    line->Widget(&Form1::Combo1)->SetListIndex(15);
    QTest::keyClicks(line->Widget(&Form1::Combo1)->lineEdit(), "x");
    ASSERT_EQ(line->Widget(&Form1::Combo1)->ListIndex(), -1);
    line.click();
    EXPECT_EQ(line.peer.read(), Hex("FD 00 04 01 01 41 B8"));
}

TEST(TextFrame, FocusEndsInTheTextBox) {
    Line line;
    line->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(line.h->form.get()));
    line->Widget(&Form1::Text3)->SetText(QStringLiteral("A"));
    line->Widget(&Form1::Command6)->setFocus();
    line.click();
    EXPECT_EQ(QApplication::focusWidget(), line->Widget(&Form1::Text3));
}

TEST(TextFrame, MissingPortKeepsTrimAndLogEntry) {
    PortsFolder ports;
    ports.link(1, QStringLiteral("/nonexistent/tty-vxt")); // COM1 names no device
    auto h = FormHarness::Real(ports.path());
    h->messages.clear();
    (*h)->Widget(&Form1::Text3)->SetText(QString(201, QLatin1Char('a')));
    (*h)->Command6_Click();
    EXPECT_EQ(h->messages, QStringList{kPortFailureMessage});
    EXPECT_EQ((*h)->Widget(&Form1::Text3)->SelLength(), 200);
    EXPECT_EQ(h->log(), Entry(TextFrame(1, QByteArray(200, 'a'))));
}

TEST(TextFrame, ContinuousPiecesCoverTheTextOnce) {
    // Stepping on by what each click left selected sends every byte once.
    Line line;
    const QString text = Repeat(QStringLiteral("你a\r\n"), 150);
    line->Widget(&Form1::Text3)->SetText(text);
    QByteArray all;
    int start = 0;
    while (start < line->Widget(&Form1::Text3)->Length()) {
        line->Widget(&Form1::Text3)->SetSelStart(start);
        line->Widget(&Form1::Text3)->SetSelLength(line->Widget(&Form1::Text3)->Length() - start);
        line->Command6_Click();
        const QByteArray frame = ToQBytes(line->FrameBuffer);
        ASSERT_LE(frame.size(), 206);
        all += frame.mid(5, frame.size() - 6);
        start += line->Widget(&Form1::Text3)->SelLength();
    }
    EXPECT_EQ(all, Hex("C4 E3 61 0D 0A").repeated(150));
}

} // namespace
