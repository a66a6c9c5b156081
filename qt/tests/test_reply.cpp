// The reply handler over the fake serial control: what each read of status
// bytes writes to the log, how a rate change is completed or abandoned, and
// how an idle reply carries continuous playback on.
#include "core/frame_codec.h"
#include "testsupport/qt_gbk.h"
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"

#include <gtest/gtest.h>

namespace {

const QString kOk = QStringLiteral("<-0x41  接收成功");
const QString kOkRate = QStringLiteral("<-0x41  接收成功   波特率已修改成功");
const QString kFail = QStringLiteral("<-0x45  接收失败");
const QString kFailRate = QStringLiteral("<-0x45  接收失败  波特率未成功修改");
const QString kInit = QStringLiteral("<-0x4A  初始化成功回传");
const QString kBusy = QStringLiteral("<-0x4E  芯片正在播音");
const QString kIdle = QStringLiteral("<-0x4F  芯片空闲");

QString Lines(const QStringList& lines) {
    QString s;
    for (const QString& l : lines)
        s += l + QStringLiteral("\r\n");
    return s;
}

// A harness whose port is open and whose log and call record are empty.
struct Ready : FormHarness {
    Ready() {
        fake->calls.clear();
        form->Widget(&Form1::Text4)->SetText(QString());
    }
};

struct ReadCase {
    const char* name;
    const char* bytes; // one read
    int16_t pending;   // BaudChangePending before
    QStringList log;
    int16_t pendingAfter;
    bool portTouched; // closed and opened again
};

TEST(Reply, EachReadGivesItsLogLines) {
    const ReadCase cases[] = {
        {"received", "41", 0, {kOk}, 0, false},
        {"received, rate pending", "41", 1, {kOkRate}, 0, true},
        {"failed", "45", 0, {kFail}, 0, false},
        {"failed, rate pending", "45", 1, {kFailRate}, 0, false},
        {"init", "4A", 0, {kInit}, 0, false},
        {"init, rate pending", "4A", 1, {kInit}, 1, false},
        {"speaking", "4E", 0, {kBusy}, 0, false},
        {"speaking, rate pending", "4E", 1, {kBusy}, 1, false},
        {"idle", "4F", 0, {kIdle}, 0, false},
        {"idle, rate pending", "4F", 1, {kIdle}, 1, false},
        {"two in one read", "41 4F", 0, {kOk, kIdle}, 0, false},
        {"only two of three are read", "41 4F 4A", 0, {kOk, kIdle}, 0, false},
        {"unknown byte first", "58 4F", 0, {kIdle}, 0, false},
        {"unknown byte alone", "58", 0, {}, 0, false},
        {"unknown byte, rate pending", "00", 1, {}, 1, false},
        {"idle, then the rate answer", "4F 41", 1, {kIdle, kOkRate}, 0, true},
        {"a second answer is plain", "41 41", 1, {kOkRate, kOk}, 0, true},
        {"rejected, then plain", "45 41", 1, {kFailRate, kOk}, 0, false},
    };
    for (const ReadCase& c : cases) {
        Ready h;
        h.fake->SetInBufferSize(1024); // one read returns every byte
        h->BaudChangePending = c.pending;
        h->PendingBaudIndex = c.pending ? 0 : -1;
        h.fake->Receive(Hex(c.bytes));
        EXPECT_EQ(h.log(), Lines(c.log)) << c.name;
        EXPECT_EQ(h->BaudChangePending, c.pendingAfter) << c.name;
        EXPECT_EQ(h.fake->calls.contains(QStringLiteral("close")), c.portTouched) << c.name;
        EXPECT_TRUE(h.fake->PortOpen()) << c.name;
        EXPECT_EQ(h.fake->inputCalls, 1) << c.name;
        EXPECT_TRUE(h.fake->Waiting().isEmpty()) << c.name;
        EXPECT_TRUE(h.messages.isEmpty()) << c.name;
    }
}

TEST(Reply, OnlyDataReceivedIsActedOn) {
    for (int16_t code : {1, 3, 4, 5, 6, 7, 1001, 1004, 1006, 1008, 1010}) {
        Ready h;
        h->Widget(&Form1::Check1)->SetValue(0);
        h.fake->Receive(Hex("4F"));
        h->Widget(&Form1::Check1)->SetValue(1);
        h.fake->inputCalls = 0;
        h.fake->RaiseEvent(code);
        EXPECT_EQ(h.fake->inputCalls, 0) << code;
        EXPECT_EQ(h.log(), QString()) << code;
        EXPECT_EQ(h.fake->Waiting(), Hex("4F")) << code;
    }
}

TEST(Reply, ClearedCheckBoxReadsNothing) {
    Ready h;
    h->Widget(&Form1::Check1)->SetValue(0);
    h->BaudChangePending = 1;
    h->PendingBaudIndex = 1;
    h->PlayAllActive = -1;
    h.fake->Receive(Hex("41 4F"));
    EXPECT_EQ(h.fake->inputCalls, 0);
    EXPECT_EQ(h.fake->Waiting(), Hex("41 4F"));
    EXPECT_EQ(h.log(), QString());
    EXPECT_EQ(h->BaudChangePending, 1);
    EXPECT_EQ(h->PlayAllActive, -1);
    EXPECT_TRUE(h.fake->calls.isEmpty());

    // Ticked again, the waiting bytes are read at the next event.
    h->Widget(&Form1::Check1)->SetValue(1);
    h.fake->RaiseEvent(2);
    EXPECT_EQ(h.log(), Lines({kOkRate, kIdle}));
    EXPECT_EQ(h->BaudChangePending, 0);
}

// ---- the rate change

struct RateCase {
    int16_t asked;    // PendingBaudIndex: the Combo5 entry sent
    QString settings; // the port's settings afterwards
    int combo2;       // Combo2's entry afterwards
};

TEST(Reply, RateChangeReopensAtTheRateAskedFor) {
    const RateCase cases[] = {
        {0, QStringLiteral("9600,N,8,1"), 0},
        {1, QStringLiteral("19200,N,8,1"), 1},
        {2, QStringLiteral("38400,N,8,1"), 2},
        // Not known: the settings stay as they are.
        {-1, QStringLiteral("9600,N,8,1"), 0},
        {7, QStringLiteral("9600,N,8,1"), 0},
    };
    for (const RateCase& c : cases) {
        Ready h;
        h->BaudChangePending = 1;
        h->PendingBaudIndex = c.asked;
        h.fake->Receive(Hex("41"));
        QStringList expected{QStringLiteral("close")};
        if (c.asked >= 0 && c.asked <= 2)
            expected << QStringLiteral("settings ") + c.settings;
        expected << QStringLiteral("open COM1 ") + c.settings;
        EXPECT_EQ(h.fake->calls, expected) << c.asked;
        EXPECT_EQ(QString::fromStdString(h.fake->Settings()), c.settings) << c.asked;
        EXPECT_EQ(h->Widget(&Form1::Combo2)->ListIndex(), c.combo2) << c.asked;
        EXPECT_EQ(h->Widget(&Form1::Combo5)->ListIndex(), 0) << c.asked;
        EXPECT_EQ(h->BaudChangePending, 0) << c.asked;
        EXPECT_EQ(h.log(), Lines({kOkRate})) << c.asked;
    }
}

TEST(Reply, RateChangeFromTheButtonToTheAnswer) {
    Ready h;
    h->Widget(&Form1::Combo5)->SetListIndex(2);
    h->Command11_Click();
    ASSERT_EQ(h.fake->written.size(), 1);
    EXPECT_EQ(h.fake->written[0], Hex("FD 00 03 31 02 CD"));
    EXPECT_EQ(h.fake->Settings(), "9600,N,8,1"); // not before the answer
    h.fake->calls.clear();
    h.fake->Receive(Hex("41"));
    EXPECT_EQ(h.fake->Settings(), "38400,N,8,1");
    EXPECT_EQ(h->Widget(&Form1::Combo2)->ListIndex(), 2);
    EXPECT_TRUE(h.fake->PortOpen());
    // Combo2 was set by the program: its own handler did not run again.
    EXPECT_EQ(h.fake->calls.filter(QStringLiteral("settings")).size(), 1);
    EXPECT_TRUE(h.log().endsWith(Lines({kOkRate})));
}

TEST(Reply, RejectedRateChangeLeavesThePort) {
    Ready h;
    h->Widget(&Form1::Combo5)->SetListIndex(1);
    h->Command11_Click();
    h.fake->calls.clear();
    h.fake->Receive(Hex("45"));
    EXPECT_TRUE(h.fake->calls.isEmpty());
    EXPECT_EQ(h.fake->Settings(), "9600,N,8,1");
    EXPECT_EQ(h->Widget(&Form1::Combo2)->ListIndex(), 0);
    EXPECT_EQ(h->BaudChangePending, 0);
    // A later acceptance is a plain one.
    h.fake->Receive(Hex("41"));
    EXPECT_TRUE(h.fake->calls.isEmpty());
    EXPECT_TRUE(h.log().endsWith(Lines({kFailRate, kOk})));
}

TEST(Reply, PortLostOnReopenIsNotReportedAsSuccess) {
    Ready h;
    h->BaudChangePending = 1;
    h->PendingBaudIndex = 1;
    h.fake->missingPorts.insert(1);
    h.fake->Receive(Hex("41"));
    EXPECT_EQ(h.messages, QStringList{kPortFailureMessage});
    EXPECT_EQ(h->BaudChangePending, 0);
    EXPECT_FALSE(h.fake->PortOpen());
    EXPECT_EQ(h.log(), Lines({kOk}));
    // The chip listens at 19200 now: the next open uses it.
    EXPECT_EQ(h.fake->Settings(), "19200,N,8,1");
    EXPECT_EQ(h->Widget(&Form1::Combo2)->ListIndex(), 1);

    h.fake->missingPorts.clear();
    h->Command28_Click();
    EXPECT_EQ(h.fake->calls.last(), QStringLiteral("write 5"));
    EXPECT_TRUE(h.fake->calls.contains(QStringLiteral("open COM1 19200,N,8,1")));
}

// ---- continuous playback

// The GBK text carried by a synthesis frame.
QByteArray Payload(const QByteArray& frame) {
    return frame.mid(5, frame.size() - 6);
}

QString Chinese(int n) {
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(0x4E00 + i); // 一 and on: two GBK bytes each
    return s;
}

TEST(Reply, IdleWithoutPlaybackOnlyLogs) {
    Ready h;
    h->Widget(&Form1::Text3)->SetText(Chinese(300));
    h->Widget(&Form1::Text3)->SetSelStart(10);
    h->Widget(&Form1::Text3)->SetSelLength(20);
    h->PlayAllActive = 0;
    h.fake->Receive(Hex("4F"));
    EXPECT_EQ(h.log(), Lines({kIdle}));
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), 10);
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), 20);
    EXPECT_TRUE(h.fake->written.isEmpty());
}

TEST(Reply, PlaysA225CharacterTextInThreePieces) {
    Ready h;
    const QString text = Chinese(225);
    h->Widget(&Form1::Text3)->SetText(text);
    h->Widget(&Form1::Text3)->SetSelStart(0);
    h->Command6_Click();
    h->PlayAllActive = -1;
    ASSERT_EQ(h.fake->written.size(), 1);

    h.fake->Receive(Hex("41"));
    EXPECT_EQ(h.fake->written.size(), 1); // acceptance plays nothing
    h.fake->Receive(Hex("4F"));
    ASSERT_EQ(h.fake->written.size(), 2);
    EXPECT_EQ(h->PlayAllActive, -1);
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), 100);
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), 100);
    h.fake->Receive(Hex("41 4F")); // both in one read
    ASSERT_EQ(h.fake->written.size(), 3);
    EXPECT_EQ(h->PlayAllActive, 0);
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), 200);
    EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), 25);
    h.fake->Receive(Hex("41 4F"));
    EXPECT_EQ(h.fake->written.size(), 3);

    EXPECT_EQ(Payload(h.fake->written[0]), GbkBytes(text.mid(0, 100)));
    EXPECT_EQ(Payload(h.fake->written[1]), GbkBytes(text.mid(100, 100)));
    EXPECT_EQ(Payload(h.fake->written[2]), GbkBytes(text.mid(200, 25)));
    // Each piece's entry follows the idle line that asked for it.
    const auto& w = h.fake->written;
    EXPECT_EQ(h.log(), ToQString(FrameLogText(ToStdBytes(w[0]))) + Lines({kOk, kIdle}) + ToQString(FrameLogText(ToStdBytes(w[1]))) +
                           Lines({kOk, kIdle}) + ToQString(FrameLogText(ToStdBytes(w[2]))) + Lines({kOk, kIdle}));
}

TEST(Reply, PlaybackEndsWhenNothingIsLeft) {
    struct Case {
        const char* name;
        int length, selStart, selLength;
        int framesSent;
        int selStartAfter, selLengthAfter;
        int16_t playAfter;
    } cases[] = {
        {"selection already at the end", 2, 0, 2, 0, 2, 0, 0},
        {"empty selection at the end", 2, 2, 0, 0, 2, 0, 0},
        {"last piece reaches the end", 150, 0, 100, 1, 100, 50, 0},
        {"a piece in the middle", 450, 100, 100, 1, 200, 100, -1},
    };
    for (const Case& c : cases) {
        Ready h;
        h->Widget(&Form1::Text3)->SetText(Chinese(c.length));
        h->Widget(&Form1::Text3)->SetSelStart(c.selStart);
        h->Widget(&Form1::Text3)->SetSelLength(c.selLength);
        h->PlayAllActive = -1;
        h.fake->Receive(Hex("4F"));
        EXPECT_EQ(h.fake->written.size(), c.framesSent) << c.name;
        EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), c.selStartAfter) << c.name;
        EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), c.selLengthAfter) << c.name;
        EXPECT_EQ(h->PlayAllActive, c.playAfter) << c.name;
    }
}

TEST(Reply, StopEndsPlaybackAtTheNextIdle) {
    Ready h;
    h->Widget(&Form1::Text3)->SetText(Chinese(225));
    h->Widget(&Form1::Text3)->SetSelStart(0);
    h->Command6_Click();
    h->PlayAllActive = -1;
    h->Command7_Click();
    h.fake->Receive(Hex("41 4F"));
    EXPECT_EQ(h.fake->written.size(), 2); // the piece and the stop frame only
    EXPECT_EQ(h->PlayAllActive, 0);
}

} // namespace
