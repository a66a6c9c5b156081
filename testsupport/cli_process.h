// vxt4710-cli as a process for end-to-end tests: a configuration folder of
// its own (whose vxt4710/ports the program looks COM<n> up in), the program
// started at once and its end waited for.
#pragma once

#include "testsupport/chipsim_process.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>

struct CliConfig {
    QTemporaryDir dir;
    CliConfig() { QDir().mkpath(ports()); }
    QString ports() const { return dir.path() + QStringLiteral("/vxt4710/ports"); }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.remove(QStringLiteral("DISPLAY"));
        return env;
    }
};

struct CliProcess {
    QProcess process;
    QElapsedTimer clock;
    int status = -1;
    QByteArray out;
    QString err;

    // program: the built vxt4710-cli, or a shell that runs it (for pipes);
    // input, unless null, is its whole standard input.
    CliProcess(const CliConfig& config, const QStringList& args,
               const QString& program = QStringLiteral(VXT_CLI_PATH),
               const QByteArray& input = {}) {
        process.setProcessEnvironment(config.environment());
        // The program must hold no descriptor of this test's lines: a line
        // the test closes must go away for it too.
        for (int fd = 3; fd < 1024; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        clock.start();
        process.start(program, args);
        process.waitForStarted(5000);
        if (!input.isNull()) {
            process.write(input);
            process.closeWriteChannel();
        }
    }
    void signal(int signo) { ::kill(static_cast<pid_t>(process.processId()), signo); }
    // Waits for the end; the status, or -1 when it did not end in time or
    // was killed by a signal.
    int finish(int timeoutMs = 20000) {
        // Keep Qt's events going (a peer or the simulator may need them).
        WaitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
            return status = -1;
        }
        out = process.readAllStandardOutput();
        err = QString::fromUtf8(process.readAllStandardError());
        status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return status;
    }
    QString text() const { return QString::fromUtf8(out); }
};

// The frames the simulator received, as "FD 00 ..." hex.
inline QStringList SimFramesReceived(ChipSim& chip) {
    QStringList frames;
    for (const QString& line : chip.lines().filter(QStringLiteral("recv ")))
        frames << line.mid(5).section(QStringLiteral(" |"), 0, 0);
    return frames;
}
