// The simulated chip's newer options, each through the program on its line:
// time on the wire, WAV files, faults from a seed, noise, unplug and replug.
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/line_client.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>

namespace {

QString Help() {
    QProcess p;
    p.start(QStringLiteral(VXT_CHIPSIM_PATH), {QStringLiteral("--help")});
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Wall-clock ms at the start of a --report-times line that contains substr.
qint64 TimeOf(ChipSim& chip, const QString& substr) {
    for (const QString& line : chip.lines())
        if (line.contains(substr))
            return line.section(QLatin1Char(' '), 0, 0).toLongLong();
    return -1;
}

TEST(ChipSimOptions, HelpListsEveryOptionAndExamples) {
    const QString help = Help();
    for (const char* option :
         {"--line-timing", "--speak", "--wav DIR", "--seed N", "--reject P", "--mute P",
          "--drop-idle P", "--garble P", "--noise BPS", "--unplug-after S", "--replug-after S",
          "--report-times", "--version", "(10 - t) / 6", "Examples:"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

TEST(ChipSimOptions, BadValuesGetOneLineAndStatus2) {
    const QStringList bad[] = {
        {"--reject", "1.5"},
        {"--mute", "-0.1"},
        {"--drop-idle", "often"},
        {"--garble"},
        {"--seed", "-3"},
        {"--seed", "x"},
        {"--noise", "-1"},
        {"--unplug-after", "soon"},
        {"--replug-after", "1"}, // without an unplug
        {"--wav", ""},
    };
    for (const QStringList& args : bad) {
        QProcess p;
        p.start(QStringLiteral(VXT_CHIPSIM_PATH), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        const QByteArray err = p.readAllStandardError();
        EXPECT_EQ(err.count('\n'), 2) << err.constData(); // the mistake, then the hint
        EXPECT_TRUE(err.contains("--help")) << args.join(' ').toStdString();
    }
}

TEST(ChipSimOptions, LineTimingHoldsTheAnswerUntilTheFrameHasArrived) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01,
                 {QStringLiteral("--line-timing"), QStringLiteral("--report-times")});
    ASSERT_TRUE(chip.started());
    LineClient line(chip.device());
    ASSERT_TRUE(line.ok());
    line.read();
    // 206 bytes at 9600 bit/s: 214.6 ms on the wire.
    const QByteArray frame = Hex("FD 00 CB 01 01") + QByteArray(200, 'A');
    uint8_t sum = 0;
    for (char c : frame)
        sum ^= uint8_t(c);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(line.write(frame + char(sum)));
    const QByteArray first = line.read(3000, 1);
    const qint64 elapsed = t.elapsed();
    EXPECT_EQ(first.left(1), QByteArray("\x41"));
    EXPECT_GE(elapsed, 214);
    // The chip's own clock says the same.
    ASSERT_TRUE(chip.waitForLine(QStringLiteral("send 0x41"), 3000));
    EXPECT_GE(TimeOf(chip, QStringLiteral("send 0x41")) -
                  TimeOf(chip, QStringLiteral("line timing")),
              214);
}

TEST(ChipSimOptions, WavWritesEachSpokenTextAsANumberedFile) {
    // A stand-in for espeak-ng that writes down its arguments in the file.
    QTemporaryDir bin;
    QFile script(bin.path() + "/espeak-ng");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nout=\nprev=\nfor a; do [ \"$prev\" = -w ] && out=$a; prev=$a; done\n"
                 "printf '%s|' \"$@\" > \"$out\"\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QTemporaryDir out;
    const QString wavDir = out.path() + "/wav";
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ":" + oldPath);
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01, {QStringLiteral("--wav"), wavDir});
    qputenv("PATH", oldPath);
    ASSERT_TRUE(chip.started());
    LineClient line(chip.device());
    line.read();
    // "[t0][v5]你好", then "[d]A"
    for (const QByteArray& text : {QByteArray("[t0][v5]\xC4\xE3\xBA\xC3"), QByteArray("[d]A")}) {
        QByteArray frame = Hex("FD 00 00 01 01") + text;
        frame[2] = char(frame.size() - 2);
        uint8_t sum = 0;
        for (char c : frame)
            sum ^= uint8_t(c);
        line.write(frame + char(sum));
        EXPECT_TRUE(line.read().startsWith('\x41'));
    }
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(wavDir + "/0002.wav").size() > 0; }, 5000));
    auto contents = [&](const char* name) {
        QFile f(wavDir + "/" + name);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    };
    EXPECT_EQ(contents("0001.wav"),
              QStringLiteral("-v|cmn|-s|105|-a|50|-w|%1/0001.wav|--|你好|").arg(wavDir));
    EXPECT_EQ(contents("0002.wav"),
              QStringLiteral("-v|cmn|-s|175|-a|100|-w|%1/0002.wav|--|A|").arg(wavDir));
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("wav ") + wavDir + "/0002.wav: A", 2000));
}

TEST(ChipSimOptions, WavWithoutEspeakSaysSoAndStillAnswers) {
    QTemporaryDir emptyBin, out;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01, {QStringLiteral("--wav"), out.path()});
    qputenv("PATH", oldPath);
    ASSERT_TRUE(chip.started());
    EXPECT_TRUE(WaitUntil(
        [&] { return chip.errors().contains(QLatin1String("--wav writes no files")); }, 5000));
    LineClient line(chip.device());
    line.read();
    line.write(Hex("FD 00 07 01 01 C4 E3 BA C3 A4"));
    EXPECT_EQ(line.read().toHex(' '), "41 4f");
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

// What the chip answers to 60 stop frames under a fault, with a given seed.
QByteArray AnswersUnder(const QStringList& fault, const QString& seed) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01, QStringList{QStringLiteral("--seed"), seed} + fault);
    if (!chip.started())
        return "not started";
    LineClient line(chip.device());
    line.read();
    QByteArray answers;
    for (int i = 0; i < 60; ++i) {
        line.write(Hex("FD 00 02 02 FD"));
        answers += line.read(150, 20);
    }
    return answers + line.read(500, 100); // a late answer still counts
}

TEST(ChipSimOptions, FaultsRepeatWithTheirSeed) {
    const QStringList faults[] = {{"--reject", "0.3"}, {"--mute", "0.3"}, {"--garble", "0.3"}};
    for (const QStringList& fault : faults) {
        SCOPED_TRACE(fault.join(' ').toStdString());
        const QByteArray a = AnswersUnder(fault, QStringLiteral("11"));
        EXPECT_EQ(a, AnswersUnder(fault, QStringLiteral("11")));
        EXPECT_GT(a.count('\x41'), 20);
        EXPECT_LT(a.count('\x41'), 58);
    }
}

TEST(ChipSimOptions, DropIdleLeavesOutTheIdleReport) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01, {QStringLiteral("--drop-idle"), QStringLiteral("1")});
    ASSERT_TRUE(chip.started());
    LineClient line(chip.device());
    line.read();
    line.write(Hex("FD 00 07 01 01 C4 E3 BA C3 A4"));
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("fault: no idle report"), 3000));
    EXPECT_EQ(line.read().toHex(' '), "41");
}

TEST(ChipSimOptions, NoiseStaysWithinWhatTheLineCarries) {
    PortsFolder ports;
    // Far more than 9600 bit/s can carry: 960 bytes a second at most.
    ChipSim chip(ports.path(), 1, 0.01, {QStringLiteral("--noise"), QStringLiteral("100000")});
    ASSERT_TRUE(chip.started());
    EXPECT_TRUE(chip.errors().isEmpty() ||
                chip.errors().contains(QLatin1String("more than any line carries")));
    LineClient line(chip.device());
    line.read(100, 10);
    QElapsedTimer t;
    t.start();
    QByteArray got;
    while (t.elapsed() < 1000)
        got += line.read(50, 10);
    const qint64 ms = t.elapsed();
    EXPECT_GT(got.size(), 300);
    EXPECT_LE(got.size(), 960 * ms / 1000 + 100);
    // Every noise byte is in the report.
    qsizetype reported = 0;
    for (const QString& l : chip.lines())
        if (l.startsWith(QLatin1String("noise ")))
            reported += l.section(QLatin1Char(' '), 1, 1).toInt();
    EXPECT_GE(reported, got.size());
    // Answers still get through.
    line.write(Hex("FD 00 02 02 FD"));
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("send 0x41"), 3000));
}

TEST(ChipSimOptions, UnplugClosesTheLineAndReplugBringsANewOne) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01,
                 {QStringLiteral("--unplug-after"), QStringLiteral("0.3"),
                  QStringLiteral("--replug-after"), QStringLiteral("0.3")});
    ASSERT_TRUE(chip.started());
    const QString link = ports.path() + "/com1";
    {
        LineClient line(chip.device());
        ASSERT_TRUE(line.ok());
        ASSERT_TRUE(chip.waitForLine(QStringLiteral("unplugged: the line is gone"), 3000));
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << "COM1 must not become the system's port";
        EXPECT_FALSE(QFileInfo(link).exists()) << "no device behind it";
        pollfd p{line.fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 1000), 1);
        EXPECT_TRUE(p.revents & POLLHUP) << "the device has vanished";
    }
    ASSERT_TRUE(chip.waitForLine(QStringLiteral("replugged: device /dev/pts/"), 3000));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(link).exists(); }, 2000));
    LineClient again(QFileInfo(link).symLinkTarget());
    ASSERT_TRUE(again.ok());
    again.write(Hex("FD 00 02 21 DE"));
    EXPECT_TRUE(again.read().endsWith('\x4F'));
    chip.process().terminate();
    ASSERT_TRUE(chip.process().waitForFinished(5000));
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the simulator";
}

} // namespace
