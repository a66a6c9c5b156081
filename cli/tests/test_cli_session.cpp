// vxt4710-cli's run against a chip: termination signals and a closed standard
// output stop the chip first, a typed frame waits for what its command gets,
// and a status byte out of order neither ends a piece nor goes unreported.
#include "core/frame_builders.h"
#include "qt/qt_text.h"
#include "testsupport/cli_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;
const QString kStopHex = QStringLiteral("FD 00 02 02 FD");

QStringList On(const QString& device, QStringList rest) {
    return QStringList{QStringLiteral("--port"), device} + rest;
}

QList<QJsonObject> JsonLines(const QByteArray& out) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.trimmed().split('\n'))
        objects << QJsonDocument::fromJson(line).object();
    return objects;
}

// --------------------------------------------------- termination signals

struct SignalCase {
    const char* name;
    int signo;
    int status;
    const char* message;
};

void PrintTo(const SignalCase& c, std::ostream* os) {
    *os << c.name;
}

class EndedBy : public ::testing::TestWithParam<SignalCase> {};

TEST_P(EndedBy, DuringSpeakTheChipIsToldToStopFirst) {
    const SignalCase& c = GetParam();
    CliConfig config;
    // Real speaking times: the chip is still on the first piece when the
    // signal comes.
    ChipSim chip(config.ports(), 1, 1.0);
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    CliProcess cli(config, On(chip.device(), {QStringLiteral("speak"), QString(450, u'a')}));
    ASSERT_TRUE(chip.waitForLine(QStringLiteral("send 0x41"), kWaitMs));
    cli.signal(c.signo);
    EXPECT_EQ(cli.finish(), c.status) << cli.err.toStdString();
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("recv ") + kStopHex, kWaitMs));
    EXPECT_EQ(SimFramesReceived(chip).count(kStopHex), 1);
    EXPECT_EQ(SimFramesReceived(chip).size(), 2); // the first piece, the stop
    EXPECT_TRUE(cli.err.contains(QString::fromUtf8(c.message) +
                                 QStringLiteral("; the chip was told to stop")))
        << cli.err.toStdString();
}

TEST_P(EndedBy, OutsideSpeakNoStopGoesOut) {
    const SignalCase& c = GetParam();
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(config, On(peer.devicePath(), {QStringLiteral("query")}));
    ASSERT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x21)));
    cli.signal(c.signo);
    EXPECT_EQ(cli.finish(), c.status) << cli.err.toStdString();
    EXPECT_TRUE(peer.read(300).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedBy,
                         ::testing::Values(SignalCase{"Int", SIGINT, 130, "interrupted (SIGINT)"},
                                           SignalCase{"Term", SIGTERM, 143, "terminated (SIGTERM)"},
                                           SignalCase{"Hup", SIGHUP, 129, "hung up (SIGHUP)"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EndedBy, ASecondSignalWhileASilentChipOwesTheStopsAcceptanceEndsAtOnce) {
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(config, On(peer.devicePath(), {QStringLiteral("--json"), QStringLiteral("speak"),
                                                  QString(450, u'a')}));
    ASSERT_EQ(peer.readAtLeast(206, kWaitMs).size(), 206);
    peer.write("\x41");
    PumpEvents(200);
    cli.signal(SIGTERM);
    ASSERT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x02)));
    cli.signal(SIGINT);
    // The first signal's status; the stop's wait of a second is given up,
    // as the message says (the session's own test times it on a fake clock:
    // Session.SendsInOrderAndEndsWithItsStatus/SecondSignalEndsAtOnce).
    EXPECT_EQ(cli.finish(), 143);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("ended again before the stop frame was accepted")))
        << cli.err.toStdString();
    EXPECT_TRUE(peer.read(300).isEmpty()); // exactly one stop frame
    EXPECT_EQ(JsonLines(cli.out).last().value(QStringLiteral("status")).toInt(), 143);
}

// --------------------------------------------------- a closed standard output

struct PipeCase {
    const char* name;
    const char* json; // "--json" or ""
    int linesRead;    // by head before it goes
};

void PrintTo(const PipeCase& c, std::ostream* os) {
    *os << c.name;
}

class ClosedOutput : public ::testing::TestWithParam<PipeCase> {};

TEST_P(ClosedOutput, StopsTheChipAndEndsWith74) {
    CliConfig config;
    ChipSim chip(config.ports());
    ASSERT_TRUE(chip.started());
    ASSERT_TRUE(chip.poweredUp());
    QFile file(config.dir.path() + QStringLiteral("/long.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(200 * 20, 'a'));
    file.close();
    // The shell reports the program's own status, not head's.
    const QString script =
        QStringLiteral("\"$1\" --port \"$2\" $3 speak -f \"$4\" | head -n \"$5\" >/dev/null; "
                       "exit \"${PIPESTATUS[0]}\"");
    CliProcess cli(config,
                   {QStringLiteral("-c"), script, QStringLiteral("sh"),
                    QStringLiteral(VXT_CLI_PATH), chip.device(),
                    QString::fromLatin1(GetParam().json), file.fileName(),
                    QString::number(GetParam().linesRead)},
                   QStringLiteral("/bin/bash"));
    EXPECT_EQ(cli.finish(), 74) << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QStringLiteral("standard output could not be written")))
        << cli.err.toStdString();
    EXPECT_TRUE(chip.waitForLine(QStringLiteral("recv ") + kStopHex, kWaitMs));
    const QStringList frames = SimFramesReceived(chip);
    EXPECT_EQ(frames.count(kStopHex), 1);
    EXPECT_LT(frames.size(), 21) << "every piece went out";
}

INSTANTIATE_TEST_SUITE_P(Pipes, ClosedOutput,
                         ::testing::Values(PipeCase{"Json", "--json", 2}, PipeCase{"Log", "", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A reader that goes while the chip speaks, with no line written meanwhile:
// the chip is stopped at once, not at the next line seconds later.
TEST(ClosedOutputWhileWaiting, StopsTheChipWithoutAnotherLine) {
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const QString script =
        QStringLiteral("\"$1\" --port \"$2\" --timeout 30 speak abc | head -c 1 >/dev/null; "
                       "exit \"${PIPESTATUS[0]}\"");
    CliProcess cli(config,
                   {QStringLiteral("-c"), script, QStringLiteral("sh"),
                    QStringLiteral(VXT_CLI_PATH), peer.devicePath()},
                   QStringLiteral("/bin/bash"));
    const QByteArray piece = ToQBytes(TextFrame(u"abc"));
    ASSERT_EQ(peer.readAtLeast(static_cast<int>(piece.size()), kWaitMs), piece);
    // The chip accepts nothing: only the lost reader can end the wait.
    EXPECT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x02)));
    peer.write("\x41");
    EXPECT_EQ(cli.finish(), 74) << cli.err.toStdString();
}

// --------------------------------------------------- what a typed frame waits for

struct HexCase {
    const char* name;
    const char* hex;
    QByteArray answer; // written once the frame has arrived
    int status;
    const char* errContains;
};

void PrintTo(const HexCase& c, std::ostream* os) {
    *os << c.name;
}

class TypedFrame : public ::testing::TestWithParam<HexCase> {};

TEST_P(TypedFrame, WaitsAsItsNamedCommandWould) {
    const HexCase& c = GetParam();
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(config,
                   On(peer.devicePath(), {QStringLiteral("--timeout"), QStringLiteral("2"),
                                          QStringLiteral("hex"), QString::fromLatin1(c.hex)}));
    ASSERT_GE(peer.readAtLeast(2, kWaitMs).size(), 2);
    peer.write(c.answer);
    EXPECT_EQ(cli.finish(), c.status) << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QString::fromUtf8(c.errContains))) << cli.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TypedFrame,
    ::testing::Values(HexCase{"QueryIdle", "fd 00 02 21", "\x4F", 0, ""},
                      HexCase{"QuerySpeaking", "fd 00 02 21", "\x4E", 10, ""},
                      // An acceptance is no answer to a query: the status still comes.
                      HexCase{"QueryPastAcceptance", "fd 00 02 21", "\x41\x4E", 10, ""},
                      HexCase{"Stop", "fd 00 02 02", "\x41", 0, ""},
                      HexCase{"Sleep", "fd 00 02 88", "\x45", 1, "0x45"},
                      HexCase{"Text", "fd 00 03 01 01 61", "\x41\x4F", 0, ""},
                      HexCase{"TextWaitsForIdle", "fd 00 03 01 01 61", "\x41", 2,
                              "idle reply (0x4F)"},
                      HexCase{"RateFollowed", "fd 00 03 31 01", "\x41", 0, "now at 19200 bit/s"},
                      HexCase{"UnknownCommand", "fd 00 02 99", "\x41", 0, ""},
                      HexCase{"NoHeader", "12 34 56 78", "\x45", 1, "0x45"},
                      HexCase{"TooShortForACommand", "fd 00", "\x41", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A rate the chip knows none for: nothing to follow.
TEST(TypedFrame, AnUnknownRateIsNotFollowed) {
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(
        config, On(peer.devicePath(), {QStringLiteral("hex"), QStringLiteral("fd 00 03 31 07")}));
    ASSERT_GE(peer.readAtLeast(6, kWaitMs).size(), 6);
    peer.write("\x41");
    EXPECT_EQ(cli.finish(), 0);
    EXPECT_FALSE(cli.err.contains(QStringLiteral("now at"))) << cli.err.toStdString();
}

// --------------------------------------------------- status bytes out of order

TEST(OutOfOrder, A4FBeforeThePiecesAcceptanceSendsNothingAndIsReported) {
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(config, On(peer.devicePath(), {QStringLiteral("--json"), QStringLiteral("speak"),
                                                  QString(250, u'a')}));
    ASSERT_EQ(peer.readAtLeast(206, kWaitMs).size(), 206);
    peer.write("\x4F");
    EXPECT_TRUE(peer.read(400).isEmpty()) << "a stray 0x4F sent the next piece";
    peer.write("\x41");
    PumpEvents(100);
    peer.write("\x41\x4F"); // a second acceptance is out of order too
    EXPECT_EQ(peer.readAtLeast(56, kWaitMs), ToQBytes(TextFrame(std::u16string(50, u'a'))));
    peer.write("\x41\x4F");
    // Piece 1 ended on a 0x4F that may have been as stray as these two.
    ASSERT_EQ(cli.finish(), 11) << cli.err.toStdString();
    EXPECT_EQ(JsonLines(cli.out).last().value(QStringLiteral("may_be_cut")).toArray(),
              QJsonArray({1}));

    QList<QPair<QString, QString>> unexpected;
    for (const QJsonObject& o : JsonLines(cli.out)) {
        if (o.contains(QStringLiteral("unexpected")))
            unexpected.append({o.value(QStringLiteral("unexpected")).toString(),
                               o.value(QStringLiteral("awaiting")).toString() +
                                   QString::number(o.value(QStringLiteral("frame")).toInt())});
    }
    EXPECT_EQ(unexpected,
              (QList<QPair<QString, QString>>{{QStringLiteral("4F"), QStringLiteral("acceptance1")},
                                              {QStringLiteral("41"), QStringLiteral("idle1")}}));
}

TEST(OutOfOrder, ConfirmIdleSendsTheNextPieceOnlyOnAnIdleAnswer) {
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(config,
                   On(peer.devicePath(), {QStringLiteral("speak"), QStringLiteral("--confirm-idle"),
                                          QString(250, u'a')}));
    ASSERT_EQ(peer.readAtLeast(206, kWaitMs).size(), 206);
    // Accepted, then a stray 0x4F while the chip still speaks.
    peer.write("\x41\x4F");
    ASSERT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x21)));
    peer.write("\x4E"); // still speaking: no piece, a query again later
    ASSERT_EQ(peer.readAtLeast(5, kWaitMs), ToQBytes(ControlFrame(0x21)));
    peer.write("\x4F");
    EXPECT_EQ(peer.readAtLeast(56, kWaitMs), ToQBytes(TextFrame(std::u16string(50, u'a'))));
    peer.write("\x41\x4F");
    ASSERT_EQ(cli.finish(), 0) << cli.err.toStdString();
}

TEST(OutOfOrder, ConfirmIdleGivesUpAfterTheTimeout) {
    CliConfig config;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CliProcess cli(config,
                   On(peer.devicePath(),
                      {QStringLiteral("--timeout"), QStringLiteral("1.5"), QStringLiteral("speak"),
                       QStringLiteral("--confirm-idle"), QString(250, u'a')}));
    ASSERT_EQ(peer.readAtLeast(206, kWaitMs).size(), 206);
    peer.write("\x41\x4F");
    // A chip that speaks on and on: every query gets 0x4E.
    QElapsedTimer t;
    t.start();
    int queries = 0;
    while (cli.process.state() == QProcess::Running && t.elapsed() < 10000) {
        if (peer.readAtLeast(5, 500) == ToQBytes(ControlFrame(0x21))) {
            ++queries;
            peer.write("\x4E");
        }
    }
    EXPECT_EQ(cli.finish(), 2) << cli.err.toStdString();
    EXPECT_GE(queries, 2);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("idle answer (0x4F) to a query")))
        << cli.err.toStdString();
}

} // namespace
