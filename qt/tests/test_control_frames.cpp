// The six control buttons on a real line: each puts exactly its frame on the
// wire, logs it byte for byte and leaves continuous playback as it should.
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"
#include "testsupport/pty_peer.h"
#include "testsupport/wired_console.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

using Line = ConsoleOnPty;

// The user picks entry i of a list.
void Pick(ComboBox* combo, int i) {
    combo->setCurrentIndex(i);
    emit combo->activated(i);
}

struct ButtonCase {
    const char* name;
    ui::CommandButton* Form1::*button;
    const char* frame;
    bool endsPlayback;
};

void PrintTo(const ButtonCase& c, std::ostream* os) {
    *os << c.name;
}

class ControlButtons : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(ControlButtons, PutExactlyTheirFrameOnTheLine) {
    const ButtonCase& c = GetParam();
    Line line;
    ASSERT_TRUE(line->MSComm1->PortOpen());
    line->PlayAllActive = -1;
    QTest::mouseClick(line.h->form->Widget(c.button), Qt::LeftButton);
    EXPECT_EQ(line.peer.read().toHex(' '), Hex(c.frame).toHex(' '));
    EXPECT_EQ(line.h->log(), Entry(Hex(c.frame)));
    EXPECT_EQ(line->PlayAllActive, c.endsPlayback ? 0 : -1);
    EXPECT_EQ(line->BaudChangePending, 0);
    EXPECT_TRUE(line.h->messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ControlButtons,
    ::testing::Values(ButtonCase{"Stop", &Form1::Command7, "FD 00 02 02 FD", true},
                      ButtonCase{"Pause", &Form1::Command8, "FD 00 02 03 FC", false},
                      ButtonCase{"Resume", &Form1::Command9, "FD 00 02 04 FB", false},
                      ButtonCase{"Sleep", &Form1::Command21, "FD 00 02 88 77", true},
                      ButtonCase{"Query", &Form1::Command28, "FD 00 02 21 DE", false}),
    [](const ::testing::TestParamInfo<ButtonCase>& info) { return std::string(info.param.name); });

TEST(SetBaud, EachEntryOnTheLineAndPending) {
    const char* frames[] = {"FD 00 03 31 00 CF", "FD 00 03 31 01 CE", "FD 00 03 31 02 CD"};
    Line line;
    QString log;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Pick(line->Widget(&Form1::Combo5), i);
        line->PlayAllActive = -1;
        QTest::mouseClick(line->Widget(&Form1::Command11), Qt::LeftButton);
        EXPECT_EQ(line.peer.read().toHex(' '), Hex(frames[i]).toHex(' '));
        log += Entry(Hex(frames[i]));
        EXPECT_EQ(line.h->log(), log);
        EXPECT_EQ(line->PlayAllActive, 0);
        // A second press before any answer keeps the flag up.
        EXPECT_EQ(line->BaudChangePending, 1);
        EXPECT_EQ(line->PendingBaudIndex, i);
        // The computer's side keeps its rate until the chip answers.
        EXPECT_EQ(line.peer.baudRate(), 9600);
    }
}

TEST(SetBaud, FailedSendLeavesNothingPending) {
    PortsFolder ports;
    ports.link(1, QStringLiteral("/nonexistent/tty-vxt")); // COM1 names no device
    auto h = FormHarness::Real(ports.path());
    h->messages.clear();
    (*h)->Widget(&Form1::Combo5)->SetListIndex(2);
    (*h)->Command11_Click();
    EXPECT_EQ(h->messages, QStringList{kPortFailureMessage});
    EXPECT_EQ(h->log(), Entry(Hex("FD 00 03 31 02 CD")));
    EXPECT_EQ((*h)->BaudChangePending, 0);
    EXPECT_EQ((*h)->PendingBaudIndex, -1);
}

TEST(SetBaud, FailureAfterASentChangeKeepsThatOnePending) {
    FormHarness h;
    h->Widget(&Form1::Combo5)->SetListIndex(1);
    h->Command11_Click();
    ASSERT_EQ(h->BaudChangePending, 1);
    h.fake->failWrites = true;
    h->Widget(&Form1::Combo5)->SetListIndex(2);
    h->Command11_Click();
    EXPECT_EQ(h->BaudChangePending, 1);
    EXPECT_EQ(h->PendingBaudIndex, 1);
    EXPECT_EQ(h.messages, QStringList{kPortFailureMessage});
}

TEST(SetBaud, NoEntryPickedSendsNothing) {
    Line line;
    QTest::keyClicks(line->Widget(&Form1::Combo5)->lineEdit(), "4800");
    ASSERT_EQ(line->Widget(&Form1::Combo5)->ListIndex(), -1);
    line->Command11_Click();
    EXPECT_TRUE(line.peer.read(200).isEmpty());
    EXPECT_TRUE(line.h->log().isEmpty());
    EXPECT_EQ(line->BaudChangePending, 0);
    EXPECT_TRUE(line.h->messages.isEmpty());
}

TEST(ControlFrames, MissingPortOneMessagePerSendAndTheLogStays) {
    PortsFolder ports;
    ports.link(1, QStringLiteral("/nonexistent/tty-vxt")); // COM1 names no device
    auto h = FormHarness::Real(ports.path());
    ASSERT_EQ(h->messages, QStringList{kPortFailureMessage}); // at start-up
    h->messages.clear();
    (*h)->Command7_Click();
    (*h)->Command8_Click();
    EXPECT_EQ(h->messages, (QStringList{kPortFailureMessage, kPortFailureMessage}));
    EXPECT_EQ(h->log(), Entry(Hex("FD 00 02 02 FD")) + Entry(Hex("FD 00 02 03 FC")));
    // The port appears: the next send opens it, with no message.
    PtyPeer peer;
    ports.link(1, peer.devicePath());
    (*h)->Command9_Click();
    EXPECT_EQ(peer.read(), Hex("FD 00 02 04 FB"));
    EXPECT_EQ(h->messages.size(), 2);
}

} // namespace
