// The repetition test, run with recorded sleeps and the fake serial control.
#include "core/demo_texts.h"
#include "testsupport/form_harness.h"

#include <QCoreApplication>
#include <QStringEncoder>

#include <gtest/gtest.h>
#include <numeric>

namespace {

// "你好" as the text, with background music none (01) or 01 (09).
const QByteArray kPlay = Hex("FD 00 07 01 01 C4 E3 BA C3 A4");
const QByteArray kPlayMusic = Hex("FD 00 07 01 09 C4 E3 BA C3 AC");
const QByteArray kV3 = Hex("FD 00 07 01 01 5B 76 33 5D B9");
const QByteArray kO0 = Hex("FD 00 07 01 01 5B 6F 30 5D A3");
const QByteArray kO1 = Hex("FD 00 07 01 01 5B 6F 31 5D A2");
const QByteArray kT0 = Hex("FD 00 07 01 01 5B 74 30 5D B8");
const QByteArray kT4 = Hex("FD 00 07 01 01 5B 74 34 5D BC");
const QByteArray kPause = Hex("FD 00 02 03 FC");
const QByteArray kResume = Hex("FD 00 02 04 FB");
const QByteArray kStop = Hex("FD 00 02 02 FD");

// One cycle started with Option1 selected and no background music.
QList<QByteArray> Cycle() {
    return {kO0,        kPlay,         // natural style (already selected: once)
            kO1,        kO1,    kPlay, // word by word (newly selected: twice)
            kPlayMusic,                // background music 01
            kO0,        kO0,    kPlayMusic, kT0,   kT0, kPlay, // speed 1 (5 -> 1: twice)
            kPlay,      kPause, kResume,    kStop,             // pause, resume, stop
            kT4,        kT4};                                  // speed back to 5
}

QList<int32_t> CycleSleeps(int32_t interval) {
    return {1000, interval, 1000, interval, interval,        1000, interval, 1000, interval,
            2000, 2000,     2000, 2000,     interval - 6000, 1000};
}

struct RepeatFixture : testing::Test {
    FormHarness h;
    void SetUp() override {
        h->Widget(&Form1::Text3)->SetText(QStringLiteral("你好"));
        h.fake->written.clear();
        h.sleeps.clear();
        h->RepeatCycles = 1;
    }
};

int64_t Sum(const QList<int32_t>& waits) {
    return std::accumulate(waits.begin(), waits.end(), int64_t(0));
}

} // namespace

TEST_F(RepeatFixture, OneCycleSendsItsFramesInOrderAndWaitsSixIntervalsPlusSevenSeconds) {
    ASSERT_EQ(h->RepeatIntervalMs, 30000);
    h->Command4_Click();

    // Volume 11 -> 4 first: the notification and the explicit call.
    EXPECT_EQ(h.fake->written, QList<QByteArray>({kV3, kV3}) + Cycle());
    EXPECT_EQ(h.sleeps, QList<int32_t>{1000} + CycleSleeps(30000));
    EXPECT_EQ(Sum(h.sleeps), 1000 + 6 * 30000 + 7000); // 187 s a cycle
    // Every frame went through the work log before the port.
    EXPECT_EQ(h.log().count(QStringLiteral("---->")), h.fake->written.size());
    EXPECT_EQ(h->Widget(&Form1::HScroll1)->Value(), 4);
    EXPECT_EQ(h->Widget(&Form1::HScroll2)->Value(), 5);
    EXPECT_EQ(h->Widget(&Form1::Combo1)->ListIndex(), 0);
    EXPECT_TRUE(h->Widget(&Form1::Option1)->Value());
    EXPECT_FALSE(h->Widget(&Form1::Option2)->Value());
    EXPECT_EQ(h->PlayAllActive, 0); // the stop of step 6
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST_F(RepeatFixture, LaterCyclesRepeatTheFirstExactly) {
    h->RepeatCycles = 3;
    h->Widget(&Form1::Text1)->SetText(QStringLiteral("45"));
    h->Command4_Click();
    EXPECT_EQ(h.fake->written, QList<QByteArray>({kV3, kV3}) + Cycle() + Cycle() + Cycle());
    EXPECT_EQ(h.sleeps,
              QList<int32_t>{1000} + CycleSleeps(45000) + CycleSleeps(45000) + CycleSleeps(45000));
}

TEST_F(RepeatFixture, StartStateOnlyShapesTheBeginningOfTheFirstCycle) {
    // Music 01 shown, word by word selected, volume already at 4, speed at 1.
    h->Widget(&Form1::Combo1)->SetListIndex(1);
    h->Option2_Click();
    h->Widget(&Form1::HScroll1)->SetValue(4);
    h->Widget(&Form1::HScroll2)->SetValue(1);
    h.fake->written.clear();
    h->RepeatCycles = 2;
    h->Command4_Click();

    QList<QByteArray> expected = {kV3}; // already at 4: once
    expected += {kO0, kO0, kPlayMusic, kO1, kO1, kPlayMusic, kPlayMusic, kO0, kO0, kPlayMusic};
    expected += {kT0, kPlay}; // speed already at 1: once
    expected += {kPlay, kPause, kResume, kStop, kT4, kT4};
    expected += Cycle();
    EXPECT_EQ(h.fake->written, expected);
}

TEST_F(RepeatFixture, ShortOrNegativeIntervalsNeverWaitANegativeTime) {
    for (const char* typed : {"2", "5.9", "0", "-3", "-99999999"}) {
        SCOPED_TRACE(typed);
        h->Widget(&Form1::Text1)->SetText(QString::fromUtf8(typed));
        h->Widget(&Form1::HScroll1)->SetValue(11);
        h.sleeps.clear();
        h.fake->written.clear();
        h->Command4_Click();
        for (int32_t ms : h.sleeps)
            EXPECT_GE(ms, 0);
        // Same frames; only the waits shrink.
        EXPECT_EQ(h.fake->written.mid(2), Cycle());
    }
    // Interval 2 s: the rest after stop is 0 instead of -4000; every other
    // wait is as usual (five intervals, five seconds, eight seconds, one more
    // second before the cycles).
    h->Widget(&Form1::Text1)->SetText(QStringLiteral("2"));
    h.sleeps.clear();
    h->Command4_Click();
    EXPECT_EQ(Sum(h.sleeps), 1000 + 5 * 2000 + 5 * 1000 + 4 * 2000);
}

TEST(Repeat, TenThousandCyclesUnlessLowered) {
    FormHarness h;
    EXPECT_EQ(h->RepeatCycles, 10000);
}

TEST_F(RepeatFixture, EveryPlayIsTheFirstPieceOfALongText) {
    h->Widget(&Form1::Text3)->SetText(ToQString(ChipIntroText()));
    h->Widget(&Form1::Text3)->SetSelStart(300); // a selection of the user's is ignored
    h->Widget(&Form1::Text3)->SetSelLength(20);
    h->Command4_Click();
    QStringEncoder gbk("GBK");
    const QByteArray first = gbk.encode(ToQString(ChipIntroText()).left(119));
    ASSERT_EQ(first.size(), 200);
    int plays = 0;
    for (const QByteArray& frame : h.fake->written) {
        if (frame.size() > 100) {
            ++plays;
            EXPECT_EQ(frame.mid(5, 200), first);
        }
    }
    EXPECT_EQ(plays, 6);
}

TEST_F(RepeatFixture, NoEventIsProcessedUntilTheTestReturns) {
    bool ran = false;
    QMetaObject::invokeMethod(
        h.form.get(), [&] { ran = true; }, Qt::QueuedConnection);
    h->Command4_Click();
    EXPECT_FALSE(ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}
