// Port and rate choice on real pseudo-terminals.
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"
#include "testsupport/pty_peer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

void Pick(ComboBox* combo, int i) {
    combo->setCurrentIndex(i);
    emit combo->activated(i);
}

struct Lines {
    PortsFolder ports;
    PtyPeer com1, com3;
    std::unique_ptr<FormHarness> h;
    Lines() {
        ports.link(1, com1.devicePath());
        ports.link(3, com3.devicePath());
        ports.link(5, QStringLiteral("/nonexistent/tty-vxt"));
        h = FormHarness::Real(ports.path());
    }
    Form1Window* operator->() const { return h->form.get(); }
};

TEST(PortChoice, AnotherPortTakesOverTheLine) {
    Lines l;
    ASSERT_TRUE(l->MSComm1->PortOpen());
    l->PlayAllActive = -1;
    Pick(l->Widget(&Form1::Combo4), 2);
    EXPECT_EQ(l->PortNumber, 3);
    EXPECT_EQ(l->PlayAllActive, 0);
    EXPECT_TRUE(l->MSComm1->PortOpen());
    l->Command28_Click();
    EXPECT_EQ(l.com3.read(), Hex("FD 00 02 21 DE"));
    EXPECT_TRUE(l.com1.read(100).isEmpty());
    EXPECT_TRUE(l.h->messages.isEmpty());
}

TEST(PortChoice, PickingTheOpenPortReopensIt) {
    Lines l;
    Pick(l->Widget(&Form1::Combo4), 0);
    EXPECT_TRUE(l->MSComm1->PortOpen());
    EXPECT_EQ(l->PortNumber, 1);
    EXPECT_TRUE(l.h->messages.isEmpty());
    l->Command7_Click();
    EXPECT_EQ(l.com1.read(), Hex("FD 00 02 02 FD"));
}

TEST(PortChoice, MissingPortClosesTheOldOneAndEverySendTellsSo) {
    Lines l;
    Pick(l->Widget(&Form1::Combo4), 4); // COM5: no such port
    EXPECT_EQ(l.h->messages, QStringList{kPortFailureMessage});
    EXPECT_FALSE(l->MSComm1->PortOpen());
    EXPECT_EQ(l->PortNumber, 5);
    l->Command7_Click();
    l->Command7_Click();
    EXPECT_EQ(l.h->messages.size(), 3);
    EXPECT_TRUE(l.com1.read(100).isEmpty());
    // Both entries stand in the log all the same.
    EXPECT_EQ(l.h->log().count(QStringLiteral("---->")), 2);
}

TEST(PortChoice, RateChangesTheOpenPortAtOnce) {
    Lines l;
    l->show();
    ASSERT_EQ(l.com1.baudRate(), 9600);
    // As the user would: two steps down the list to "38400".
    l->Widget(&Form1::Combo2)->setFocus();
    QTest::keyClick(l->Widget(&Form1::Combo2), Qt::Key_Down);
    QTest::keyClick(l->Widget(&Form1::Combo2), Qt::Key_Down);
    ASSERT_EQ(l->Widget(&Form1::Combo2)->ListIndex(), 2);
    EXPECT_EQ(l.com1.baudRate(), 38400);
    EXPECT_TRUE(l->MSComm1->PortOpen());
    Pick(l->Widget(&Form1::Combo2), 1);
    EXPECT_EQ(l.com1.baudRate(), 19200);
    l->Command8_Click();
    EXPECT_EQ(l.com1.read(), Hex("FD 00 02 03 FC"));
    EXPECT_TRUE(l.h->messages.isEmpty());
}

TEST(PortChoice, RateChosenWhileClosedAppliesOnTheNextOpen) {
    PortsFolder ports;
    ports.link(1, QStringLiteral("/nonexistent/tty-vxt")); // COM1 missing at start
    auto h = FormHarness::Real(ports.path());
    PtyPeer peer;
    ports.link(1, peer.devicePath());
    Pick((*h)->Widget(&Form1::Combo2), 1);
    EXPECT_FALSE((*h)->MSComm1->PortOpen());
    (*h)->Command28_Click();
    EXPECT_EQ(peer.read(), Hex("FD 00 02 21 DE"));
    EXPECT_EQ(peer.baudRate(), 19200);
}

} // namespace
