// vxt4710-cli's --port as a program: COM names outside the range, device
// paths relative to the current folder, and what it says about the port.
#include "qt/qt_text.h"
#include "core/frame_builders.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

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

// What a file or link com3 of the ports folder holds reaches the user as
// what it is: a network port's failure names the address (no serial hint),
// a file saved the Windows way is read, and bytes that are no text never
// reach the terminal or the JSON raw.
TEST(CliPorts, WhatTheFolderHoldsIsReadOrRefusedVisibly) {
    const struct {
        const char* name;
        QByteArray file;     // a plain file com3 with this content, unless null
        QByteArray target;   // else a link com3 to this
        const char* errLine; // the first line on standard error
    } cases[] = {
        {"PlainFileWithAnAddress",
         QByteArray("socket://127.0.0.1:1\r\n"),
         {},
         "vxt4710-cli: network port socket://127.0.0.1:1: connection refused"},
        {"Utf16FileWithAnAddress",
         QByteArray("\xFF\xFE"
                    "s\0o\0c\0k\0e\0t\0:\0/\0/\0"
                    "1\0"
                    "2\0"
                    "7\0.\0"
                    "0\0.\0"
                    "0\0.\0"
                    "1\0:\0"
                    "1\0\r\0\n\0",
                    46),
         {},
         "vxt4710-cli: network port socket://127.0.0.1:1: connection refused"},
        {"PlainFileWithADevice",
         QByteArray("/dev/ttyUSB0\n"),
         {},
         "vxt4710-cli: COM3: <ports>/com3: it holds \"/dev/ttyUSB0\", not an address such as "
         "rfc2217://HOST:PORT or socket://HOST:PORT (a serial device is named by a link: ln -s "
         "/dev/ttyUSB0 com3)"},
        {"LinkToAnAddressWithEscapes",
         {},
         QByteArray("rfc2217://a\x1b[2J\xff:1"),
         "vxt4710-cli: bad network port \"rfc2217://a\\x1B[2J\\xFF:1\": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliRun run;
        const QString com3 = run.ports() + QStringLiteral("/com3");
        if (!c.file.isNull()) {
            QFile f(com3);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.file);
        } else {
            ASSERT_EQ(::symlink(c.target.constData(), QFile::encodeName(com3).constData()), 0);
        }
        run.start({QStringLiteral("--port"), QStringLiteral("COM3"), QStringLiteral("query")});
        EXPECT_EQ(run.finish(), 3);
        const QString expected =
            QString::fromUtf8(c.errLine).replace(QStringLiteral("<ports>"), run.ports());
        EXPECT_TRUE(run.err.startsWith(expected)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("串口"))) << run.err.toStdString();

        // The list, as text and as JSON: no raw escape, valid UTF-8.
        for (const QString& json : {QString(), QStringLiteral("--json")}) {
            CliRun list;
            QDir().rmdir(list.ports());
            QFile::link(run.ports(), list.ports());
            list.start(json.isEmpty() ? QStringList{QStringLiteral("ports")}
                                      : QStringList{json, QStringLiteral("ports")});
            EXPECT_EQ(list.finish(), 0);
            const QByteArray out = list.process.readAllStandardOutput();
            EXPECT_FALSE(out.contains('\x1b')) << out.toStdString();
            EXPECT_TRUE(QString::fromUtf8(out).toUtf8() == out) << "not UTF-8";
            const QByteArray line = out.split('\n').value(2);
            EXPECT_TRUE(line.startsWith("COM3\t") || line.contains("\"COM3\""))
                << line.toStdString();
        }
    }
}
