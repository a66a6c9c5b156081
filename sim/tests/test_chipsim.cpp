// The simulated chip: its behaviour driven directly, and the program itself
// on a pseudo-terminal (options, link, garbage, a peer that dies, a peer that
// never reads).
#include "sim/chip_model.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/line_client.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using chipsim::ChipModel;
using chipsim::ChipState;

namespace {

std::string Bytes(const char* spaced) {
    return Hex(spaced).toStdString();
}
std::string HexOut(const std::string& s) {
    return ChipModel::HexOf(s);
}

// A chip that has already sent its 0x4A.
ChipModel Powered(double scale = 1.0) {
    ChipModel chip(scale);
    chip.Start(0);
    chip.TakeBytes();
    return chip;
}

struct FrameCase {
    const char* name;
    const char* in;
    const char* answer;
};

TEST(ChipModel, AnswersEachFrameOfAnIdleChip) {
    const FrameCase cases[] = {
        {"stop", "FD 00 02 02 FD", "41"},
        {"pause", "FD 00 02 03 FC", "41"},
        {"resume", "FD 00 02 04 FB", "41"},
        {"query", "FD 00 02 21 DE", "4F"},
        {"sleep", "FD 00 02 88 77", "41"},
        {"rate 9600", "FD 00 03 31 00 CF", "41"},
        {"empty synthesis speaks nothing", "FD 00 03 01 01 FE", "41 4F"},
        {"unknown command", "FD 00 02 05 FA", "45"},
        {"bad checksum", "FD 00 02 21 DF", "45"},
        {"rate parameter 3", "FD 00 03 31 03 CC", "45"},
        {"stop with a parameter", "FD 00 03 02 00 FC", "45"},
        {"query without parameter room", "FD 00 03 21 00 DF", "45"},
        {"synthesis without parameter", "FD 00 02 01 FE", "45"},
        {"length 1: no command", "FD 00 01 FC", "45"},
        {"length 0", "FD 00 00", "45"},
        {"length beyond any frame", "FD FF FF", "45"},
        {"garbage only", "00 41 FE 7F", ""},
        {"garbage before a frame", "00 FF 12 FD 00 02 21 DE", "4F"},
        {"two frames in one write", "FD 00 02 02 FD FD 00 02 21 DE", "41 4F"},
        {"header alone waits", "FD", ""},
        {"half a frame waits", "FD 00 02 21", ""},
    };
    for (const FrameCase& c : cases) {
        ChipModel chip = Powered();
        chip.Feed(Bytes(c.in), 9600, 10);
        EXPECT_EQ(HexOut(chip.TakeBytes()), c.answer) << c.name;
    }
}

TEST(ChipModel, SaysInitOnceAtPowerUp) {
    ChipModel chip;
    chip.Start(0);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4A");
    chip.Tick(100000);
    EXPECT_EQ(chip.TakeBytes(), "");
}

TEST(ChipModel, SpeaksForATimeThatGrowsWithTheText) {
    ChipModel chip = Powered();
    chip.Feed(Bytes("FD 00 07 01 01 C4 E3 BA C3 A4"), 9600, 1000); // 你好: 500 ms
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41");
    EXPECT_EQ(chip.NextDeadline(), 1500);
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 1200);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4E");
    chip.Tick(1499);
    EXPECT_EQ(chip.TakeBytes(), "");
    chip.Tick(1500);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F");
    EXPECT_EQ(chip.State(), ChipState::Idle);
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 1600);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F");
}

TEST(ChipModel, TimeScaleShortensSpeech) {
    ChipModel chip = Powered(0.01);
    chip.Feed(Bytes("FD 00 07 01 01 C4 E3 BA C3 A4"), 9600, 0);
    EXPECT_EQ(chip.NextDeadline(), 5);
}

TEST(ChipModel, PauseHoldsAndResumeContinues) {
    ChipModel chip = Powered();
    chip.Feed(Bytes("FD 00 07 01 01 C4 E3 BA C3 A4"), 9600, 0); // ends at 500
    chip.Feed(Bytes("FD 00 02 03 FC"), 9600, 100);              // 400 left
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41 41");
    chip.Tick(5000);
    EXPECT_EQ(chip.State(), ChipState::Paused);
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 5000);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4E");
    chip.Feed(Bytes("FD 00 02 04 FB"), 9600, 6000);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41");
    chip.Tick(6399);
    EXPECT_EQ(chip.TakeBytes(), "");
    chip.Tick(6400);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F");
}

TEST(ChipModel, StopReportsIdleSleepDoesNot) {
    ChipModel chip = Powered();
    chip.Feed(Bytes("FD 00 07 01 01 C4 E3 BA C3 A4"), 9600, 0);
    chip.Feed(Bytes("FD 00 02 02 FD"), 9600, 100);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41 41 4F");
    chip.Tick(10000);
    EXPECT_EQ(chip.TakeBytes(), "");

    chip.Feed(Bytes("FD 00 07 01 01 C4 E3 BA C3 A4"), 9600, 20000);
    chip.Feed(Bytes("FD 00 02 88 77"), 9600, 20100);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41 41");
    EXPECT_EQ(chip.State(), ChipState::Asleep);
    chip.Tick(30000);
    EXPECT_EQ(chip.TakeBytes(), "");
    // The next frame wakes it.
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 30000);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F");
}

TEST(ChipModel, NewTextReplacesTheSpeech) {
    ChipModel chip = Powered();
    chip.Feed(Bytes("FD 00 07 01 01 C4 E3 BA C3 A4"), 9600, 0);
    chip.Feed(Bytes("FD 00 04 01 01 41 B8"), 9600, 100); // "A": 100 ms
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41 41");
    chip.Tick(199);
    EXPECT_EQ(chip.TakeBytes(), "");
    chip.Tick(200);
    chip.Tick(1000);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F"); // one idle report, not two
}

TEST(ChipModel, FollowsTheNewRateAndIgnoresTheOld) {
    ChipModel chip = Powered();
    chip.Feed(Bytes("FD 00 03 31 01 CE"), 9600, 0);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "41");
    EXPECT_EQ(chip.Rate(), 19200);
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 10);
    EXPECT_EQ(chip.TakeBytes(), "");
    chip.Feed(Bytes("FD 00 02 21 DE"), 38400, 20);
    EXPECT_EQ(chip.TakeBytes(), "");
    chip.Feed(Bytes("FD 00 02 21 DE"), 19200, 30);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F");
    // A rejected rate change leaves the rate.
    chip.Feed(Bytes("FD 00 03 31 07 CA"), 19200, 40);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "45");
    EXPECT_EQ(chip.Rate(), 19200);
}

TEST(ChipModel, DropsAFrameCutShortAfterAPause) {
    ChipModel chip = Powered();
    chip.Feed(Bytes("FD 00 02 21"), 9600, 1000);
    chip.Tick(1000 + chipsim::kFrameGapMs - 1);
    chip.Feed(Bytes("DE"), 9600, 1000 + chipsim::kFrameGapMs - 1);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F"); // still in time

    chip.Feed(Bytes("FD 00 02 21"), 9600, 5000);
    EXPECT_EQ(chip.NextDeadline(), 5000 + chipsim::kFrameGapMs);
    chip.Tick(5000 + chipsim::kFrameGapMs);
    EXPECT_EQ(chip.NextDeadline(), -1);
    chip.Feed(Bytes("FD 00 02 21 DE"), 9600, 6000);
    EXPECT_EQ(HexOut(chip.TakeBytes()), "4F");
}

TEST(ChipModel, ControlMarksTakeNoTimeAndAreNotSpoken) {
    EXPECT_EQ(ChipModel::SpeechMs("[v10]"), 0);
    EXPECT_EQ(ChipModel::SpeechMs("\xC4\xE3[s5]A\r\n"), 250 + 100);
    EXPECT_EQ(ChipModel::StripMarks("[v10]\xC4\xE3[d]"), "\xC4\xE3");
    // "[" as the trail byte of a double-byte character starts no mark.
    EXPECT_EQ(ChipModel::StripMarks("\x81[v1]"), "\x81[v1]");
    // Brackets around other text stay.
    EXPECT_EQ(ChipModel::StripMarks("[]a[b c]"), "[]a[b c]");
    EXPECT_EQ(ChipModel::GbkToUtf8("\xC4\xE3\xBA\xC3"), "你好");
    EXPECT_EQ(ChipModel::GbkToUtf8("A\xFF"), "A\xEF\xBF\xBD");
}

TEST(ChipModel, SurvivesRandomBytesAndStillAnswers) {
    std::mt19937 rng(4710);
    ChipModel chip = Powered(0.001);
    int64_t now = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string chunk(rng() % 64, '\0');
        for (char& c : chunk)
            c = static_cast<char>(rng() % 4 == 0 ? 0xFD : rng() % 256);
        now += rng() % 300;
        chip.Feed(chunk, 9600, now);
        chip.TakeBytes();
    }
    // Random frames may have changed the rate or put it to sleep; any later
    // valid query at the chip's rate is answered with a status.
    now += 10000;
    chip.Tick(now);
    chip.TakeBytes();
    chip.Feed(Bytes("FD 00 02 21 DE"), chip.Rate(), now);
    const std::string answer = chip.TakeBytes();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_TRUE(answer[0] == 0x4E || answer[0] == 0x4F);
}

// ---- the program

// Options as they stand in the source of the option parser.
TEST(ChipSimProgram, HelpDocumentsEveryOption) {
    QProcess p;
    p.start(QStringLiteral(VXT_CHIPSIM_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString help = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* option :
         {"--as COM<n>", "--tap-host COM<n>", "--tap-chip COM<n>", "--ports-dir DIR",
          "--time-scale X", "--speak", "--quit-on-eof", "--help"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(help.contains(QLatin1String("250 ms"))); // the speaking rate
}

TEST(ChipSimProgram, RejectsBadOptionsClearly) {
    const QStringList bad[] = {{QStringLiteral("--as"), QStringLiteral("COM21")},
                               {QStringLiteral("--as"), QStringLiteral("LPT1")},
                               {QStringLiteral("--time-scale"), QStringLiteral("fast")},
                               {QStringLiteral("--time-scale")},
                               {QStringLiteral("--bogus")},
                               {QStringLiteral("--tap-host"), QStringLiteral("COM0")},
                               {QStringLiteral("--as"), QStringLiteral("COM2"),
                                QStringLiteral("--tap-chip"), QStringLiteral("com2")}};
    for (const QStringList& args : bad) {
        QProcess p;
        p.start(QStringLiteral(VXT_CHIPSIM_PATH), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("--help")) << args.join(' ').toStdString();
    }
}

TEST(ChipSimProgram, LinksItsPortAndPutsBackWhatWasThere) {
    PortsFolder ports;
    ports.link(2, QStringLiteral("/dev/ttyUSB7")); // the user's adapter
    QString device;
    {
        ChipSim chip(ports.path(), 2);
        ASSERT_TRUE(chip.started());
        device = chip.device();
        EXPECT_EQ(QFileInfo(ports.path() + "/com2").symLinkTarget(), device);
        EXPECT_FALSE(QFileInfo::exists(ports.path() + "/com1"));
    }
    EXPECT_EQ(QFileInfo(ports.path() + "/com2").symLinkTarget(), QStringLiteral("/dev/ttyUSB7"));

    // A folder that does not exist yet is made; the link goes with the
    // simulator, here ended by SIGINT.
    const QString nested = ports.path() + "/a/b";
    ChipSim chip(nested, 3);
    ASSERT_TRUE(chip.started());
    EXPECT_TRUE(QFileInfo(nested + "/com3").isSymLink());
    ::kill(static_cast<pid_t>(chip.process().processId()), SIGINT);
    ASSERT_TRUE(chip.process().waitForFinished(5000));
    EXPECT_EQ(chip.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo(nested + "/com3").isSymLink());
}

TEST(ChipSimProgram, SaysInitAndAnswersOnTheLine) {
    PortsFolder ports;
    ChipSim chip(ports.path());
    ASSERT_TRUE(chip.started());
    LineClient line(chip.device());
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.read().toHex(' '), "4a");
    line.write(Hex("FD 00 07 01 01 C4 E3 BA C3 A4"));
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("done speaking"), 5000));
    EXPECT_EQ(line.read().toHex(' '), "41 4f");
    EXPECT_TRUE(chip.lines().contains(QStringLiteral("speak 5 ms: 你好")));
}

// A tap cable's two lines: each carries one direction, byte for byte; what
// a monitor writes onto a tap is reported and reaches neither side.
TEST(ChipSimProgram, TapsCarryEachDirection) {
    PortsFolder ports;
    QProcess sim;
    sim.start(QStringLiteral(VXT_CHIPSIM_PATH),
              {QStringLiteral("--as"), QStringLiteral("COM1"), QStringLiteral("--tap-host"),
               QStringLiteral("COM2"), QStringLiteral("--tap-chip"), QStringLiteral("COM3"),
               QStringLiteral("--ports-dir"), ports.path(), QStringLiteral("--time-scale"),
               QStringLiteral("0.01")});
    ASSERT_TRUE(sim.waitForStarted(5000));
    const auto linked = [&](int n) {
        return QFileInfo(ports.path() + QStringLiteral("/com%1").arg(n)).symLinkTarget();
    };
    ASSERT_TRUE(WaitUntil([&] { return !linked(3).isEmpty(); }, 5000));
    LineClient tapHost(linked(2)), tapChip(linked(3)), line(linked(1));
    ASSERT_TRUE(tapHost.ok() && tapChip.ok() && line.ok());
    EXPECT_EQ(line.read().toHex(' '), "4a");
    const QByteArray text = Hex("FD 00 07 01 01 C4 E3 BA C3 A4");
    line.write(text);
    EXPECT_EQ(line.read(5000, 300).toHex(' '), "41 4f");
    EXPECT_EQ(tapHost.read(1000, 200), text);
    EXPECT_EQ(tapChip.read(1000, 200).toHex(' '), "4a 41 4f"); // the power-up 0x4A too

    tapHost.write(Hex("FD 00 02 21 DE"));
    QByteArray said;
    EXPECT_TRUE(WaitUntil(
        [&] {
            said += sim.readAllStandardOutput();
            return said.contains("tap host: the monitor wrote FD 00 02 21 DE");
        },
        5000));
    EXPECT_TRUE(line.read(300, 100).isEmpty());
    EXPECT_TRUE(tapChip.read(300, 100).isEmpty());
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    for (int n : {1, 2, 3})
        EXPECT_FALSE(QFileInfo(ports.path() + QStringLiteral("/com%1").arg(n)).isSymLink()) << n;
}

TEST(ChipSimProgram, GarbageNeverStopsIt) {
    PortsFolder ports;
    ChipSim chip(ports.path());
    ASSERT_TRUE(chip.started());
    LineClient line(chip.device());
    ASSERT_TRUE(line.ok());
    line.read();
    std::mt19937 rng(17);
    QByteArray garbage(20000, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng() % 256);
    ASSERT_TRUE(line.write(garbage));
    // A header inside the garbage may be waiting for the rest of its frame.
    PumpEvents(int(chipsim::kFrameGapMs) + 100);
    line.read(200);
    ASSERT_EQ(chip.process().state(), QProcess::Running);
    // Random frames may have changed the chip's rate: speak at the rate it
    // reports, if any.
    speed_t speed = B9600;
    for (const QString& l : chip.lines()) {
        if (l.startsWith(QLatin1String("rate 19200")))
            speed = B19200;
        else if (l.startsWith(QLatin1String("rate 38400")))
            speed = B38400;
        else if (l.startsWith(QLatin1String("rate 9600")))
            speed = B9600;
    }
    line.setRate(speed);
    line.write(Hex("FD 00 02 02 FD"));
    EXPECT_EQ(line.read().toHex(' ').left(2), "41");
    EXPECT_EQ(chip.process().state(), QProcess::Running);
}

TEST(ChipSimProgram, APeerThatDiesMidFrameLeavesItWorking) {
    PortsFolder ports;
    ChipSim chip(ports.path());
    ASSERT_TRUE(chip.started());
    const QByteArray dev = chip.device().toLocal8Bit();
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(dev.constData(), O_RDWR | O_NOCTTY);
        const char half[] = "\xFD\x00\x07\x01\x01\xC4";
        [[maybe_unused]] ssize_t n = ::write(fd, half, 6);
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("send 0x4A"), 5000));
    PumpEvents(50);
    ::kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("cut short, dropped"), 5000));

    // The console itself, killed while it holds the port.
    QTemporaryDir config;
    QDir(config.path()).mkpath(QStringLiteral("vxt4710"));
    QFile::link(ports.path(), config.path() + "/vxt4710/ports");
    QProcess console;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    console.setProcessEnvironment(env);
    console.setWorkingDirectory(config.path());
    console.start(QStringLiteral(VXT_CONSOLE_PATH), {});
    ASSERT_TRUE(console.waitForStarted(5000));
    PumpEvents(500);
    console.kill();
    console.waitForFinished(5000);

    ASSERT_EQ(chip.process().state(), QProcess::Running);
    LineClient line(chip.device());
    line.read(300);
    line.write(Hex("FD 00 02 21 DE"));
    EXPECT_EQ(line.read().toHex(' '), "4f");
}

// A stand-in for espeak-ng that writes down what it was asked to say.
TEST(ChipSimProgram, SpeakSaysTheTextWithoutItsMarks) {
    QTemporaryDir bin;
    const QString said = bin.path() + "/said.txt";
    QFile script(bin.path() + "/espeak-ng");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s|' \"$@\" >> '%1'\necho >> '%1'\n")
                     .arg(said)
                     .toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ":" + oldPath);
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01, {QStringLiteral("--speak")});
    qputenv("PATH", oldPath);
    ASSERT_TRUE(chip.started());
    LineClient line(chip.device());
    line.read();
    // "[v10]你好[d]"
    QByteArray frame = Hex("FD 00 0F 01 01") + QByteArray("[v10]\xC4\xE3\xBA\xC3[d]");
    frame[2] = char(frame.size() - 2);
    uint8_t sum = 0;
    for (char c : frame)
        sum ^= uint8_t(c);
    line.write(frame + char(sum));
    EXPECT_EQ(line.read().toHex(' '), "41 4f");
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(said).size() > 0; }, 5000));
    QFile f(said);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), QStringLiteral("-v|cmn|-s|175|-a|100|--|你好|\n"));
    EXPECT_TRUE(chip.errors().isEmpty());
}

TEST(ChipSimProgram, SpeakWithoutEspeakSaysSoAndStillAnswers) {
    QTemporaryDir emptyBin;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.01, {QStringLiteral("--speak")});
    qputenv("PATH", oldPath);
    ASSERT_TRUE(chip.started());
    EXPECT_TRUE(WaitUntil(
        [&] { return chip.errors().contains(QLatin1String("espeak-ng is not installed")); }, 5000));
    LineClient line(chip.device());
    line.read();
    line.write(Hex("FD 00 07 01 01 C4 E3 BA C3 A4"));
    EXPECT_EQ(line.read().toHex(' '), "41 4f");
}

// A console opens its port exclusively; killed, it cannot undo that, and the
// line would stay closed to everyone but root.
TEST(ChipSimProgram, AKilledConsoleLeavesTheLineOpenToOthers) {
    PortsFolder ports;
    ChipSim chip(ports.path());
    ASSERT_TRUE(chip.started());
    const QByteArray dev = chip.device().toLocal8Bit();
    int fd = ::open(dev.constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
    ::close(fd); // as a killed process does: no TIOCNXCL
    auto exclusive = [&] {
        const int probe = ::open(dev.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int flag = -1;
        if (probe >= 0) {
            ioctl(probe, TIOCGEXCL, &flag);
            ::close(probe);
        }
        return flag != 0;
    };
    EXPECT_TRUE(WaitUntil([&] { return !exclusive(); }, 5000));
}

TEST(ChipSimProgram, APeerThatNeverReadsCannotBlockIt) {
    PortsFolder ports;
    QProcess sim;
    sim.setStandardOutputFile(QProcess::nullDevice());
    sim.start(QStringLiteral(VXT_CHIPSIM_PATH),
              {QStringLiteral("--as"), QStringLiteral("COM1"), QStringLiteral("--ports-dir"),
               ports.path(), QStringLiteral("--time-scale"), QStringLiteral("0")});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(ports.path() + "/com1").isSymLink(); }, 5000));
    LineClient line(QFileInfo(ports.path() + "/com1").symLinkTarget());
    ASSERT_TRUE(line.ok());
    // 100000 answers are far more than the line holds. A simulator that
    // waited for room would stop reading, and these writes would stall.
    QByteArray queries;
    for (int i = 0; i < 100000; ++i)
        queries += Hex("FD 00 02 21 DE");
    EXPECT_TRUE(line.write(queries, 20000));
    EXPECT_EQ(sim.state(), QProcess::Running);
    // Once the line is read again, the chip is heard again.
    while (!line.read(500, 200).isEmpty()) {
    }
    line.write(Hex("FD 00 02 02 FD"));
    EXPECT_TRUE(line.read(5000).endsWith('\x41'));
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
}

} // namespace
