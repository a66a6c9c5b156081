// The real serial control on a real line: a pseudo-terminal plays the chip.
#include "serial/serial_comm_control.h"
#include "testsupport/pty_peer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>

namespace {

// Reads like the reply handler: one Input() per notification, while reading
// is switched on.
class Reader : public QObject {
  public:
    explicit Reader(CommControl& comm) : comm_(comm) {
        comm.SetOnComm([this] {
            ++events;
            if (comm_.CommEvent() != CommEvents::Receive || !reading)
                return;
            const QByteArray got = QByteArray::fromStdString(comm_.Input());
            largestRead = qMax(largestRead, int(got.size()));
            received += got;
        });
    }
    bool reading = true;
    int events = 0;
    int largestRead = 0;
    QByteArray received;

  private:
    CommControl& comm_;
};

struct Line {
    PtyPeer peer;
    PortsFolder ports;
    SerialCommControl comm{ports.path()};
    Line() {
        EXPECT_TRUE(peer.ok());
        ports.link(1, peer.devicePath());
        comm.SetCommPort(1);
        comm.SetSettings("9600,N,8,1");
        comm.SetInBufferSize(2);
    }
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(SerialControl, OpensAtTheSettingsAndWritesInOrder) {
    Line line;
    line.comm.SetPortOpen(true);
    ASSERT_TRUE(line.comm.PortOpen());
    EXPECT_EQ(line.peer.baudRate(), 9600);
    EXPECT_EQ(LineSettingsOn(line.comm.Line().port().handle()), QStringLiteral("9600 8N1"));
    termios tio{};
    ASSERT_EQ(tcgetattr(line.comm.Line().port().handle(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

    line.comm.Output(QByteArray::fromHex("fd0002210dd3").toStdString());
    line.comm.Output(QByteArray::fromHex("fd000122dc").toStdString());
    EXPECT_EQ(line.peer.readAtLeast(11).toHex(), QByteArray("fd0002210dd3fd000122dc"));
    line.comm.SetPortOpen(false);
    EXPECT_FALSE(line.comm.PortOpen());
}

TEST(SerialControl, SettingsTakeEffectAtOnceOnAnOpenPort) {
    Line line;
    line.comm.SetPortOpen(true);
    const struct {
        const char* settings;
        int rate;
    } cases[] = {{"19200,N,8,1", 19200}, {"38400,N,8,1", 38400}, {"9600,N,8,1", 9600}};
    for (const auto& c : cases) {
        line.comm.SetSettings(c.settings);
        EXPECT_EQ(line.peer.baudRate(), c.rate) << c.settings;
        EXPECT_EQ(LineSettingsOn(line.comm.Line().port().handle()),
                  QStringLiteral("%1 8N1").arg(c.rate))
            << c.settings;
    }
    // A closed port takes them at the next open.
    line.comm.SetPortOpen(false);
    line.comm.SetSettings("19200,N,8,1");
    line.comm.SetPortOpen(true);
    EXPECT_EQ(line.peer.baudRate(), 19200);
}

TEST(SerialControl, UnusableSettingsAreRefusedAndTheRateStays) {
    Line line;
    line.comm.SetPortOpen(true);
    for (const char* bad : {"", "fast,N,8,1", "9600,E,8,1", "9600,N,7,1", "9600,N,8"}) {
        EXPECT_THROW(line.comm.SetSettings(bad), CommError) << bad;
        EXPECT_TRUE(line.comm.PortOpen());
        EXPECT_EQ(line.peer.baudRate(), 9600) << bad;
        EXPECT_EQ(line.comm.Settings(), "9600,N,8,1");
    }
    // Nor do they spoil the next open.
    line.comm.SetPortOpen(false);
    EXPECT_THROW(line.comm.SetSettings("9600,X,8,1"), CommError);
    EXPECT_NO_THROW(line.comm.SetPortOpen(true));
    EXPECT_EQ(line.peer.baudRate(), 9600);
}

TEST(SerialControl, NoByteIsLostWithATwoByteBuffer) {
    Line line;
    Reader reader(line.comm);
    line.comm.SetPortOpen(true);
    line.peer.write("AB");
    ASSERT_TRUE(WaitUntil([&] { return reader.received.size() >= 2; }));
    line.peer.write("CDE");
    EXPECT_TRUE(WaitUntil([&] { return reader.received.size() >= 5; }));
    PumpEvents(50);
    EXPECT_EQ(reader.received, QByteArray("ABCDE"));
    EXPECT_LE(reader.largestRead, 2);
    EXPECT_GE(reader.events, 3);
}

TEST(SerialControl, BytesLeftUnreadWaitForTheNextRead) {
    Line line;
    Reader reader(line.comm);
    reader.reading = false;
    line.comm.SetPortOpen(true);
    line.peer.write("AB");
    ASSERT_TRUE(WaitUntil([&] { return reader.events >= 1; }));
    PumpEvents(50);
    EXPECT_TRUE(reader.received.isEmpty());
    // Reading again: the waiting bytes come first, then the new one.
    reader.reading = true;
    line.peer.write("C");
    EXPECT_TRUE(WaitUntil([&] { return reader.received.size() >= 3; }));
    EXPECT_EQ(reader.received, QByteArray("ABC"));
}

// However much piles up unread, replies still arrive once reading resumes.
TEST(SerialControl, AFullBufferNeverStopsTheReplies) {
    Line line;
    Reader reader(line.comm);
    reader.reading = false;
    line.comm.SetPortOpen(true);
    const QByteArray chunk(1000, 'x');
    for (int i = 0; i < 12; ++i) {
        line.peer.write(chunk);
        PumpEvents(20);
    }
    reader.reading = true;
    line.peer.write("Z");
    ASSERT_TRUE(WaitUntil([&] { return reader.received.endsWith('Z'); }, 5000));
    EXPECT_LE(reader.received.size(), 12001);
    EXPECT_LE(reader.largestRead, 2);
}

TEST(SerialControl, AVanishedDeviceClosesThePortWithoutSpinning) {
    PtyPeer peer;
    PortsFolder ports;
    const QString adapter = ports.linkAdapter(1, peer.devicePath());
    SerialCommControl comm(ports.path());
    Reader reader(comm);
    comm.SetCommPort(1);
    comm.SetPortOpen(true);
    ASSERT_TRUE(comm.PortOpen());

    peer.close();
    QFile::remove(adapter);
    EXPECT_TRUE(WaitUntil([&] { return !comm.PortOpen(); }, 1000));
    // The event loop now idles: a second of it costs far less than a second
    // of processor time.
    PumpEvents(100);
    EXPECT_FALSE(comm.Line().isOpen());
    const double before = CpuSeconds();
    PumpEvents(1000);
    EXPECT_LT(CpuSeconds() - before, 0.2);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_THROW(comm.Output("x"), CommError);
    EXPECT_THROW(comm.SetPortOpen(true), CommError);
    EXPECT_FALSE(comm.PortOpen());
}

TEST(SerialControl, ReopensOnceTheDeviceIsBack) {
    auto peer = std::make_unique<PtyPeer>();
    PortsFolder ports;
    SerialCommControl comm(ports.path());
    ports.link(1, peer->devicePath());
    comm.SetCommPort(1);
    comm.SetPortOpen(true);
    peer->close();
    ASSERT_TRUE(WaitUntil([&] { return !comm.PortOpen(); }, 1000));
    PtyPeer replacement;
    ports.link(1, replacement.devicePath());
    comm.SetPortOpen(true);
    ASSERT_TRUE(comm.PortOpen());
    comm.Output("ok");
    EXPECT_EQ(replacement.readAtLeast(2), QByteArray("ok"));
}

TEST(SerialControl, FailuresRaiseCommError) {
    PtyPeer peer;
    PortsFolder ports;
    ports.link(1, QStringLiteral("/dev/vxt4710-no-such-device"));
    ports.link(2, peer.devicePath());
    SerialCommControl comm(ports.path());
    comm.SetCommPort(1);
    EXPECT_THROW(comm.SetPortOpen(true), CommError);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_THROW(comm.Output("x"), CommError);
    EXPECT_TRUE(comm.Input().empty());
    // Closing a closed port is no failure.
    EXPECT_NO_THROW(comm.SetPortOpen(false));
    comm.SetCommPort(2);
    EXPECT_NO_THROW(comm.SetPortOpen(true));
    EXPECT_TRUE(comm.PortOpen());
}

TEST(SerialControl, APortHeldByAnotherControlCannotBeOpened) {
    Line line;
    line.comm.SetPortOpen(true);
    SerialCommControl second(line.ports.path());
    second.SetCommPort(1);
    EXPECT_THROW(second.SetPortOpen(true), CommError);
    EXPECT_FALSE(second.PortOpen());
    EXPECT_TRUE(line.comm.PortOpen());
    line.comm.SetPortOpen(false);
    EXPECT_NO_THROW(second.SetPortOpen(true));
}

TEST(SerialControl, APortHeldByAnotherConsoleCannotBeOpened) {
    PtyPeer peer;
    QTemporaryDir config, work;
    ASSERT_TRUE(QDir().mkpath(config.path() + "/vxt4710/ports"));
    ASSERT_TRUE(QFile::link(peer.devicePath(), config.path() + "/vxt4710/ports/com1"));
    // The pseudo-terminal starts at 38400; the console sets 9600 on open.
    ASSERT_NE(peer.baudRate(), 9600);

    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    console.setProcessEnvironment(env);
    console.setWorkingDirectory(work.path());
    console.start(QStringLiteral(VXT_CONSOLE_PATH), {});
    ASSERT_TRUE(console.waitForStarted());
    ASSERT_TRUE(WaitUntil([&] { return peer.baudRate() == 9600; }, 10000));

    SerialCommControl comm(config.path() + "/vxt4710/ports");
    comm.SetCommPort(1);
    EXPECT_THROW(comm.SetPortOpen(true), CommError);
    EXPECT_FALSE(comm.PortOpen());
    // SIGTERM closes the console's window and with it the port.
    console.terminate();
    if (!console.waitForFinished(10000))
        console.kill();
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 0);
    EXPECT_NO_THROW(comm.SetPortOpen(true));
    EXPECT_TRUE(comm.PortOpen());
}
