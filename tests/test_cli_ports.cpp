// vxt4710-cli's --port as a program: COM names outside the range, device
// paths relative to the current folder, and what it says about the port.
#include "qt/qt_text.h"
#include "core/frame_builders.h"
#include "tests/support/form_harness.h"
#include "tests/support/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;

// The program started in a folder of its own, with a ports folder of its own.
struct CliRun {
    QTemporaryDir config, cwd;
    QProcess process;
    QString err;

    CliRun() {
        QDir(config.path()).mkpath(QStringLiteral("vxt4710/ports"));
        // Others may need to enter it (see AsNobody).
        QFile::setPermissions(cwd.path(),
                              QFile::permissions(cwd.path()) | QFile::ReadOther | QFile::ExeOther);
        QFile::setPermissions(config.path(), QFile::permissions(config.path()) | QFile::ReadOther |
                                                 QFile::ExeOther);
    }
    QString ports() const { return config.path() + QStringLiteral("/vxt4710/ports"); }
    // Links cwd/name (folders made) to target.
    void link(const QString& name, const QString& target) {
        QDir(cwd.path()).mkpath(QFileInfo(name).path());
        QFile::link(target, cwd.path() + u'/' + name);
    }
    void start(const QStringList& args, const QString& program = QStringLiteral(VXT_CLI_PATH)) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(cwd.path());
        process.start(program, args);
        process.waitForStarted(5000);
    }
    // The status, or -1 when the program did not end in time.
    int finish() {
        WaitUntil([&] { return process.state() == QProcess::NotRunning; }, kWaitMs);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
            return -1;
        }
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

} // namespace

TEST(CliPorts, ComNamesOutsideTheRangeOpenNothing) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    for (const QString& port :
         {QStringLiteral("COM0"), QStringLiteral("COM21"), QStringLiteral("COM99999999999")}) {
        SCOPED_TRACE(port.toStdString());
        CliRun run;
        // A file of the same name in the current folder stays untouched, and
        // so does the link of the same name in the ports folder.
        run.link(port, peer.devicePath());
        QFile::link(peer.devicePath(), run.ports() + u'/' + port.toLower());
        run.start({QStringLiteral("--port"), port, QStringLiteral("query")});
        EXPECT_EQ(run.finish(), 64);
        const QStringList lines = run.err.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines[0], QStringLiteral("vxt4710-cli: --port %1 is outside COM1 to COM20 (a "
                                           "file of that name: --port ./%1)")
                                .arg(port));
        EXPECT_TRUE(peer.read(200).isEmpty());
    }
}

TEST(CliPorts, ARelativeDevicePathStartsInTheCurrentFolder) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliRun run;
    // (Not pts/0: under /dev that may be the peer itself.)
    run.link(QStringLiteral("vxt-lines/0"), peer.devicePath());
    run.start({QStringLiteral("--port"), QStringLiteral("vxt-lines/0"), QStringLiteral("query")});
    EXPECT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x21)));
    peer.write("\x4F");
    EXPECT_EQ(run.finish(), 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

// A COM name that a link names says nothing; --help names the folder.
TEST(CliPorts, ALinkedComNameSaysNothingAndHelpNamesTheFolder) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliRun run;
    QFile::link(peer.devicePath(), run.ports() + QStringLiteral("/com20"));
    run.start({QStringLiteral("--port"), QStringLiteral("com20"), QStringLiteral("query")});
    EXPECT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x21)));
    peer.write("\x4F");
    EXPECT_EQ(run.finish(), 0);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();

    CliRun help;
    help.start({QStringLiteral("--help")});
    EXPECT_EQ(help.finish(), 0);
    EXPECT_TRUE(QString::fromUtf8(help.process.readAllStandardOutput()).contains(help.ports()));
}

// Denied, a relative path gets the hint an absolute one gets. Root may open
// anything: as root the program runs as nobody.
TEST(CliPorts, ADeniedRelativePathGetsTheGroupHint) {
    CliRun run;
    QFile denied(run.cwd.path() + QStringLiteral("/line"));
    ASSERT_TRUE(denied.open(QIODevice::WriteOnly));
    denied.close();
    denied.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            GTEST_SKIP() << "no setpriv to drop root";
        run.start({QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                   QStringLiteral("--clear-groups"), QStringLiteral(VXT_CLI_PATH),
                   QStringLiteral("--port"), QStringLiteral("line"), QStringLiteral("query")},
                  QStringLiteral("setpriv"));
    } else {
        run.start({QStringLiteral("--port"), QStringLiteral("line"), QStringLiteral("query")});
    }
    EXPECT_EQ(run.finish(), 3);
    EXPECT_TRUE(run.err.contains(run.cwd.path() + QStringLiteral("/line: ")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("group dialout"))) << run.err.toStdString();
}
