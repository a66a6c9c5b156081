// End to end: the console with its real serial control on a pseudo-terminal,
// the simulated chip at the other end.
#include "core/frame_codec.h"
#include "testsupport/qt_gbk.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"
#include "testsupport/pty_peer.h"

#include <gtest/gtest.h>

namespace {

const QString kOk = QStringLiteral("<-0x41  接收成功");
const QString kOkRate = QStringLiteral("<-0x41  接收成功   波特率已修改成功");
const QString kInit = QStringLiteral("<-0x4A  初始化成功回传");
const QString kIdle = QStringLiteral("<-0x4F  芯片空闲");
constexpr int kWaitMs = 10000;

QString Lines(const QStringList& lines) {
    QString s;
    for (const QString& l : lines)
        s += l + QStringLiteral("\r\n");
    return s;
}

// The chip on COM1 and the console, which has opened COM1 and read the
// chip's start-up report; the log is then emptied.
struct Bench {
    PortsFolder ports;
    ChipSim chip{ports.path()};
    std::unique_ptr<FormHarness> h;

    Bench() {
        if (!chip.started())
            return;
        h = FormHarness::Real(ports.path());
        WaitUntil([&] { return h->log().contains(kInit); }, kWaitMs);
        (*h)->Widget(&Form1::Text4)->SetText(QString());
    }
    bool ready() const { return h && (*h)->MSComm1->PortOpen(); }
    Form1Window* operator->() const { return h->form.get(); }
    QString log() const { return h->log(); }
    int count(const QString& line) const { return log().count(line); }
    // The simulator's lines that contain substr.
    QStringList chipLines(const QString& substr) { return chip.lines().filter(substr); }
};

TEST(EndToEnd, ChipSaysInitWhenTheConsoleOpensThePort) {
    PortsFolder ports;
    ChipSim chip(ports.path());
    ASSERT_TRUE(chip.started());
    auto h = FormHarness::Real(ports.path());
    EXPECT_TRUE(WaitUntil([&] { return h->log() == Lines({kInit}); }, kWaitMs))
        << h->log().toStdString();
    EXPECT_TRUE(h->messages.isEmpty());
}

TEST(EndToEnd, ShortTextIsAcceptedAndSpoken) {
    Bench b;
    ASSERT_TRUE(b.ready());
    b->Widget(&Form1::Text3)->SetText(QStringLiteral("你好"));
    b->Command6_Click();
    ASSERT_TRUE(WaitUntil([&] { return b.count(kIdle) == 1; }, kWaitMs)) << b.log().toStdString();
    EXPECT_EQ(b.log(), ToQString(FrameLogText(ToStdBytes(Hex("FD 00 07 01 01 C4 E3 BA C3 A4")))) + Lines({kOk, kIdle}));
    EXPECT_EQ(b.chipLines(QStringLiteral("recv ")),
              QStringList{QStringLiteral("recv FD 00 07 01 01 C4 E3 BA C3 A4 | synthesize 4 "
                                         "bytes, music 0, encoding 1 | now v10 m4 t4 o0")});
}

TEST(EndToEnd, LongTextPlaysPieceByPieceAndStops) {
    Bench b;
    ASSERT_TRUE(b.ready());
    QString text;
    for (int i = 0; i < 225; ++i)
        text += QChar(0x4E00 + i);
    b->Widget(&Form1::Text3)->SetText(text);
    b->Command3_Click();
    ASSERT_TRUE(WaitUntil([&] { return b.count(kIdle) == 3; }, kWaitMs)) << b.log().toStdString();
    EXPECT_EQ(b->PlayAllActive, 0);
    // The last idle report plays nothing more.
    b->Command28_Click();
    ASSERT_TRUE(WaitUntil([&] { return b.count(kIdle) == 4; }, kWaitMs));

    const QStringList frames = b.chipLines(QStringLiteral("synthesize"));
    ASSERT_EQ(frames.size(), 3);
    const QString pieces[] = {text.mid(0, 100), text.mid(100, 100), text.mid(200, 25)};
    for (int i = 0; i < 3; ++i) {
        const QByteArray payload = GbkBytes(pieces[i]).toHex(' ').toUpper();
        EXPECT_TRUE(frames[i].contains(QString::fromLatin1(payload))) << i;
    }
    EXPECT_EQ(b.chipLines(QStringLiteral("done speaking")).size(), 3);
    EXPECT_EQ(b.count(kOk), 3);
    EXPECT_EQ(b->Widget(&Form1::Text3)->SelStart(), 200);
    EXPECT_EQ(b->Widget(&Form1::Text3)->SelLength(), 25);
}

TEST(EndToEnd, RateChangeLeavesBothSidesAt19200) {
    Bench b;
    ASSERT_TRUE(b.ready());
    b->Widget(&Form1::Combo5)->SetListIndex(1);
    b->Command11_Click();
    ASSERT_TRUE(WaitUntil([&] { return b.log().contains(kOkRate); }, kWaitMs))
        << b.log().toStdString();
    EXPECT_EQ(b->MSComm1->Settings(), "19200,N,8,1");
    EXPECT_EQ(b->Widget(&Form1::Combo2)->ListIndex(), 1);
    EXPECT_TRUE(b->MSComm1->PortOpen());
    EXPECT_EQ(b->BaudChangePending, 0);
    EXPECT_EQ(b.chipLines(QStringLiteral("rate 19200 bit/s from now on")).size(), 1);

    // Heard and answered at the new rate.
    b->Command28_Click();
    ASSERT_TRUE(WaitUntil([&] { return b.log().endsWith(Lines({kIdle})); }, kWaitMs))
        << b.log().toStdString();
    EXPECT_TRUE(b.chipLines(QStringLiteral("ignored")).isEmpty());

    // The console back at 9600 on its own is no longer understood.
    b->Widget(&Form1::Combo2)->SetListIndex(0);
    b->Combo2_Click();
    b->Command28_Click();
    EXPECT_TRUE(b.chip.waitForLine(QStringLiteral("ignored 5 bytes sent at 9600"), kWaitMs));
    PumpEvents(100);
    EXPECT_EQ(b.count(kIdle), 1);
}

} // namespace
