// Continuous playback: first with the fake control playing the chip's replies,
// then end to end against the simulated chip on a pseudo-terminal.
#include "core/demo_texts.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QByteArray kIdle("\x4F");
const QByteArray kReceived("\x41");

QByteArray Gbk(const QString& text) {
    QStringEncoder gbk("GBK");
    return gbk.encode(text);
}

// The text bytes of a synthesis frame (none for any other frame).
QByteArray TextOf(const QByteArray& frame) {
    if (frame.size() < 6 || uint8_t(frame[3]) != 0x01)
        return {};
    return frame.mid(5, frame.size() - 6);
}

QList<QByteArray> TextFrames(const QList<QByteArray>& frames) {
    QList<QByteArray> texts;
    for (const QByteArray& f : frames)
        if (!TextOf(f).isEmpty())
            texts << TextOf(f);
    return texts;
}

QList<int> Sizes(const QList<QByteArray>& texts) {
    QList<int> sizes;
    for (const QByteArray& t : texts)
        sizes << int(t.size());
    return sizes;
}

// 225 Chinese characters (450 bytes): pieces of 100, 100 and 25 characters.
QString Chinese225() {
    QString s;
    for (int i = 0; i < 225; ++i)
        s += QChar(0x4E00 + i * 7);
    return s;
}

struct FakeChip : testing::Test {
    FormHarness h;
    void Load(const QString& text) {
        h->Widget(&Form1::Text3)->SetText(text);
        h.fake->written.clear();
    }
};

} // namespace

TEST_F(FakeChip, StartsFromTheBeginningWhateverTheUserSelected) {
    Load(QStringLiteral("ABCDEFG"));
    h->Widget(&Form1::Text3)->SetSelStart(2);
    h->Widget(&Form1::Text3)->SetSelLength(3);
    h->Command3_Click();
    ASSERT_EQ(h.fake->written.size(), 1);
    EXPECT_EQ(TextOf(h.fake->written[0]), QByteArray("ABCDEFG"));
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), 0);
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), 7);
    EXPECT_EQ(h->PlayAllActive, -1);
}

TEST_F(FakeChip, EmptyTextSendsNothingYetStartsAndTheNextIdleEndsIt) {
    Load(QString());
    h->Command3_Click();
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_EQ(h->PlayAllActive, -1);
    h.fake->Receive(kIdle);
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_EQ(h->PlayAllActive, 0);
}

TEST_F(FakeChip, EachIdleReplyPlaysTheNextPieceUntilTheEnd) {
    const QString text = Chinese225();
    Load(text);
    h->Command3_Click();
    const struct {
        int from, count;
        int16_t playAll;
    } pieces[] = {{0, 100, -1}, {100, 100, -1}, {200, 25, 0}};
    for (const auto& p : pieces) {
        SCOPED_TRACE(p.from);
        ASSERT_EQ(h.fake->written.size(), 1);
        EXPECT_EQ(TextOf(h.fake->written.takeFirst()), Gbk(text.mid(p.from, p.count)));
        EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), p.from);
        EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), p.count);
        EXPECT_EQ(h->PlayAllActive, p.playAll);
        h.fake->Receive(kReceived);
        EXPECT_TRUE(h.fake->written.isEmpty()); // acceptance alone plays nothing
        h.fake->Receive(kIdle);
    }
    // The idle reply after the last piece only logs its line.
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_EQ(h.log().count(QStringLiteral("<-0x4F  芯片空闲\r\n")), 3);
}

TEST_F(FakeChip, PauseAndResumeKeepItGoingStopEndsIt) {
    Load(Chinese225());
    h->Command3_Click();
    h->Command8_Click();
    h->Command9_Click();
    EXPECT_EQ(h->PlayAllActive, -1);
    h.fake->written.clear();
    h.fake->Receive(kIdle);
    EXPECT_EQ(Sizes(TextFrames(h.fake->written)), QList<int>{200});
    EXPECT_EQ(h->PlayAllActive, -1);

    h->Command7_Click();
    EXPECT_EQ(h->PlayAllActive, 0);
    h.fake->written.clear();
    h.fake->Receive(kIdle);
    EXPECT_TRUE(h.fake->written.isEmpty());
}

TEST_F(FakeChip, LoadingDuringPlaybackLeavesItRunning) {
    Load(Chinese225());
    h->Command3_Click();
    h->Command32_Click();
    EXPECT_EQ(h->PlayAllActive, -1);
    // Loading left nothing selected: the next idle reply plays the new text
    // from its start.
    h.fake->written.clear();
    h.fake->Receive(kIdle);
    EXPECT_EQ(TextFrames(h.fake->written),
              QList<QByteArray>{Gbk(ToQString(PromptToneText()).left(200))});
}

// A port connecting in the background that fails after the first piece was
// handed to it: no reply will come, so playback ends with one message.
TEST_F(FakeChip, APortThatFailsInTheBackgroundEndsIt) {
    Load(Chinese225());
    h->Command3_Click();
    EXPECT_EQ(h->PlayAllActive, -1);
    h.fake->FailInBackground("connection refused");
    EXPECT_EQ(h->PlayAllActive, 0);
    EXPECT_EQ(h.messages.size(), 1);
}

TEST_F(FakeChip, ButtonIsWired) {
    Load(QStringLiteral("A"));
    h->Widget(&Form1::Command3)->click();
    EXPECT_EQ(h.fake->written, QList<QByteArray>{Hex("FD 00 04 01 01 41 B8")});
    EXPECT_EQ(h->PlayAllActive, -1);
}

// ---- end to end: the console on a real line, the simulated chip at the far end

namespace {

struct SimulatedChip : testing::Test {
    PortsFolder ports;
    std::unique_ptr<ChipSim> chip;
    std::unique_ptr<FormHarness> h;

    void Start(double timeScale = 0.01) {
        chip = std::make_unique<ChipSim>(ports.path(), 1, timeScale);
        ASSERT_TRUE(chip->started()) << chip->errors().toStdString();
        h = FormHarness::Real(ports.path());
        ASSERT_TRUE(h->messages.isEmpty());
    }
    Form1Window* form() const { return h->form.get(); }

    // Every frame the chip received, in order.
    QList<QByteArray> Received() {
        static const QRegularExpression recv(QStringLiteral("^recv ([0-9A-F ]+) \\|"));
        QList<QByteArray> frames;
        for (const QString& line : chip->lines()) {
            const auto m = recv.match(line);
            if (m.hasMatch())
                frames << Hex(m.captured(1).toLatin1().constData());
        }
        return frames;
    }
    int IdleLines() const { return h->log().count(QStringLiteral("<-0x4F  芯片空闲\r\n")); }

    // Plays text continuously until the console has read the chip's idle
    // reply to the last piece, and a little beyond to see nothing follows.
    QList<QByteArray> PlayAll(const QString& text, int expectedPieces) {
        form()->Widget(&Form1::Text3)->SetText(text);
        form()->Command3_Click();
        EXPECT_EQ(form()->PlayAllActive, -1);
        EXPECT_TRUE(WaitUntil([&] { return IdleLines() >= expectedPieces; }, 30000))
            << h->log().toStdString();
        PumpEvents(200);
        EXPECT_EQ(form()->PlayAllActive, 0);
        EXPECT_EQ(IdleLines(), expectedPieces);
        return TextFrames(Received());
    }
};

} // namespace

TEST_F(SimulatedChip, ChipIntroductionGoesOutInFivePieces) {
    Start();
    form()->Command31_Click();
    const QList<QByteArray> texts = PlayAll(form()->Widget(&Form1::Text3)->Text(), 5);
    EXPECT_EQ(Sizes(texts), QList<int>({200, 199, 200, 199, 187}));
    EXPECT_EQ(texts.join(), Gbk(ToQString(ChipIntroText())));
    // The third piece ends inside "19200bps": the cut ignores words and numbers.
    EXPECT_TRUE(texts.value(2).endsWith("1"));
    EXPECT_TRUE(texts.value(3).startsWith("9200bps"));
}

TEST_F(SimulatedChip, PromptTonesGoOutInThreePieces) {
    Start();
    form()->Command32_Click();
    const QList<QByteArray> texts = PlayAll(form()->Widget(&Form1::Text3)->Text(), 3);
    EXPECT_EQ(Sizes(texts), QList<int>({200, 200, 55}));
    EXPECT_EQ(texts.join(), Gbk(ToQString(PromptToneText())));
}

TEST_F(SimulatedChip, TwoHundredBytesAreOneFrameAndTheFirstIdleEndsPlayback) {
    Start();
    const QString text = Chinese225().left(100);
    EXPECT_EQ(Sizes(PlayAll(text, 1)), QList<int>{200});
}

TEST_F(SimulatedChip, PauseThenResumeKeepsItGoing) {
    Start(0.05); // a first piece of 1.25 s to pause in
    const QString text = Chinese225();
    form()->Widget(&Form1::Text3)->SetText(text);
    // Back to back: the pause reaches the chip while it speaks the first piece.
    form()->Command3_Click();
    form()->Command8_Click();
    EXPECT_EQ(form()->PlayAllActive, -1);
    ASSERT_TRUE(chip->waitForLine(QStringLiteral("paused"), 5000));
    // While paused the chip reports nothing, so nothing more is played.
    PumpEvents(300);
    EXPECT_EQ(Sizes(TextFrames(Received())), QList<int>{200});
    form()->Command9_Click();
    EXPECT_EQ(form()->PlayAllActive, -1);

    EXPECT_TRUE(WaitUntil([&] { return IdleLines() >= 3; }, 30000)) << h->log().toStdString();
    PumpEvents(200);
    const QList<QByteArray> texts = TextFrames(Received());
    EXPECT_EQ(Sizes(texts), QList<int>({200, 200, 50}));
    EXPECT_EQ(texts.join(), Gbk(text));
    EXPECT_EQ(form()->PlayAllActive, 0);
    EXPECT_EQ(IdleLines(), 3);
}

TEST_F(SimulatedChip, StopEndsIt) {
    Start(0.05);
    form()->Widget(&Form1::Text3)->SetText(Chinese225());
    form()->Command3_Click();
    form()->Command7_Click();
    EXPECT_EQ(form()->PlayAllActive, 0);
    // The chip reports idle once the speech is stopped; nothing follows it.
    EXPECT_TRUE(WaitUntil([&] { return IdleLines() >= 1; }, 10000)) << h->log().toStdString();
    PumpEvents(300);
    EXPECT_TRUE(chip->waitForLine(QStringLiteral("speech stopped"), 1000));
    EXPECT_EQ(Sizes(TextFrames(Received())), QList<int>{200});
    EXPECT_EQ(IdleLines(), 1);
}

TEST(SimulatedChipRepeat, OneCycleReachesTheChipInOrderAndNoReplyIsReadMeanwhile) {
    PortsFolder ports;
    ChipSim chip(ports.path());
    ASSERT_TRUE(chip.started()) << chip.errors().toStdString();

    // A window of our own: its sleeps really pass (briefly), so the chip's
    // replies arrive while the test still runs.
    QTemporaryDir cwd;
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    QStringList messages;
    Form1Deps deps;
    deps.comm = std::make_unique<SerialCommControl>(ports.path());
    deps.messageBox = [&](const QString& text) { messages << text; };
    deps.sleepMs = [](int32_t ms) { QThread::msleep(std::min<int32_t>(ms, 20)); };
    auto form = std::make_unique<Form1Window>(std::move(deps));
    ASSERT_TRUE(messages.isEmpty());
    PumpEvents(100); // the chip's power-up report
    form->Command2_Click();
    form->Widget(&Form1::Text3)->SetText(QStringLiteral("你好"));
    form->RepeatCycles = 1;

    form->Command4_Click();
    EXPECT_FALSE(form->Widget(&Form1::Text4)->Text().contains(QStringLiteral("<-0x")));

    const QList<QByteArray> expected = {
        Hex("FD 00 07 01 01 5B 76 33 5D B9"),
        Hex("FD 00 07 01 01 5B 76 33 5D B9"),
        Hex("FD 00 07 01 01 5B 6F 30 5D A3"),
        Hex("FD 00 07 01 01 C4 E3 BA C3 A4"),
        Hex("FD 00 07 01 01 5B 6F 31 5D A2"),
        Hex("FD 00 07 01 01 5B 6F 31 5D A2"),
        Hex("FD 00 07 01 01 C4 E3 BA C3 A4"),
        Hex("FD 00 07 01 09 C4 E3 BA C3 AC"),
        Hex("FD 00 07 01 01 5B 6F 30 5D A3"),
        Hex("FD 00 07 01 01 5B 6F 30 5D A3"),
        Hex("FD 00 07 01 09 C4 E3 BA C3 AC"),
        Hex("FD 00 07 01 01 5B 74 30 5D B8"),
        Hex("FD 00 07 01 01 5B 74 30 5D B8"),
        Hex("FD 00 07 01 01 C4 E3 BA C3 A4"),
        Hex("FD 00 07 01 01 C4 E3 BA C3 A4"),
        Hex("FD 00 02 03 FC"),
        Hex("FD 00 02 04 FB"),
        Hex("FD 00 02 02 FD"),
        Hex("FD 00 07 01 01 5B 74 34 5D BC"),
        Hex("FD 00 07 01 01 5B 74 34 5D BC"),
    };
    static const QRegularExpression recv(QStringLiteral("^recv ([0-9A-F ]+) \\|"));
    QList<QByteArray> received;
    EXPECT_TRUE(WaitUntil(
        [&] {
            received.clear();
            for (const QString& line : chip.lines()) {
                const auto m = recv.match(line);
                if (m.hasMatch())
                    received << Hex(m.captured(1).toLatin1().constData());
            }
            return received.size() >= expected.size();
        },
        10000));
    EXPECT_EQ(received, expected);
    // Once the test has returned, the replies that waited are read.
    EXPECT_TRUE(WaitUntil(
        [&] { return form->Widget(&Form1::Text4)->Text().contains(QStringLiteral("<-0x41  接收成功")); }, 5000));
    EXPECT_TRUE(messages.isEmpty());

    form.reset();
    QDir::setCurrent(oldCwd);
}
