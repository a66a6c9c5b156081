// The serial line set-up that the window's serial control and vxt4710-cli
// share: the line settings, a port another program holds, bytes that waited
// before the open, and that a lost device is closed and told once, sparing a
// newer open. (The port underneath: platform/tests/test_serial_port.cpp.)
#include "serial/serial_line.h"
#include "testsupport/pty_peer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <gtest/gtest.h>

namespace {

// What the event loop does when the line's descriptor wakes it.
void Wake(SerialLine& line) {
    QEvent activity(QEvent::SockAct);
    for (QSocketNotifier* notifier : line.findChildren<QSocketNotifier*>())
        if (notifier->isEnabled())
            QCoreApplication::sendEvent(notifier, &activity);
}

TEST(SerialLineOpen, SetsTheLineAndSaysWhyItCannot) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine line;
    LineError error;
    ASSERT_TRUE(line.open(peer.devicePath(), 19200, &error)) << error.reason;
    EXPECT_TRUE(line.usable());
    EXPECT_EQ(peer.baudRate(), 19200);
    EXPECT_EQ(LineSettingsOn(line.port().handle()), QStringLiteral("19200 8N1"));
    ASSERT_TRUE(line.setRate(38400, &error));
    EXPECT_EQ(peer.baudRate(), 38400);

    SerialLine second;
    EXPECT_FALSE(second.open(QStringLiteral("/dev/vxt4710-no-such-device"), 9600, &error));
    EXPECT_EQ(error.reason, "No such file or directory");
    EXPECT_FALSE(error.accessDenied);
    EXPECT_FALSE(second.isOpen());
}

// Two opens of one device: the second finds it held, and says so rather
// than "Permission error while locking the device" alone.
TEST(SerialLineReasons, HeldSaysSo) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine first, second;
    LineError error;
    ASSERT_TRUE(first.open(peer.devicePath(), 9600, &error));
    ASSERT_FALSE(second.open(peer.devicePath(), 9600, &error));
    EXPECT_EQ(error.reason.rfind("the port is held by another program", 0), 0u) << error.reason;
}

TEST(SerialLineOpen, BytesWaitingBeforeTheOpenAreDroppedOnlyWhenAsked) {
    for (const auto waiting : {SerialLine::Waiting::Keep, SerialLine::Waiting::Drop}) {
        PtyPeer peer;
        ASSERT_TRUE(peer.ok());
        peer.write("\x4F");
        PumpEvents(50);
        SerialLine line;
        LineError error;
        ASSERT_TRUE(line.open(peer.devicePath(), 9600, &error, waiting));
        PumpEvents(100);
        EXPECT_EQ(line.readAll(),
                  waiting == SerialLine::Waiting::Keep ? QByteArray("\x4F") : QByteArray());
    }
}

TEST(SerialLineBytes, ArriveThroughTheEventLoopAndWaitToBeTaken) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine line;
    QSignalSpy ready(&line, &SerialLine::readyRead);
    LineError error;
    ASSERT_TRUE(line.open(peer.devicePath(), 9600, &error));
    peer.write(QByteArray::fromHex("4f41"));
    ASSERT_TRUE(WaitUntil([&] { return line.bytesAvailable() == 2; }));
    EXPECT_GE(ready.count(), 1);
    line.skip(1);
    EXPECT_EQ(line.read(8), QByteArray("\x41"));
    EXPECT_EQ(line.bytesAvailable(), 0);
    ASSERT_TRUE(line.write(QByteArray::fromHex("fd000122dc"), &error));
    EXPECT_EQ(peer.readAtLeast(5), QByteArray::fromHex("fd000122dc"));
}

TEST(SerialLineLoss, AVanishedDeviceIsClosedAndToldOnce) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine line;
    QSignalSpy gone(&line, &SerialLine::gone);
    LineError error;
    ASSERT_TRUE(line.open(peer.devicePath(), 9600, &error));
    peer.close();
    ASSERT_TRUE(WaitUntil([&] { return !line.usable(); }, 2000));
    ASSERT_TRUE(WaitUntil([&] { return !line.isOpen(); }, 2000));
    PumpEvents(300);
    ASSERT_EQ(gone.count(), 1);
    const std::string reason = gone.at(0).at(0).value<LineError>().reason;
    EXPECT_EQ(reason.rfind("the device is gone", 0), 0u) << reason;
    EXPECT_FALSE(line.write("x", &error));
}

// The loss reads as unusable at once; a close or a new open before the
// pending close runs takes its place, and the new port stays open.
TEST(SerialLineLoss, ALateCloseSparesANewOpen) {
    for (const bool reopen : {true, false}) {
        PtyPeer first, second;
        ASSERT_TRUE(first.ok() && second.ok());
        SerialLine line;
        QSignalSpy gone(&line, &SerialLine::gone);
        LineError error;
        ASSERT_TRUE(line.open(first.devicePath(), 9600, &error));
        // A pulled adapter wakes the loop, twice in a row.
        first.close();
        Wake(line);
        Wake(line);
        EXPECT_TRUE(line.lost());
        EXPECT_FALSE(line.usable());
        if (reopen)
            ASSERT_TRUE(line.open(second.devicePath(), 9600, &error));
        else
            line.close();
        PumpEvents(100);
        EXPECT_EQ(gone.count(), 0);
        EXPECT_EQ(line.usable(), reopen);
        if (reopen) {
            ASSERT_TRUE(line.write("ok", &error));
            EXPECT_EQ(second.readAtLeast(2), QByteArray("ok"));
        }
    }
}

} // namespace
