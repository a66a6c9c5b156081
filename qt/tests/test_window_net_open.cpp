// The window's network port over its life: opened in the background while
// the server is slow to agree, and given up when the server falls silent
// after agreeing. The servers are scripted on the loopback.
#include "core/form1.h"
#include "core/frame_builders.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"
#include "testsupport/scripted_server.h"

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;

// Agreed, then silent: the port closes quietly at the line's deadline, and
// the next send (the server gone by then) gives one message.
TEST(WindowNetworkPortLife, AServerSilentAfterTheAgreementIsGivenUp) {
    ScriptedServer server({{{0, ComPortWithoutBinary()}}});
    PortsFolder ports;
    ports.link(1, QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    auto h = FormHarness::Real(ports.path());
    ASSERT_TRUE(WaitUntil([&] { return (*h)->MSComm1->PortOpen(); }, kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return !(*h)->MSComm1->PortOpen(); }, kWaitMs));
    EXPECT_TRUE(h->messages.isEmpty());
    (*h)->Command28_Click();
    EXPECT_TRUE(WaitUntil([&] { return !h->messages.isEmpty(); }, kWaitMs));
    PumpEvents(300);
    ASSERT_EQ(h->messages.size(), 1);
    EXPECT_TRUE(h->messages[0].startsWith(kPortFailureMessage + QStringLiteral("\r\nrfc2217://")))
        << h->messages[0].toStdString();
}

// The window opens a network port in the background: it goes on while the
// server is slow to agree, the frame sent meanwhile waits for the agreement,
// the port list's tooltip says so, and a failure is told once.
TEST(WindowNetworkPortLife, OpensANetworkPortInTheBackground) {
    const struct {
        const char* what;
        std::string greeting; // after a pause that outlasts the checks below
        bool opens;
    } cases[] = {
        {"agrees late", FullAgreement(), true},
        {"refuses COM-PORT late", TelnetBytes({255, 254, 44}), false},
    };
    for (const auto& c : cases) {
        ScriptedServer server({{{1500, c.greeting}}});
        PortsFolder ports;
        ports.link(1, QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
        auto h = FormHarness::Real(ports.path());
        EXPECT_TRUE((*h)->MSComm1->Connecting(1)) << c.what;
        EXPECT_TRUE((*h)->MSComm1->PortOpen()) << c.what;
        (*h)->RefreshPortTips();
        EXPECT_TRUE((*h)->Widget(&Form1::Combo4)->itemData(0, Qt::ToolTipRole)
                        .toString()
                        .endsWith(QStringLiteral("（正在连接）")))
            << c.what;
        (*h)->Command28_Click(); // waits for the connection
        EXPECT_TRUE(h->messages.isEmpty()) << c.what;
        ASSERT_TRUE(WaitUntil([&] { return !(*h)->MSComm1->Connecting(1); }, kWaitMs)) << c.what;
        PumpEvents(300);
        EXPECT_EQ((*h)->MSComm1->PortOpen(), c.opens) << c.what;
        EXPECT_EQ(h->messages.size(), c.opens ? 0 : 1) << c.what;
        EXPECT_EQ(h->log().count(QStringLiteral("发出一帧")), 1) << c.what;
        h.reset(); // the client closes
        const std::string frame = ControlFrame(FrameCommand::Query);
        EXPECT_EQ(server.received().find(frame) != std::string::npos, c.opens) << c.what;
    }
}

} // namespace
