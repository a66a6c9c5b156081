// Frames typed in hexadecimal and sent with the computed (Command29) or the
// typed (Command30) checksum: on a real pseudo-terminal line and on the fake,
// with the work log and the format message.
#include "core/frame_codec.h"
#include "testsupport/wired_console.h"

#include <QTest>
#include <gtest/gtest.h>
#include <optional>

namespace {

const QString kNotHex = QStringLiteral("格式不匹配，不是16进制数值");

class HexLine : public WiredTest {};

struct HexCase {
    const char* what;
    QString text;                       // nullopt frames: invalid text
    std::optional<const char*> auto29;  // what Command29 sends
    std::optional<const char*> typed30; // what Command30 sends
};

const QString kStartUpText =
    QStringLiteral("fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1\r\n");

TEST_P(HexLine, TypedTextsOnTheLineAndInTheLog) {
    const HexCase cases[] = {
        {"start-up text", kStartUpText, "FD 00 0F 01 01 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 F2",
         "FD 00 0F 01 01 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1"},
        {"trailing line break", QStringLiteral("fd 00\r\n"), "FD 00 FD", "FD 00"},
        {"blank and line break", QStringLiteral("fd 00 \r\n"), std::nullopt, std::nullopt},
        {"dashes", QStringLiteral("FD-00-02-02"), "FD 00 02 02 FD", "FD 00 02 02"},
        {"no separators", QStringLiteral("fd0002"), "FD 00 FD", "FD 00"},
        {"one group", QStringLiteral("fd"), "FD FD", "FD"},
        {"stop frame typed whole", QStringLiteral("fd 00 02 02 fd"), "FD 00 02 02 FD 00",
         "FD 00 02 02 FD"},
        {"upper case", QStringLiteral("FD 00 02 21 DE"), "FD 00 02 21 DE 00", "FD 00 02 21 DE"},
        {"lower case", QStringLiteral("fd 00 02 21 de"), "FD 00 02 21 DE 00", "FD 00 02 21 DE"},
        {"g in a digit position", QStringLiteral("fd 0g 02"), std::nullopt, std::nullopt},
        {"blank in a digit position", QStringLiteral("fd  0 02"), std::nullopt, std::nullopt},
        {"Chinese in a digit position", QStringLiteral("fd 中0"), std::nullopt, std::nullopt},
        {"single character", QStringLiteral("f"), std::nullopt, std::nullopt},
    };
    for (const HexCase& c : cases) {
        for (const bool auto29 : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (auto29 ? " / Command29" : " / Command30"));
            form().Command2_Click();
            console->harness().messages.clear();
            form().Widget(&Form1::Text5)->SetText(c.text);
            form().PlayAllActive = -1;
            if (auto29)
                QTest::mouseClick(form().Widget(&Form1::Command29), Qt::LeftButton);
            else
                QTest::mouseClick(form().Widget(&Form1::Command30), Qt::LeftButton);
            EXPECT_EQ(form().PlayAllActive, 0);
            const std::optional<const char*> expected = auto29 ? c.auto29 : c.typed30;
            if (expected) {
                const QByteArray frame = Hex(*expected);
                EXPECT_EQ(console->Sent(frame.size()).toHex(' ').toStdString(),
                          frame.toHex(' ').toStdString());
                EXPECT_EQ(console->harness().log(), ToQString(FrameLogText(ToStdBytes(frame))));
                EXPECT_TRUE(console->harness().messages.isEmpty());
            } else {
                EXPECT_EQ(console->Sent(0), QByteArray());
                EXPECT_EQ(console->harness().log(), QString());
                EXPECT_EQ(console->harness().messages,
                          auto29 ? QStringList{kNotHex} : QStringList{});
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Wires, HexLine, ::testing::Values(Wire::Fake, Wire::Pty),
                         [](const auto& info) {
                             return info.param == Wire::Fake ? std::string("Fake")
                                                             : std::string("Pty");
                         });

// ------------------------------------------------------------ the frame state

TEST(HexFrames, LogCountsAndFrameState) {
    FormHarness h;
    h->Widget(&Form1::Text5)->SetText(QStringLiteral("fd"));
    h->Command30_Click();
    EXPECT_EQ(h->LastDataIndex, -1);
    EXPECT_EQ(ToQBytes(h->FrameBuffer), Hex("FD"));
    EXPECT_EQ(h.log(), QStringLiteral("发出一帧，字节数  1\r\n---->0xFD \r\n"));
    h->Command2_Click();
    h->Command29_Click();
    EXPECT_EQ(h->LastDataIndex, 0);
    EXPECT_EQ(ToQBytes(h->FrameBuffer), Hex("FD FD"));
    EXPECT_EQ(h.log(), QStringLiteral("发出一帧，字节数  2\r\n---->0xFD 0xFD \r\n"));

    h->Widget(&Form1::Text5)->SetText(kStartUpText);
    h->Command2_Click();
    h->Command29_Click();
    EXPECT_EQ(h->LastDataIndex, 16);
    EXPECT_EQ(h->Checksum, 0xF2);
    EXPECT_TRUE(h.log().startsWith(QStringLiteral("发出一帧，字节数  18\r\n")));
    h->Command2_Click();
    h->Command30_Click();
    EXPECT_EQ(h->LastDataIndex, 15);
    EXPECT_TRUE(h.log().startsWith(QStringLiteral("发出一帧，字节数  17\r\n")));
    EXPECT_EQ(h.fake->written.size(), 4);
}

TEST(HexFrames, EmptyTextDoesNothing) {
    FormHarness h;
    h->Widget(&Form1::Text5)->SetText(QString());
    h->PlayAllActive = -1;
    h->Command29_Click();
    h->Command30_Click();
    EXPECT_EQ(h->PlayAllActive, 0);
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_EQ(h.log(), QString());
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST(HexFrames, TooLongATextIsRefusedLikeInvalidText) {
    FormHarness h;
    QString text;
    while (text.size() < 32766)
        text += QStringLiteral("00 ");
    text.truncate(32766);
    h->Widget(&Form1::Text5)->SetText(text);
    h->Command30_Click();
    ASSERT_EQ(h.fake->written.size(), 1);
    EXPECT_EQ(h.fake->written[0].size(), 10922);

    h->Widget(&Form1::Text5)->SetText(text + QStringLiteral("0"));
    h->Command29_Click();
    h->Command30_Click();
    EXPECT_EQ(h.messages, QStringList{kNotHex});
    // A megabyte of pasted digits: the same.
    h->Widget(&Form1::Text5)->SetText(QString(1 << 20, QLatin1Char('0')));
    h->Command29_Click();
    EXPECT_EQ(h.messages, (QStringList{kNotHex, kNotHex}));
    EXPECT_EQ(h.fake->written.size(), 1);
}

TEST(HexFrames, APortThatFailsKeepsTheLogEntry) {
    FormHarness h([](FakeCommControl& fake) { fake.missingPorts.insert(1); });
    h.messages.clear();
    h->Widget(&Form1::Text5)->SetText(QStringLiteral("fd 00 02 02 fd"));
    h->Command30_Click();
    EXPECT_EQ(h.log(), ToQString(FrameLogText(ToStdBytes(Hex("FD 00 02 02 FD")))));
    EXPECT_EQ(h.messages, QStringList{kPortFailureMessage});
}

} // namespace
