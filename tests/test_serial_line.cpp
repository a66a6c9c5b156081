// The serial line set-up that the window's serial control and vxt4710-cli
// share: which errors mean the device is gone, when the group hint is due,
// and that a lost device is closed and told once, sparing a newer open.
#include "serial/serial_line.h"
#include "tests/support/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(DeviceGone, OnlyTheErrorsOfAVanishedDevice) {
    const struct {
        QSerialPort::SerialPortError error;
        bool gone;
    } cases[] = {
        {QSerialPort::ResourceError, true},        {QSerialPort::ReadError, true},
        {QSerialPort::WriteError, true},           {QSerialPort::NoError, false},
        {QSerialPort::DeviceNotFoundError, false}, {QSerialPort::PermissionError, false},
        {QSerialPort::OpenError, false},           {QSerialPort::NotOpenError, false},
        {QSerialPort::TimeoutError, false},        {QSerialPort::UnsupportedOperationError, false},
        {QSerialPort::UnknownError, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsDeviceGone(c.error), c.gone) << int(c.error);
}

// DeviceAccessDenied(path) as a user outside root's groups: root may open
// anything, so as root the check runs in a child that has become nobody.
int DeniedAsUser(const QString& path) {
    if (::geteuid() != 0)
        return DeviceAccessDenied(path) ? 1 : 0;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(DeviceAccessDenied(path) ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(DeviceAccess, TheHintOnlyWhenTheDevicesOwnBitsRefuse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Others must reach what lies inside.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    const auto make = [&](const QString& name, QFile::Permissions permissions) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        f.setPermissions(permissions);
        return f.fileName();
    };
    const QFile::Permissions everybody =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther;
    const struct {
        QString path;
        int denied;
    } cases[] = {
        {make(QStringLiteral("open-to-all"), everybody), 0},
        {make(QStringLiteral("owner-only"), QFile::ReadOwner | QFile::WriteOwner), 1},
        {make(QStringLiteral("read-only"), QFile::ReadOwner | QFile::ReadOther), 1},
        {dir.filePath(QStringLiteral("missing")), 0},
        {QString(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeniedAsUser(c.path), c.denied) << c.path.toStdString();
}

TEST(SerialLineOpen, SetsTheLineAndSaysWhyItCannot) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine line;
    LineFailure failure;
    ASSERT_TRUE(line.open(peer.devicePath(), 19200, &failure)) << failure.reason.toStdString();
    EXPECT_TRUE(line.usable());
    EXPECT_EQ(peer.baudRate(), 19200);
    EXPECT_EQ(line.port().dataBits(), QSerialPort::Data8);
    EXPECT_EQ(line.port().parity(), QSerialPort::NoParity);
    EXPECT_EQ(line.port().stopBits(), QSerialPort::OneStop);
    EXPECT_EQ(line.port().flowControl(), QSerialPort::NoFlowControl);
    ASSERT_TRUE(line.setRate(38400, &failure));
    EXPECT_EQ(peer.baudRate(), 38400);

    SerialLine second;
    EXPECT_FALSE(second.open(QStringLiteral("/dev/vxt4710-no-such-device"), 9600, &failure));
    EXPECT_FALSE(failure.reason.isEmpty());
    EXPECT_FALSE(failure.accessDenied);
    EXPECT_FALSE(second.port().isOpen());
}

// What a user reads: a port that another program holds and a device that is
// gone say so, not Qt's "Permission error while locking the device" nor
// "Unknown error".
TEST(SerialLineReasons, HeldAndGoneSaySo) {
    const struct {
        QSerialPort::SerialPortError error;
        const char* system;
        bool denied;
        const char* reason;
    } cases[] = {
        {QSerialPort::PermissionError, "Permission error while locking the device", false,
         "the port is held by another program (Permission error while locking the device)"},
        {QSerialPort::PermissionError, "Permission denied", true, "Permission denied"},
        {QSerialPort::ResourceError, "Unknown error", false, "the device is gone"},
        {QSerialPort::ReadError, "Input/output error", false,
         "the device is gone (Input/output error)"},
        {QSerialPort::DeviceNotFoundError, "No such file or directory", false,
         "No such file or directory"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialFailureText(c.error, QString::fromUtf8(c.system), c.denied).toStdString(),
                  c.reason);

    // Two opens of one device: the second finds it held.
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine first, second;
    LineFailure failure;
    ASSERT_TRUE(first.open(peer.devicePath(), 9600, &failure));
    ASSERT_FALSE(second.open(peer.devicePath(), 9600, &failure));
    EXPECT_TRUE(failure.reason.startsWith(QStringLiteral("the port is held by another program")))
        << failure.reason.toStdString();
}

TEST(SerialLineOpen, BytesWaitingBeforeTheOpenAreDroppedOnlyWhenAsked) {
    for (const auto waiting : {SerialLine::Waiting::Keep, SerialLine::Waiting::Drop}) {
        PtyPeer peer;
        ASSERT_TRUE(peer.ok());
        peer.write("\x4F");
        PumpEvents(50);
        SerialLine line;
        LineFailure failure;
        ASSERT_TRUE(line.open(peer.devicePath(), 9600, &failure, waiting));
        PumpEvents(100);
        EXPECT_EQ(line.port().readAll(),
                  waiting == SerialLine::Waiting::Keep ? QByteArray("\x4F") : QByteArray());
    }
}

TEST(SerialLineLoss, AVanishedDeviceIsClosedAndToldOnce) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialLine line;
    QSignalSpy gone(&line, &SerialLine::gone);
    LineFailure failure;
    ASSERT_TRUE(line.open(peer.devicePath(), 9600, &failure));
    peer.close();
    ASSERT_TRUE(WaitUntil([&] { return !line.usable(); }, 2000));
    ASSERT_TRUE(WaitUntil([&] { return !line.port().isOpen(); }, 2000));
    PumpEvents(300);
    ASSERT_EQ(gone.count(), 1);
    EXPECT_TRUE(gone.at(0).at(0).value<LineFailure>().reason.startsWith(
        QStringLiteral("the device is gone")))
        << gone.at(0).at(0).value<LineFailure>().reason.toStdString();
    EXPECT_FALSE(line.write("x", &failure));
}

// The loss reads as unusable at once; a close or a new open before the
// pending close runs takes its place, and the new port stays open.
TEST(SerialLineLoss, ALateCloseSparesANewOpen) {
    for (const bool reopen : {true, false}) {
        PtyPeer first, second;
        ASSERT_TRUE(first.ok() && second.ok());
        SerialLine line;
        QSignalSpy gone(&line, &SerialLine::gone);
        LineFailure failure;
        ASSERT_TRUE(line.open(first.devicePath(), 9600, &failure));
        // What QSerialPort reports for a pulled adapter, twice in a row.
        emit line.port().errorOccurred(QSerialPort::ResourceError);
        emit line.port().errorOccurred(QSerialPort::ReadError);
        EXPECT_TRUE(line.lost());
        EXPECT_FALSE(line.usable());
        if (reopen)
            ASSERT_TRUE(line.open(second.devicePath(), 9600, &failure));
        else
            line.close();
        PumpEvents(100);
        EXPECT_EQ(gone.count(), 0);
        EXPECT_EQ(line.usable(), reopen);
        if (reopen) {
            ASSERT_TRUE(line.write("ok", &failure));
            EXPECT_EQ(second.readAtLeast(2), QByteArray("ok"));
        }
    }
}

} // namespace
