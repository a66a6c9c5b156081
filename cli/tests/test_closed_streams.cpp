// Every program started with standard input, output and error closed
// (`prog <&- >&- 2>&-`, as a careless service or CI job does): each has them
// open on /dev/null before it opens anything else, so that its port or a file
// never becomes descriptor 1 or 2 and its messages go nowhere they must not.
#include "core/commands.h"
#include "core/frame_builders.h"
#include "qt/qt_text.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;

// A program started through a shell that closes 0, 1 and 2 first (or the
// descriptors closes names).
struct ClosedRun {
    QProcess process;

    ClosedRun(const QString& program, const QStringList& args, const QString& configHome,
              const QString& folder, const char* closes = "<&- >&- 2>&-") {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder);
        // Nothing of this test (its end of a line) may reach the program.
        for (int fd = 3; fd < 1024; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        process.start(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"),
                                                             QStringLiteral("exec \"$0\" \"$@\" ") +
                                                                 QString::fromLatin1(closes),
                                                             program} +
                                                     args);
        process.waitForStarted(5000);
    }
    ~ClosedRun() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(2000);
    }
    // What descriptor fd of the running program is open on ("" when closed).
    QString target(int fd) const {
        return QFile::symLinkTarget(
            QStringLiteral("/proc/%1/fd/%2").arg(process.processId()).arg(fd));
    }
    bool holds(const QString& device) const {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(process.processId()));
        for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == device)
                return true;
        }
        return false;
    }
    // The exit status once it ends, -1 when it does not end in time or crashes.
    int finish() {
        WaitUntil([&] { return process.state() == QProcess::NotRunning; }, kWaitMs);
        if (process.state() != QProcess::NotRunning)
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

struct ProgramCase {
    const char* name;
    const char* path;
    // Arguments, given the peer's device and the ports folder.
    QStringList (*args)(const QString& device, const QString& ports);
    QByteArray sends; // what it puts on the line at once
    bool answerEnds;  // the chip's idle answer ends it, else SIGTERM does
    bool ownLine;     // the simulated chip: a line of its own, linked as COM2
    // Standard output stays open: a program that writes its results there
    // ends with 74 without it (ClosedStreamsCli below).
    bool keepsOutput = false;
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
    *os << c.name;
}

class ClosedStreams : public ::testing::TestWithParam<ProgramCase> {};

// Each program, once it holds its line, has 0, 1 and 2 on /dev/null, puts
// nothing on the line but its frames and ends normally.
TEST_P(ClosedStreams, AreOpenOnDevNullBeforeTheLine) {
    const ProgramCase& c = GetParam();
    QTemporaryDir home;
    const QString ports = home.path() + QStringLiteral("/vxt4710/ports");
    ASSERT_TRUE(QDir().mkpath(ports));
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(QFile::link(peer.devicePath(), ports + QStringLiteral("/com1")));

    ClosedRun run(QString::fromUtf8(c.path), c.args(peer.devicePath(), ports), home.path(),
                  home.path(), c.keepsOutput ? "<&- 2>&-" : "<&- >&- 2>&-");
    ASSERT_EQ(run.process.state(), QProcess::Running);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return c.ownLine ? QFile::exists(ports + QStringLiteral("/com2"))
                             : run.holds(peer.devicePath());
        },
        kWaitMs));
    PumpEvents(300); // start-up messages, if any, are written by now
    for (int fd = 0; fd <= 2; ++fd) {
        if (fd != 1 || !c.keepsOutput) {
            EXPECT_EQ(run.target(fd).toStdString(), "/dev/null") << "descriptor " << fd;
        }
    }
    EXPECT_EQ(peer.read(300), c.sends);

    if (c.answerEnds)
        peer.write("\x4F");
    else
        ::kill(static_cast<pid_t>(run.process.processId()), SIGTERM);
    EXPECT_EQ(run.finish(), 0);
    EXPECT_EQ(peer.read(300), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ClosedStreams,
    ::testing::Values(
        ProgramCase{"Console",
                    VXT_CONSOLE_PATH,
                    [](const QString&, const QString&) { return QStringList(); },
                    {},
                    false,
                    false},
        ProgramCase{"Chipsim",
                    VXT_CHIPSIM_PATH,
                    [](const QString&, const QString& ports) {
                        return QStringList{QStringLiteral("--as"), QStringLiteral("COM2"),
                                           QStringLiteral("--ports-dir"), ports};
                    },
                    {},
                    false,
                    true},
        // A query waits for its answer: it holds the line meanwhile.
        ProgramCase{
            "Cli", VXT_CLI_PATH,
            [](const QString& device, const QString&) {
                return QStringList{QStringLiteral("--port"), device, QStringLiteral("query")};
            },
            ToQBytes(ControlFrame(FrameCommand::Query)), true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClosedCliCase {
    const char* name;
    QStringList args;
    QByteArray frame; // the frame the command sends first
};

void PrintTo(const ClosedCliCase& c, std::ostream* os) {
    *os << c.name;
}

class ClosedStreamsCli : public ::testing::TestWithParam<ClosedCliCase> {};

// Without standard output the command-line program ends with 74, as on
// Windows, instead of writing its results into /dev/null as if all went well;
// nothing but its frame (or the start of it) reaches the line: no message, no
// frame log.
TEST_P(ClosedStreamsCli, EndWith74AndPutOnlyTheirFrameOnTheLine) {
    const ClosedCliCase& c = GetParam();
    QTemporaryDir home;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ClosedRun run(QStringLiteral(VXT_CLI_PATH),
                  QStringList{QStringLiteral("--port"), peer.devicePath()} + c.args, home.path(),
                  home.path());
    EXPECT_EQ(run.finish(), 74);
    const QByteArray sent = peer.read(300);
    EXPECT_TRUE(c.frame.startsWith(sent)) << sent.toHex(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ClosedStreamsCli,
    ::testing::Values(ClosedCliCase{"Query",
                                    {QStringLiteral("query")},
                                    ToQBytes(ControlFrame(FrameCommand::Query))},
                      ClosedCliCase{"RateChange",
                                    {QStringLiteral("rate"), QStringLiteral("19200")},
                                    ToQBytes(SetRateFrame(1))},
                      ClosedCliCase{"Ports", {QStringLiteral("ports")}, {}},
                      ClosedCliCase{"Version", {QStringLiteral("--version")}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// --------------------------------------------------- output that cannot be written

// Where standard output goes: a full device, or a pipe whose reader closed
// before the program started (deterministic: no race with a reader's end).
enum class Sink { Full, ClosedPipe };

struct UnwritableCase {
    const char* name;
    Sink sink;
    QStringList args;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) {
    *os << c.name;
}

class UnwritableOutput : public ::testing::TestWithParam<UnwritableCase> {};

// Status 74 and the reason on standard error, never a silent 0 nor a death
// by SIGPIPE (which the shell would report as 141).
TEST_P(UnwritableOutput, EndsWith74) {
    const UnwritableCase& c = GetParam();
    QTemporaryDir home;
    int pipeFds[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[0]);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    process.setProcessEnvironment(env);
    if (c.sink == Sink::Full)
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    const int writeEnd = pipeFds[1];
    const bool toPipe = c.sink == Sink::ClosedPipe;
    process.setChildProcessModifier([writeEnd, toPipe] {
        // As a shell starts it: SIGPIPE at its default, whatever this test does.
        ::signal(SIGPIPE, SIG_DFL);
        if (toPipe)
            ::dup2(writeEnd, STDOUT_FILENO);
    });
    process.start(QStringLiteral(VXT_CLI_PATH), c.args);
    ASSERT_TRUE(process.waitForFinished(kWaitMs));
    ::close(writeEnd);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed by a signal";
    EXPECT_EQ(process.exitCode(), 74);
    EXPECT_TRUE(process.readAllStandardError().contains("standard output could not be written"));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, UnwritableOutput,
    ::testing::Values(
        UnwritableCase{"PortsIntoAFullDevice", Sink::Full, {QStringLiteral("ports")}},
        UnwritableCase{"JsonPortsIntoAFullDevice",
                       Sink::Full,
                       {QStringLiteral("--json"), QStringLiteral("ports")}},
        UnwritableCase{"HelpIntoAFullDevice", Sink::Full, {QStringLiteral("--help")}},
        UnwritableCase{"PortsIntoAClosedPipe", Sink::ClosedPipe, {QStringLiteral("ports")}},
        UnwritableCase{"HelpIntoAClosedPipe", Sink::ClosedPipe, {QStringLiteral("--help")}},
        UnwritableCase{"VersionIntoAClosedPipe", Sink::ClosedPipe, {QStringLiteral("--version")}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
