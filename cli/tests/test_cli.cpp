// vxt4710-cli as a program: against the simulated chip (frames and log text
// compared with the window's for the same text) and against a test peer that
// answers what a test wants, or nothing.
#include "core/capture_file.h"
#include "core/demo_texts.h"
#include "core/frame_builders.h"
#include "core/frame_codec.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/cli_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;
const QString kPortFailure =
    QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备");

// A configuration folder of its own: its vxt4710/ports is the ports folder
// the program looks up COM<n> in.
using Config = CliConfig;

// The program running: started at once, waited for by finish().
struct Cli : CliProcess {
    Cli(const Config& config, const QStringList& args, const QByteArray& input = {})
        : CliProcess(config, args, QStringLiteral(VXT_CLI_PATH), input) {}
    int finish(int timeoutMs = kWaitMs) { return CliProcess::finish(timeoutMs); }
};

QString WithLf(QString s) {
    return s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QStringList FramesReceived(ChipSim& chip) {
    return SimFramesReceived(chip);
}

// --------------------------------------------------- against the simulated chip

struct WindowRun {
    QString log;
    QStringList frames;
};

// The window plays the chip introduction to a simulated chip of its own.
WindowRun WindowPlaysIntroduction() {
    PortsFolder ports;
    ChipSim chip(ports.path());
    if (!chip.started())
        return {};
    auto h = FormHarness::Real(ports.path());
    WaitUntil([&] { return h->log().contains(QStringLiteral("<-0x4A")); }, kWaitMs);
    (*h)->Widget(&Form1::Text4)->SetText(QString());
    (*h)->Widget(&Form1::Text3)->SetText(ToQString(ChipIntroText()));
    (*h)->Command3_Click();
    WaitUntil([&] { return h->log().count(QStringLiteral("<-0x4F")) == 5; }, kWaitMs);
    PumpEvents(100);
    return {h->log(), FramesReceived(chip)};
}

struct FileCase {
    const char* name;
    QByteArray bytes;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class SpeakFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(SpeakFile, PutsTheWindowsFramesOnTheLineAndPrintsItsLog) {
    const WindowRun window = WindowPlaysIntroduction();
    ASSERT_EQ(window.frames.size(), 5) << window.log.toStdString();

    Config config;
    ChipSim chip(config.ports());
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    QFile file(config.dir.path() + QStringLiteral("/intro.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(GetParam().bytes);
    file.close();

    Cli cli(config, {QStringLiteral("speak"), QStringLiteral("-f"), file.fileName()});
    ASSERT_EQ(cli.finish(), 0) << cli.err.toStdString();
    EXPECT_EQ(FramesReceived(chip), window.frames);
    EXPECT_EQ(cli.text().split(u'\n'), WithLf(window.log).split(u'\n'));
}

QByteArray IntroIn(const char* encoding, QByteArray prefix = {}) {
    QStringEncoder encoder(encoding);
    return prefix + QByteArray(encoder.encode(ChipIntroText()));
}

INSTANTIATE_TEST_SUITE_P(Encodings, SpeakFile,
                         ::testing::Values(FileCase{"Gbk", IntroIn("GBK")},
                                           FileCase{"Utf8WithMark",
                                                    IntroIn("UTF-8", "\xEF\xBB\xBF")}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliOnChip, RateChangeThenQueryAtTheNewRate) {
    Config config;
    ChipSim chip(config.ports());
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());

    Cli change(config, {QStringLiteral("rate"), QStringLiteral("19200")});
    ASSERT_EQ(change.finish(), 0) << change.err.toStdString();
    EXPECT_EQ(change.text(), WithLf(ToQString(FrameLogText(SetRateFrame(1)))) +
                                 QStringLiteral("<-0x41  接收成功   波特率已修改成功\n"));
    EXPECT_TRUE(change.err.contains(QStringLiteral("now at 19200 bit/s")))
        << change.err.toStdString();
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("rate 19200 bit/s from now on"), kWaitMs));

    Cli query(config, {QStringLiteral("--rate"), QStringLiteral("19200"), QStringLiteral("query")});
    ASSERT_EQ(query.finish(), 0) << query.err.toStdString();
    EXPECT_TRUE(query.text().endsWith(QStringLiteral("<-0x4F  芯片空闲\n")));
    EXPECT_TRUE(chip.lines().filter(QStringLiteral("ignored")).isEmpty());

    // At the old rate the chip no longer understands: the query goes unanswered.
    Cli old(config, {QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("query")});
    EXPECT_EQ(old.finish(), 2);
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("ignored 5 bytes sent at 9600"), kWaitMs));
}

TEST(CliOnChip, JsonParsesLineByLine) {
    Config config;
    ChipSim chip(config.ports());
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    Cli cli(config, {QStringLiteral("--json"), QStringLiteral("speak"), QStringLiteral("你好")});
    ASSERT_EQ(cli.finish(), 0) << cli.err.toStdString();

    const QList<QByteArray> lines = cli.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << cli.out.toStdString(); // frame, 0x41, 0x4F, result
    QList<QJsonObject> objects;
    for (const QByteArray& line : lines) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(doc.isObject());
        objects << doc.object();
    }
    const QJsonObject frame = objects[0];
    EXPECT_EQ(frame.value(QStringLiteral("dir")).toString(), QStringLiteral("out"));
    EXPECT_EQ(frame.value(QStringLiteral("hex")).toString(),
              QStringLiteral("FD 00 07 01 01 C4 E3 BA C3 A4"));
    EXPECT_EQ(frame.value(QStringLiteral("log")).toString() + u'\n',
              WithLf(ToQString(FrameLogText(ToStdBytes(Hex("FD 00 07 01 01 C4 E3 BA C3 A4"))))));
    EXPECT_TRUE(frame.value(QStringLiteral("t_ms")).isDouble());
    EXPECT_EQ(objects[1].value(QStringLiteral("hex")).toString(), QStringLiteral("41"));
    EXPECT_EQ(objects[2].value(QStringLiteral("log")).toString(),
              QStringLiteral("<-0x4F  芯片空闲"));
    EXPECT_LE(objects[1].value(QStringLiteral("t_ms")).toDouble(),
              objects[2].value(QStringLiteral("t_ms")).toDouble());
    EXPECT_EQ(objects[3].value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
}

TEST(CliOnChip, MarkAndStandardInput) {
    Config config;
    ChipSim chip(config.ports());
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    Cli mark(config, {QStringLiteral("mark"), QStringLiteral("v10")});
    ASSERT_EQ(mark.finish(), 0) << mark.err.toStdString();
    Cli input(config, {QStringLiteral("speak"), QStringLiteral("-")}, QByteArray("你好\n"));
    ASSERT_EQ(input.finish(), 0) << input.err.toStdString();
    EXPECT_EQ(
        FramesReceived(chip),
        (QStringList{QStringLiteral("FD 00 08 01 01 5B 76 31 30 5D 84"),
                     QString::fromLatin1(ToQBytes(TextFrame(u"你好\r\n")).toHex(' ').toUpper())}));
}

// --------------------------------------------------- the monitor of a tapped line

// Whether the running program holds device open (it is watching it).
bool Holds(const QProcess& process, const QString& device) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(process.processId()));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == device)
            return true;
    }
    return false;
}

QList<QJsonObject> JsonLines(const QByteArray& out) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.trimmed().split('\n'))
        objects << QJsonDocument::fromJson(line).object();
    return objects;
}

// The monitor on the simulated chip's taps sees what vxt4710-cli sends and
// gets while it plays the chip introduction: the same bytes in the same
// order as the program's own log, and no finding.
TEST(CliMonitor, SeesTheIntroductionAsTheProgramLogsIt) {
    Config config;
    ChipSim chip(config.ports(), 1, 0.01,
                 {QStringLiteral("--tap-host"), QStringLiteral("COM2"),
                  QStringLiteral("--tap-chip"), QStringLiteral("COM3")});
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    Cli monitor(config,
                {QStringLiteral("--json"), QStringLiteral("monitor"), QStringLiteral("--host"),
                 QStringLiteral("COM2"), QStringLiteral("--chip"), QStringLiteral("COM3")});
    const auto tap = [&](int n) {
        return QFile::symLinkTarget(config.ports() + QStringLiteral("/com%1").arg(n));
    };
    ASSERT_TRUE(WaitUntil(
        [&] { return Holds(monitor.process, tap(2)) && Holds(monitor.process, tap(3)); }, kWaitMs))
        << "monitor ended with " << monitor.finish() << ": " << monitor.err.toStdString();
    Cli speak(config, {QStringLiteral("--json"), QStringLiteral("speak"), QStringLiteral("-")},
              ToQString(ChipIntroText()).toUtf8());
    ASSERT_EQ(speak.finish(), 0) << speak.err.toStdString();
    PumpEvents(300); // the last answer has reached the monitor
    monitor.signal(SIGINT);
    EXPECT_EQ(monitor.finish(), 0) << monitor.err.toStdString();

    QStringList logged, watched;
    for (const QJsonObject& o : JsonLines(speak.out)) {
        if (o.contains(QStringLiteral("hex")))
            logged << o.value(QStringLiteral("dir")).toString() + u' ' +
                          o.value(QStringLiteral("hex")).toString();
    }
    const QList<QJsonObject> seen = JsonLines(monitor.out);
    ASSERT_FALSE(seen.isEmpty());
    for (const QJsonObject& o : seen.mid(0, seen.size() - 1)) {
        const bool host = o.value(QStringLiteral("dir")).toString() == QStringLiteral("host");
        watched << QString::fromLatin1(host ? "out " : "in ") +
                       o.value(QStringLiteral("bytes")).toString();
        EXPECT_TRUE(o.value(QStringLiteral("findings")).toArray().isEmpty());
    }
    // The power-up 0x4A, sent just before the monitor opened its tap, may
    // still reach it (the system hands a pseudo-terminal's bytes on late).
    if (!watched.isEmpty() && watched.first() == QStringLiteral("in 4A"))
        watched.removeFirst();
    EXPECT_EQ(watched.join(u'\n').toStdString(), logged.join(u'\n').toStdString());
    EXPECT_EQ(logged.count(QStringLiteral("in 4F")), 5);
    EXPECT_EQ(seen.last().value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
}

// A controller played by the test on two lines of its own: each fault it
// makes is found once, at its frame; the monitor writes no byte to either.
TEST(CliMonitor, FindsEachFaultOnceAndWritesNothing) {
    Config config;
    PtyPeer host, chip;
    ASSERT_TRUE(host.ok() && chip.ok());
    Cli monitor(config,
                {QStringLiteral("--json"), QStringLiteral("monitor"), QStringLiteral("--host"),
                 host.devicePath(), QStringLiteral("--chip"), chip.devicePath()});
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Holds(monitor.process, host.devicePath()) &&
                   Holds(monitor.process, chip.devicePath());
        },
        kWaitMs));
    const auto step = [&](const char* hostHex, const char* chipHex) {
        host.write(Hex(hostHex));
        PumpEvents(50);
        if (*chipHex)
            chip.write(Hex(chipHex));
        PumpEvents(100);
    };
    const QByteArray text = ToQBytes(TextFrame(u"你好"));
    step("FD 00 02 21 00", "45");            // wrong checksum
    step("FD 00 01 21 DD", "45");            // length one short
    step(text.toHex(' ').constData(), "41"); // speaks
    step(text.toHex(' ').constData(), "41"); // cuts the speech
    step("00 11 22", "");                    // bytes of no frame
    step("FD 00 02 21 DE", "");              // no answer
    PumpEvents(1300);
    monitor.signal(SIGTERM);
    EXPECT_EQ(monitor.finish(), 1) << monitor.err.toStdString();

    QStringList findings;
    for (const QJsonObject& o : JsonLines(monitor.out)) {
        if (!o.contains(QStringLiteral("dir")) ||
            o.value(QStringLiteral("dir")).toString() != QStringLiteral("host"))
            continue;
        QStringList keys;
        for (const auto& key : o.value(QStringLiteral("findings")).toArray())
            keys << key.toString();
        findings << keys.join(u',');
    }
    EXPECT_EQ(findings, (QStringList{QStringLiteral("bad_checksum"), QStringLiteral("bad_length"),
                                     QString(), QStringLiteral("cuts_speech"),
                                     QStringLiteral("stray_bytes"), QStringLiteral("no_answer")}))
        << monitor.out.toStdString();
    EXPECT_TRUE(host.read(200).isEmpty());
    EXPECT_TRUE(chip.read(200).isEmpty());
}

// --------------------------------------------------- against a test peer

struct OnPeer {
    Config config;
    PtyPeer peer;
    QStringList args(QStringList rest) const {
        return QStringList{QStringLiteral("--port"), peer.devicePath()} + rest;
    }
};

struct AnswerCase {
    const char* name;
    QStringList command;
    QByteArray answer; // written once the frame has arrived
    int status;
    const char* lastLine;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class PeerAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(PeerAnswers, StatusAndLastLine) {
    const AnswerCase& c = GetParam();
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    Cli cli(on.config, on.args(c.command));
    const QByteArray frame = on.peer.readAtLeast(5, kWaitMs);
    ASSERT_GE(frame.size(), 5);
    on.peer.write(c.answer);
    EXPECT_EQ(cli.finish(), c.status) << cli.err.toStdString();
    EXPECT_TRUE(cli.text().endsWith(QString::fromUtf8(c.lastLine))) << cli.text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PeerAnswers,
    ::testing::Values(
        AnswerCase{"StopRejected", {QStringLiteral("stop")}, "\x45", 1, "<-0x45  接收失败\n"},
        AnswerCase{"StopAccepted", {QStringLiteral("stop")}, "\x41", 0, "<-0x41  接收成功\n"},
        AnswerCase{"QueryIdle", {QStringLiteral("query")}, "\x4F", 0, "<-0x4F  芯片空闲\n"},
        AnswerCase{
            "QuerySpeaking", {QStringLiteral("query")}, "\x4E", 10, "<-0x4E  芯片正在播音\n"},
        // Bytes that are no status are skipped; an acceptance before the
        // status is logged and waited past.
        AnswerCase{"QueryThroughNoise",
                   {QStringLiteral("query")},
                   "\x58\x41\x4E",
                   10,
                   "<-0x41  接收成功\n<-0x4E  芯片正在播音\n"},
        AnswerCase{"RateRejected",
                   {QStringLiteral("rate"), QStringLiteral("38400")},
                   "\x45",
                   1,
                   "<-0x45  接收失败  波特率未成功修改\n"},
        AnswerCase{"HexRejected",
                   {QStringLiteral("hex"), QStringLiteral("fd 00 02 21")},
                   "\x45",
                   1,
                   "<-0x45  接收失败\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// How long after the timeout it ends is timed on a fake clock by the
// session's own test; here only what load cannot shorten.
TEST(CliOnPeer, SilentPeerEndsWithStatus2AfterTheTimeout) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    Cli cli(on.config, on.args({QStringLiteral("--timeout"), QStringLiteral("2"),
                                QStringLiteral("speak"), QStringLiteral("你好")}));
    EXPECT_EQ(cli.finish(), 2);
    EXPECT_GE(cli.clock.elapsed(), 2000);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("piece 1 of 1"))) << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QStringLiteral("acceptance (0x41)"))) << cli.err.toStdString();
}

TEST(CliOnPeer, MissingIdleReplyIsATimeoutToo) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    Cli cli(on.config,
            on.args({QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("--json"),
                     QStringLiteral("speak"), QStringLiteral("a")}));
    ASSERT_GE(on.peer.readAtLeast(7, kWaitMs).size(), 7);
    on.peer.write("\x41");
    EXPECT_EQ(cli.finish(), 2);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("idle reply (0x4F)"))) << cli.err.toStdString();
    const QJsonObject last = QJsonDocument::fromJson(cli.out.trimmed().split('\n').last()).object();
    EXPECT_EQ(last.value(QStringLiteral("result")).toString(), QStringLiteral("timeout"));
}

TEST(CliOnPeer, PortsThatCannotBeOpenedEndWithStatus3AndTheMessage) {
    Config config;
    for (const QString& port : {QStringLiteral("/dev/no-such-tty"), QStringLiteral("COM17")}) {
        Cli cli(config, {QStringLiteral("--port"), port, QStringLiteral("query")});
        EXPECT_EQ(cli.finish(), 3) << port.toStdString();
        const QStringList lines = cli.err.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_GE(lines.size(), 2) << cli.err.toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("vxt4710-cli: ") + kPortFailure);
        EXPECT_TRUE(lines[1].contains(port)) << lines[1].toStdString();
        EXPECT_TRUE(cli.out.isEmpty());
    }
}

TEST(CliOnPeer, ALineThatGoesAwayEndsWithStatus3) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    Cli cli(on.config, on.args({QStringLiteral("query")}));
    ASSERT_GE(on.peer.readAtLeast(5, kWaitMs).size(), 5);
    on.peer.close();
    EXPECT_EQ(cli.finish(), 3);
    EXPECT_TRUE(cli.err.contains(kPortFailure)) << cli.err.toStdString();
}

TEST(CliOnPeer, BadHexSendsNothingAndEndsWith64) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    Cli cli(on.config, on.args({QStringLiteral("hex"), QStringLiteral("fd 00 0g 21")}));
    EXPECT_EQ(cli.finish(), 64);
    EXPECT_TRUE(on.peer.read(300).isEmpty());
    EXPECT_TRUE(cli.err.contains(QStringLiteral("格式不匹配，不是16进制数值")));
    EXPECT_TRUE(cli.err.contains(QStringLiteral("position 8: 'g'"))) << cli.err.toStdString();
}

// A text in which anything would become "?" is refused before the line is
// touched: status 65, the place on standard error, and in JSON too.
TEST(CliOnPeer, TextThatIsNoTextSendsNothingAndEndsWith65) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    const QString path = on.config.dir.filePath(QStringLiteral("bad.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xC4\xE3\xFF\xFE\xFD"); // 你, then no GBK
    file.close();

    Cli fromFile(on.config, on.args({QStringLiteral("speak"), QStringLiteral("-f"), path}));
    EXPECT_EQ(fromFile.finish(), 65);
    EXPECT_TRUE(fromFile.err.contains(
        QStringLiteral("read as GBK, 2 places are no text (the first at byte 3)")))
        << fromFile.err.toStdString();

    Cli fromInput(on.config,
                  on.args({QStringLiteral("--json"), QStringLiteral("speak"), QStringLiteral("-")}),
                  QByteArray("ab\xC4\xE3"));
    EXPECT_EQ(fromInput.finish(), 65);
    const QJsonObject last =
        QJsonDocument::fromJson(fromInput.out.trimmed().split('\n').last()).object();
    EXPECT_EQ(last.value(QStringLiteral("result")).toString(), QStringLiteral("data"));
    EXPECT_TRUE(last.value(QStringLiteral("message"))
                    .toString()
                    .startsWith(QStringLiteral("standard input: read as UTF-8, 2 places")))
        << fromInput.out.toStdString();
    EXPECT_TRUE(on.peer.read(300).isEmpty());
}

TEST(CliOnPeer, NoWaitEndsOnceTheFirstPieceIsWritten) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    Cli cli(on.config,
            on.args({QStringLiteral("speak"), QStringLiteral("--no-wait"), QString(450, u'a')}));
    EXPECT_EQ(cli.finish(), 0) << cli.err.toStdString();
    EXPECT_EQ(on.peer.read(1000), ToQBytes(TextFrame(std::u16string(200, u'a'))));
}

TEST(CliOnPeer, CtrlCDuringSpeakSendsStopAndEndsWith130) {
    for (const bool stopAccepted : {true, false}) {
        OnPeer on;
        ASSERT_TRUE(on.peer.ok());
        Cli cli(on.config, on.args({QStringLiteral("speak"), QString(450, u'a')}));
        ASSERT_EQ(on.peer.readAtLeast(206, kWaitMs).size(), 206);
        on.peer.write("\x41");
        PumpEvents(200);
        ::kill(static_cast<pid_t>(cli.process.processId()), SIGINT);
        EXPECT_EQ(on.peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x02)));
        if (stopAccepted)
            on.peer.write("\x41");
        EXPECT_EQ(cli.finish(), 130) << stopAccepted;
        // Without an answer the stop waits a second at most: timed on a fake
        // clock by Session.SendsInOrderAndEndsWithItsStatus/
        // StopNotAcceptedEndsAfterASecond; here the program says so.
        EXPECT_EQ(cli.err.contains(QStringLiteral("not accepted within a second")), !stopAccepted)
            << cli.err.toStdString();
        EXPECT_TRUE(cli.text().contains(WithLf(ToQString(FrameLogText(ControlFrame(0x02))))));
    }
}

TEST(CliOnPeer, PortsListsTheLinksOfThePortsFolder) {
    OnPeer on;
    ASSERT_TRUE(on.peer.ok());
    QFile::link(on.peer.devicePath(), on.config.ports() + QStringLiteral("/com3"));
    QFile::link(QStringLiteral("/dev/gone-adapter"), on.config.ports() + QStringLiteral("/com4"));
    Cli cli(on.config, {QStringLiteral("ports")});
    ASSERT_EQ(cli.finish(), 0);
    const QStringList lines = cli.text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 20);
    EXPECT_EQ(lines[2], QStringLiteral("COM3\t") + on.peer.devicePath());
    EXPECT_EQ(lines[3], QStringLiteral("COM4\t/dev/gone-adapter"));
}

} // namespace

namespace {

// The introduction spoken with --capture: the file holds each frame as the
// chip received it and each answer, and replays without a finding; an
// existing capture is not replaced unless the user says so.
TEST(CliCapture, HoldsTheFramesOfTheLineAndReplaysClean) {
    Config config;
    ChipSim chip(config.ports());
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    const QString intro = config.dir.path() + QStringLiteral("/intro.txt");
    QFile text(intro);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(ToQString(ChipIntroText()).toUtf8());
    text.close();
    const QString capture = config.dir.path() + QStringLiteral("/talk.pcapng");
    Cli speak(config, {QStringLiteral("--capture"), capture, QStringLiteral("speak"),
                       QStringLiteral("-f"), intro});
    ASSERT_EQ(speak.finish(), 0) << speak.err.toStdString();

    QFile file(capture);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const CaptureContents c = ReadCapture(std::string_view(bytes.constData(), bytes.size()));
    EXPECT_TRUE(c.problems.empty());
    QStringList sent, answers;
    for (const CapturePacket& p : c.packets) {
        const QString hex = QString::fromLatin1(QByteArray::fromStdString(p.bytes).toHex(' ')).toUpper();
        (p.direction == CaptureDirection::ToChip ? sent : answers) << hex;
    }
    EXPECT_EQ(sent, FramesReceived(chip));
    EXPECT_EQ(answers.count(QStringLiteral("41")), 5);
    EXPECT_EQ(answers.count(QStringLiteral("4F")), 5);

    Cli replay(config, {QStringLiteral("replay"), capture});
    EXPECT_EQ(replay.finish(), 0) << replay.err.toStdString();
    EXPECT_TRUE(replay.text().endsWith(
        QStringLiteral("monitor: frames 5, status bytes 10, findings 0\n")))
        << replay.text().toStdString();

    Cli again(config, {QStringLiteral("--capture"), capture, QStringLiteral("query")});
    EXPECT_EQ(again.finish(), 73);
    EXPECT_TRUE(again.err.contains(QStringLiteral("the file exists"))) << again.err.toStdString();
    EXPECT_EQ(file.size(), bytes.size());
}

} // namespace
