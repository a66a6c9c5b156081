// The simulated chip's link com<n>, with real processes: a second simulator
// refuses a held name, what was there before comes back, and a link left
// behind by a killed simulator leads neither the console nor vxt4710-cli into
// a terminal that another program owns by now.
#include "serial/link_owner.h"
#include "serial/port_names.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 10000;

QString Target(const PortsFolder& ports, int n) {
    return QFileInfo(ports.path() + QStringLiteral("/com%1").arg(n)).symLinkTarget();
}
bool HasLink(const PortsFolder& ports, int n) {
    return QFileInfo(ports.path() + QStringLiteral("/com%1").arg(n)).isSymLink();
}
bool HasRecord(const PortsFolder& ports, int n) {
    return QFileInfo::exists(
        QString::fromStdString(portlink::OwnerFile(ports.path().toStdString(), n)));
}

void Kill(ChipSim& chip) {
    ::kill(static_cast<pid_t>(chip.process().processId()), SIGKILL);
    ASSERT_TRUE(chip.process().waitForFinished(5000));
}

// A simulator that ends on SIGTERM, as a user ends it; its exit status.
int End(ChipSim& chip) {
    chip.process().terminate();
    EXPECT_TRUE(chip.process().waitForFinished(5000));
    return chip.process().exitCode();
}

// The killed simulator's pseudo-terminal number now belongs to peer's line,
// as the system hands out a freed number again: the stale link and its
// record name peer's device.
void ReuseTheTerminal(const PortsFolder& ports, int n, const PtyPeer& peer) {
    const std::string file = portlink::OwnerFile(ports.path().toStdString(), n);
    const int fd = ::open(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    auto record = portlink::ParseOwner(portlink::ReadAll(fd));
    ASSERT_TRUE(record.has_value());
    record->device = peer.devicePath().toStdString();
    const std::string text = portlink::FormatOwner(*record);
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    ASSERT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    ::close(fd);
    const QString link = ports.path() + QStringLiteral("/com%1").arg(n);
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(peer.devicePath(), link));
}

// vxt4710-cli with ports looked up in ports; its status, -1 when it hangs.
int RunCli(const PortsFolder& ports, const QStringList& args, QString* err, QString* out) {
    QTemporaryDir config;
    QDir(config.path()).mkpath(QStringLiteral("vxt4710"));
    QFile::link(ports.path(), config.path() + QStringLiteral("/vxt4710/ports"));
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VXT_CLI_PATH), args);
    if (!p.waitForFinished(kWaitMs)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    *err = QString::fromUtf8(p.readAllStandardError());
    *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

TEST(ChipSimLinks, ASecondSimulatorRefusesTheNameTheFirstHolds) {
    PortsFolder ports;
    ports.link(11, QStringLiteral("/dev/ttyUSB7")); // the user's adapter
    ChipSim first(ports.path(), 11);
    ASSERT_TRUE(first.started());
    ChipSim second(ports.path(), 11);
    ASSERT_TRUE(second.process().state() == QProcess::NotRunning ||
                second.process().waitForFinished(5000));
    EXPECT_NE(second.process().exitCode(), 0);
    const QString why = second.errors();
    EXPECT_TRUE(why.contains(QStringLiteral("COM11 is held by a running simulated chip (pid %1)")
                                 .arg(first.process().processId())))
        << why.toStdString();
    // The second one's end took nothing from the first.
    EXPECT_EQ(Target(ports, 11), first.device());
    EXPECT_EQ(ResolvePortDevice(11, ports.path(), {}), first.device());

    EXPECT_EQ(End(first), 0);
    EXPECT_EQ(Target(ports, 11), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_FALSE(HasRecord(ports, 11));
}

// Whatever was there before comes back exactly, a link to a
// pseudo-terminal of the user's own included; a link left by a killed
// simulator is replaced, and what was there before that one comes back.
TEST(ChipSimLinks, WhatWasThereBeforeComesBack) {
    const struct {
        const char* name;
        const char* before; // nullptr: no link
        bool killedOneBetween;
    } cases[] = {
        {"no link", nullptr, false},
        {"the user's adapter", "/dev/ttyUSB7", false},
        {"the user's own pseudo-terminal link", "/dev/pts/97", false},
        {"no link, then a killed simulator", nullptr, true},
        {"the user's adapter, then a killed simulator", "/dev/ttyUSB7", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortsFolder ports;
        if (c.before)
            ports.link(4, QString::fromLatin1(c.before));
        if (c.killedOneBetween) {
            ChipSim killed(ports.path(), 4);
            ASSERT_TRUE(killed.started());
            Kill(killed);
            EXPECT_EQ(Target(ports, 4), killed.device()); // left behind
        }
        {
            ChipSim chip(ports.path(), 4);
            ASSERT_TRUE(chip.started());
            EXPECT_EQ(Target(ports, 4), chip.device());
            EXPECT_EQ(chip.waitForLine(QStringLiteral("replacing the link left behind"), 0),
                      c.killedOneBetween);
            EXPECT_EQ(End(chip), 0);
        }
        if (c.before)
            EXPECT_EQ(Target(ports, 4), QString::fromLatin1(c.before));
        else
            EXPECT_FALSE(HasLink(ports, 4));
        EXPECT_FALSE(HasRecord(ports, 4));
    }
}

TEST(ChipSimLinks, AStaleLinkLeadsTheConsoleNowhere) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 11);
    ASSERT_TRUE(chip.started());
    const long pid = chip.process().processId();
    EXPECT_EQ(ResolvePort(11, ports.path(), {}).source, PortResolution::Source::Link);
    Kill(chip);
    PtyPeer stranger; // another program's terminal, behind the old number
    ASSERT_TRUE(stranger.ok());
    ReuseTheTerminal(ports, 11, stranger);

    const PortResolution r = ResolvePort(11, ports.path(), [] {
        ADD_FAILURE() << "a stale link must not fall back on the system's ports";
        return QStringList();
    });
    EXPECT_EQ(r.source, PortResolution::Source::StaleLink);
    EXPECT_TRUE(r.device.isEmpty());
    EXPECT_EQ(r.target, stranger.devicePath());
    EXPECT_EQ(r.ownerPid, pid);

    // The window: the port-failure message, and nothing in the terminal.
    ports.link(1, QStringLiteral("/nonexistent/tty-vxt")); // COM1 at start-up: no system port
    auto h = FormHarness::Real(ports.path());
    (*h)->Widget(&Form1::Combo4)->setCurrentIndex(10);
    emit(*h)->Widget(&Form1::Combo4)->activated(10);
    EXPECT_FALSE((*h)->MSComm1->PortOpen());
    const qsizetype before = h->messages.size();
    (*h)->Command28_Click(); // the status query
    EXPECT_EQ(h->messages.size(), before + 1);
    EXPECT_EQ(h->messages.value(before), kPortFailureMessage);
    EXPECT_TRUE(stranger.read(300).isEmpty());

    // A link the user puts in its place is the user's again.
    PtyPeer adapter;
    ports.link(11, adapter.devicePath());
    EXPECT_EQ(ResolvePortDevice(11, ports.path(), {}), adapter.devicePath());
}

TEST(ChipSimLinks, AStaleLinkIsNoSuchPortForTheCommandLine) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 12);
    ASSERT_TRUE(chip.started());
    const qint64 pid = chip.process().processId();
    Kill(chip);
    PtyPeer stranger;
    ASSERT_TRUE(stranger.ok());
    ReuseTheTerminal(ports, 12, stranger);

    QString err, out;
    EXPECT_EQ(RunCli(ports,
                     {QStringLiteral("--port"), QStringLiteral("com12"), QStringLiteral("query")},
                     &err, &out),
              3);
    EXPECT_TRUE(err.contains(QStringLiteral("COM12 stands for no device")) &&
                err.contains(QStringLiteral("pid %1").arg(pid)) &&
                err.contains(QStringLiteral("has ended")))
        << err.toStdString();
    EXPECT_TRUE(stranger.read(300).isEmpty());

    EXPECT_EQ(RunCli(ports, {QStringLiteral("ports")}, &err, &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("COM12\t- (the link to ") + stranger.devicePath()))
        << out.toStdString();

    // The next simulator takes the name over, and the program reaches it.
    ChipSim next(ports.path(), 12);
    ASSERT_TRUE(next.started());
    EXPECT_EQ(RunCli(ports,
                     {QStringLiteral("--port"), QStringLiteral("COM12"), QStringLiteral("query")},
                     &err, &out),
              0)
        << err.toStdString();
    EXPECT_TRUE(stranger.read(100).isEmpty());
}

// A record that is no file (here a FIFO nobody writes into) neither hangs
// the console nor passes for a simulated chip's.
TEST(ChipSimLinks, ARecordThatIsNoFileIsNobodys) {
    PortsFolder ports;
    PtyPeer adapter;
    ports.link(3, adapter.devicePath());
    const std::string record = portlink::OwnerFile(ports.path().toStdString(), 3);
    ASSERT_EQ(::mkfifo(record.c_str(), 0644), 0);
    EXPECT_EQ(ResolvePortDevice(3, ports.path(), {}), adapter.devicePath());

    ChipSim chip(ports.path(), 3);
    ASSERT_TRUE(chip.process().state() == QProcess::NotRunning ||
                chip.process().waitForFinished(5000));
    EXPECT_NE(chip.process().exitCode(), 0);
    EXPECT_TRUE(chip.errors().contains(QStringLiteral("not a regular file")))
        << chip.errors().toStdString();
    EXPECT_EQ(Target(ports, 3), adapter.devicePath());
}
