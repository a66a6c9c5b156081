// The console against a simulated chip that misbehaves on demand, through the
// real serial control on a pseudo-terminal: it keeps running, every frame it
// was asked to send reaches the chip, the work log holds exactly the lines
// for the status bytes that arrived, and continuous playback behaves as
// designed.
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 10000;

// The log line for a status byte that arrives with no rate change pending.
QString ReplyLine(uint8_t b) {
    switch (b) {
    case 0x41:
        return QStringLiteral("<-0x41  接收成功");
    case 0x45:
        return QStringLiteral("<-0x45  接收失败");
    case 0x4A:
        return QStringLiteral("<-0x4A  初始化成功回传");
    case 0x4E:
        return QStringLiteral("<-0x4E  芯片正在播音");
    case 0x4F:
        return QStringLiteral("<-0x4F  芯片空闲");
    default:
        return QString();
    }
}

// The chip and the console on COM1, the chip started first.
struct Faulty {
    PortsFolder ports;
    ChipSim chip;
    std::unique_ptr<FormHarness> h;

    explicit Faulty(const QStringList& args, double timeScale = 0.01)
        : chip(ports.path(), 1, timeScale, args) {
        if (chip.started())
            h = FormHarness::Real(ports.path());
    }
    bool ready() const { return h && h->form->MSComm1->PortOpen(); }
    Form1Window* operator->() const { return h->form.get(); }

    // Every byte the chip put on the line, answers and noise, in order.
    QByteArray chipSent() {
        QByteArray bytes;
        for (const QString& l : chip.lines()) {
            if (l.startsWith(QLatin1String("send 0x")))
                bytes += char(l.mid(7, 2).toInt(nullptr, 16));
            else if (l.startsWith(QLatin1String("noise ")))
                bytes += QByteArray::fromHex(l.section(QStringLiteral(": "), 1).toLatin1());
        }
        return bytes;
    }
    QStringList expectedReplyLines() {
        QStringList lines;
        for (const char c : chipSent())
            if (const QString l = ReplyLine(uint8_t(c)); !l.isEmpty())
                lines << l;
        return lines;
    }
    QStringList replyLines() const {
        return h->log().split(QStringLiteral("\r\n")).filter(QRegularExpression("^<-0x"));
    }
    // Waits until the line is quiet, the log has caught up with it and the
    // chip has told of every frame (on a busy machine its lines come late).
    void settle() {
        WaitUntil([&] { return replyLines() == expectedReplyLines() && framesReceived() == framesLogged(); },
                  kWaitMs);
    }
    int framesReceived() { return int(chip.lines().filter(QRegularExpression("^recv FD")).size()); }
    int framesLogged() const { return int(h->log().count(QStringLiteral("---->0xFD"))); }
};

// What must hold after every fault.
void ExpectSurvived(Faulty& f) {
    f.settle();
    EXPECT_EQ(f.replyLines(), f.expectedReplyLines()) << "one log line per status byte";
    EXPECT_EQ(f.framesReceived(), f.framesLogged()) << "every frame reached the chip";
    EXPECT_EQ(f.chip.process().state(), QProcess::Running);
    EXPECT_TRUE(f.h->messages.isEmpty()) << f.h->messages.join('|').toStdString();
    // Still a working console.
    const int before = f.framesReceived();
    f->Command7_Click();
    EXPECT_TRUE(WaitUntil([&] { return f.framesReceived() == before + 1; }, kWaitMs));
}

// 20 frames of every kind the console sends in ordinary use.
void SendMixedFrames(Faulty& f) {
    f->Widget(&Form1::Text3)->SetText(QStringLiteral("你好"));
    for (int i = 0; i < 5; ++i) {
        f->Widget(&Form1::Text3)->SetSelStart(0);
        f->Command6_Click(); // text
        PumpEvents(30);
        f->Command28_Click(); // status query
        PumpEvents(30);
        f->Widget(&Form1::HScroll1)->SetValue(f->Widget(&Form1::HScroll1)->Value() == 11 ? 12 : 11); // a mark
        PumpEvents(30);
        f->Command7_Click(); // stop
        PumpEvents(30);
    }
}

TEST(ConsoleUnderFaults, LineTimingHoldsTheChipsAnswerForTheFramesTimeOnTheWire) {
    Faulty f({QStringLiteral("--line-timing"), QStringLiteral("--report-times")});
    ASSERT_TRUE(f.ready());
    PumpEvents(200);
    f->Widget(&Form1::Text3)->SetText(QString(200, QLatin1Char('A'))); // a 206-byte frame
    f->Command6_Click();
    // The frame has been handed to the driver when the click returns.
    const qint64 wrote = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(WaitUntil([&] { return f.h->log().contains(ReplyLine(0x41)); }, kWaitMs));
    const qint64 logged = QDateTime::currentMSecsSinceEpoch();
    EXPECT_GE(logged - wrote, 214);
    // The chip's own time of its answer.
    qint64 answered = -1;
    for (const QString& l : f.chip.lines())
        if (l.endsWith(QLatin1String(" send 0x41")))
            answered = l.section(QLatin1Char(' '), 0, 0).toLongLong();
    EXPECT_GE(answered - wrote, 214);
}

TEST(ConsoleUnderFaults, RejectedFrames) {
    Faulty f({QStringLiteral("--seed"), QStringLiteral("4"), QStringLiteral("--reject"),
              QStringLiteral("0.5")});
    ASSERT_TRUE(f.ready());
    SendMixedFrames(f);
    ExpectSurvived(f);
    EXPECT_GT(f.replyLines().count(ReplyLine(0x45)), 3);
}

TEST(ConsoleUnderFaults, MutedFrames) {
    Faulty f({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--mute"),
              QStringLiteral("0.5")});
    ASSERT_TRUE(f.ready());
    SendMixedFrames(f);
    ExpectSurvived(f);
    EXPECT_GT(f.chip.lines().filter(QStringLiteral("fault: no answer")).size(), 3);
}

TEST(ConsoleUnderFaults, GarbledReplies) {
    Faulty f({QStringLiteral("--seed"), QStringLiteral("6"), QStringLiteral("--garble"),
              QStringLiteral("0.4")});
    ASSERT_TRUE(f.ready());
    SendMixedFrames(f);
    ExpectSurvived(f);
    EXPECT_GT(f.chip.lines().filter(QStringLiteral("fault: 0x")).size(), 3);
}

TEST(ConsoleUnderFaults, NoiseOnTheLine) {
    // All that a 9600 bit/s line carries, between the answers.
    Faulty f({QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--noise"),
              QStringLiteral("960")});
    ASSERT_TRUE(f.ready());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    SendMixedFrames(f);
    PumpEvents(1000);
    timer.stop();
    EXPECT_GT(ticks, 30) << "the event loop kept turning";
    EXPECT_GT(f.chipSent().size(), 500);
    ExpectSurvived(f);
}

TEST(ConsoleUnderFaults, DroppedIdleReportStopsPlaybackAfterThePiece) {
    Faulty f({QStringLiteral("--drop-idle"), QStringLiteral("1")});
    ASSERT_TRUE(f.ready());
    QString text;
    for (int i = 0; i < 225; ++i)
        text += QChar(0x4E00 + i);
    f->Widget(&Form1::Text3)->SetText(text);
    f->Command3_Click();
    ASSERT_TRUE(f.chip.waitForLine(QStringLiteral("fault: no idle report"), kWaitMs));
    PumpEvents(500);
    // The chip never said idle: playback waits after its first piece.
    EXPECT_EQ(f.chip.lines().filter(QStringLiteral("synthesize")).size(), 1);
    EXPECT_EQ(f->PlayAllActive, -1);
    EXPECT_EQ(f->Widget(&Form1::Text3)->SelStart(), 0);
    EXPECT_EQ(f->Widget(&Form1::Text3)->SelLength(), 100);
    // 播放全部 starts again from the beginning.
    f->Command3_Click();
    ASSERT_TRUE(WaitUntil(
        [&] { return f.chip.lines().filter(QStringLiteral("synthesize")).size() == 2; }, kWaitMs));
    const QStringList frames = f.chip.lines().filter(QStringLiteral("synthesize"));
    EXPECT_EQ(frames[0], frames[1]);
    ExpectSurvived(f);
}

TEST(ConsoleUnderFaults, UnplugThenReplug) {
    Faulty f({QStringLiteral("--unplug-after"), QStringLiteral("0.5"),
              QStringLiteral("--replug-after"), QStringLiteral("1")});
    ASSERT_TRUE(f.ready());
    ASSERT_TRUE(f.chip.waitForLine(QStringLiteral("unplugged: the line is gone"), kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return !f->MSComm1->PortOpen(); }, kWaitMs));
    PumpEvents(100);
    EXPECT_TRUE(f.h->messages.isEmpty()) << "the control closes quietly";

    // The next send shows the port-failure message once, and only once.
    f->Command28_Click();
    EXPECT_EQ(f.h->messages, QStringList{kPortFailureMessage});
    PumpEvents(100);
    EXPECT_EQ(f.h->messages.size(), 1);

    ASSERT_TRUE(f.chip.waitForLine(QStringLiteral("replugged"), kWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(f.ports.path() + "/com1").exists(); }, 2000));
    const int before = f.framesReceived();
    f->Command28_Click();
    EXPECT_TRUE(WaitUntil([&] { return f.framesReceived() == before + 1; }, kWaitMs));
    EXPECT_TRUE(f->MSComm1->PortOpen());
    EXPECT_EQ(f.h->messages.size(), 1);
    f.settle();
    EXPECT_TRUE(f.replyLines().endsWith(ReplyLine(0x4F)));
    // The query before the replug was logged but never reached a chip.
    EXPECT_EQ(f.framesLogged(), f.framesReceived() + 1);
}

} // namespace
