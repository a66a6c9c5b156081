// The command-line program's session on a fake line, timer and clock: which
// frames go out in which order, and how each run ends.
#include "core/cli_session.h"
#include "core/commands.h"
#include "core/exit_status.h"
#include "core/frame_builders.h"
#include "core/tests/bytes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct FakeLine : SessionLine {
    std::vector<std::string> written;
    std::vector<int> reopened;
    bool failWrites = false;
    bool failReopen = false;
    std::vector<int> drains;
    bool closed = false;

    bool write(std::string_view bytes, LineError* error) override {
        if (failWrites) {
            error->reason = "Input/output error";
            return false;
        }
        written.emplace_back(bytes);
        return true;
    }
    bool reopen(int rate, LineError* error) override {
        reopened.push_back(rate);
        if (failReopen)
            error->reason = "Device or resource busy";
        return !failReopen;
    }
    void drain(int timeoutMs) override { drains.push_back(timeoutMs); }
    void close() override { closed = true; }
    std::string device() const override { return "/dev/chip"; }
};

struct FakeTimer : SessionTimer {
    int pending = -1; // ms, or -1 when none
    std::vector<int> starts;
    void start(int ms) override {
        pending = ms;
        starts.push_back(ms);
    }
    void stop() override { pending = -1; }
};

struct FakeClock : MonotonicClock {
    int64_t now = 0;
    int64_t nowMs() const override { return now; }
};

struct StringOutput : OutputSink {
    std::string text;
    bool fail = false;
    bool write(std::string_view bytes, std::string* failure) override {
        if (fail) {
            *failure = "Broken pipe";
            return false;
        }
        text += bytes;
        return true;
    }
};

// What happens to a running session, in order.
enum class Op { In, Timer, Signal, LineFails, OutputFails };
struct Step {
    Op op;
    std::string bytes; // In
    int signo = 0;     // Signal
};
Step In(const char* hex) {
    return {Op::In, Hex(hex)};
}
const Step kTimer{Op::Timer, {}, 0};
Step Signal(int signo) {
    return {Op::Signal, {}, signo};
}
const Step kLineFails{Op::LineFails, {}, 0};
const Step kOutputFails{Op::OutputFails, {}, 0};

// A session with its fakes; frames out are named for the checks.
struct Harness {
    FakeLine line;
    FakeTimer timer;
    FakeClock clock;
    StringOutput out;
    TrafficReport report;
    std::string complaints;
    int finishedCalls = 0;
    int finishedStatus = -1;
    CliSession session;

    Harness(FramePlan plan, int timeoutMs, bool json = false)
        : report(json, out, clock), session(std::move(plan.frames),
                                            {line, timer, clock, report,
                                             [this](std::string_view m) {
                                                 complaints += m;
                                                 complaints += '\n';
                                             }},
                                            timeoutMs, [this](int status) {
                                                ++finishedCalls;
                                                finishedStatus = status;
                                            }) {}

    void play(const std::vector<Step>& steps) {
        session.start();
        for (const Step& s : steps) {
            switch (s.op) {
            case Op::In:
                clock.now += 1;
                session.onBytes(s.bytes);
                break;
            case Op::Timer:
                ASSERT_GE(timer.pending, 0) << "no wake-up was asked for";
                clock.now += timer.pending;
                timer.pending = -1;
                session.onTimer();
                break;
            case Op::Signal:
                session.interrupt(s.signo);
                break;
            case Op::LineFails:
                session.onLineFailed(LineError{"No such device", false});
                break;
            case Op::OutputFails:
                out.fail = true;
                break;
            }
        }
    }

    // The frames written, by name.
    std::vector<std::string> names() const {
        const std::map<std::string, std::string> known{
            {ControlFrame(FrameCommand::Query), "query"},
            {ControlFrame(FrameCommand::Stop), "stop"},
            {SetRateFrame(1), "rate"},
        };
        std::vector<std::string> n;
        for (const std::string& f : line.written) {
            const auto k = known.find(f);
            n.push_back(k != known.end() ? k->second
                        : f.size() > 5 && uint8_t(f[3]) == FrameCommand::Synthesize
                            ? "piece" + std::to_string(f.size() - 6)
                            : SpacedHex(f));
        }
        return n;
    }
};

// Two pieces: 200 and 100 text bytes.
FramePlan TwoPieces(bool confirmIdle = false) {
    return PlanSpeak(std::u16string(300, u'a'), 0, false, confirmIdle);
}

struct SessionCase {
    const char* name;
    FramePlan (*plan)();
    int timeoutMs;
    std::vector<Step> steps;
    std::vector<std::string> frames; // written, by name
    int status;                      // -1: still running
    const char* complaint;           // what standard error gets, in part
    std::vector<int> timerStarts;    // empty: not checked
};

void PrintTo(const SessionCase& c, std::ostream* os) {
    *os << c.name;
}

class Session : public ::testing::TestWithParam<SessionCase> {};

TEST_P(Session, SendsInOrderAndEndsWithItsStatus) {
    const SessionCase& c = GetParam();
    Harness run(c.plan(), c.timeoutMs);
    run.play(c.steps);
    EXPECT_EQ(run.names(), c.frames);
    if (c.status < 0) {
        EXPECT_FALSE(run.session.done());
        EXPECT_EQ(run.finishedCalls, 0);
    } else {
        EXPECT_TRUE(run.session.done());
        EXPECT_EQ(run.finishedCalls, 1);
        EXPECT_EQ(run.finishedStatus, c.status);
        EXPECT_EQ(run.session.status(), c.status);
        EXPECT_TRUE(run.line.closed);
        EXPECT_EQ(run.timer.pending, -1) << "a wake-up is left after the end";
    }
    EXPECT_NE(run.complaints.find(c.complaint), std::string::npos) << run.complaints;
    if (!c.timerStarts.empty()) {
        EXPECT_EQ(run.timer.starts, c.timerStarts);
    }
}

FramePlan Query() {
    return PlanControl(FrameCommand::Query);
}
FramePlan Rate() {
    return PlanRate(19200);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Session,
    ::testing::Values(
        SessionCase{"AcceptedThenIdleSendsTheNextPiece",
                    [] { return TwoPieces(); },
                    1000,
                    {In("41 4F"), In("41"), In("4F")},
                    {"piece200", "piece100"},
                    ExitStatus::Ok,
                    "",
                    {}},
        SessionCase{"RejectedPieceEndsWith1",
                    [] { return TwoPieces(); },
                    1000,
                    {In("45")},
                    {"piece200"},
                    ExitStatus::Rejected,
                    "the chip answered 0x45 to piece 1 of 2 (200 text bytes)\n",
                    {}},
        SessionCase{"NoAcceptanceEndsWith2",
                    [] { return TwoPieces(); },
                    250,
                    {kTimer},
                    {"piece200"},
                    ExitStatus::Timeout,
                    "piece 1 of 2 (200 text bytes) waited 0.25 s for the chip's acceptance "
                    "(0x41), which did not come",
                    {}},
        SessionCase{"IdleBeforeAcceptanceDoesNotEndThePiece",
                    [] { return TwoPieces(); },
                    60000,
                    {In("4F 41"), kTimer},
                    {"piece200"},
                    ExitStatus::Timeout,
                    "waited 60 s for the chip's idle reply (0x4F)",
                    {}},
        SessionCase{"NoiseIsNoAnswer",
                    [] { return TwoPieces(); },
                    1000,
                    {In("00 41 FF 4F 4A")},
                    {"piece200", "piece100"},
                    -1,
                    "",
                    {}},
        SessionCase{"SignalAfterAPieceSendsStop",
                    [] { return TwoPieces(); },
                    1000,
                    {In("41"), Signal(2), In("41")},
                    {"piece200", "stop"},
                    130,
                    "interrupted (SIGINT); the chip was told to stop",
                    {1000, 1000, 1000}},
        SessionCase{"StopNotAcceptedEndsAfterASecond",
                    [] { return TwoPieces(); },
                    5000,
                    {Signal(1), kTimer},
                    {"piece200", "stop"},
                    129,
                    "hung up (SIGHUP); the stop frame was not accepted within a second",
                    {5000, 1000}},
        SessionCase{"SecondSignalEndsAtOnce",
                    [] { return TwoPieces(); },
                    1000,
                    {Signal(15), Signal(15)},
                    {"piece200", "stop"},
                    143,
                    "terminated (SIGTERM); ended again before the stop frame was accepted",
                    {}},
        SessionCase{"SignalWithoutTextSendsNoStop",
                    Query,
                    1000,
                    {Signal(2)},
                    {"query"},
                    130,
                    "interrupted (SIGINT)\n",
                    {}},
        SessionCase{"ConfirmIdleAsksAgainWhileBusy",
                    [] { return TwoPieces(true); },
                    10000,
                    {In("41 4F"), In("4E"), kTimer, In("4F"), In("41 4F")},
                    {"piece200", "query", "query", "piece100"},
                    ExitStatus::Ok,
                    "",
                    {10000, 10000, 10000, 500, 9499, 10000, 10000}},
        SessionCase{"ConfirmIdleIsBoundedByTheTimeout",
                    [] { return TwoPieces(true); },
                    800,
                    {In("41 4F"), In("4E"), kTimer, In("4E"), kTimer},
                    {"piece200", "query", "query"},
                    ExitStatus::Timeout,
                    "piece 2 of 2 (100 text bytes) waited 0.8 s for the chip's idle answer "
                    "(0x4F) to a query",
                    {800, 800, 800, 500, 299, 298}},
        SessionCase{"QuerySpeakingEndsWith10",
                    Query,
                    1000,
                    {In("4E")},
                    {"query"},
                    ExitStatus::Speaking,
                    "",
                    {}},
        SessionCase{"QueryRejectedEndsWith1",
                    Query,
                    1000,
                    {In("45")},
                    {"query"},
                    ExitStatus::Rejected,
                    "the chip answered 0x45 to the query frame",
                    {}},
        SessionCase{"RateChangeReopensTheLine",
                    Rate,
                    1000,
                    {In("41")},
                    {"rate"},
                    ExitStatus::Ok,
                    "/dev/chip now at 19200 bit/s\n",
                    {}},
        SessionCase{"LineGoneEndsWith3",
                    [] { return TwoPieces(); },
                    1000,
                    {In("41"), kLineFails},
                    {"piece200"},
                    ExitStatus::Port,
                    "/dev/chip: No such device",
                    {}},
        SessionCase{"LostOutputStopsTheChipAndEndsWith74",
                    [] { return TwoPieces(); },
                    1000,
                    {In("41"), kOutputFails, In("4F"), In("41")},
                    {"piece200", "stop"},
                    ExitStatus::Output,
                    "standard output could not be written: Broken pipe; the chip was told "
                    "to stop",
                    {}},
        SessionCase{"AnUnawaitedStatusByteEndsWith11",
                    [] { return TwoPieces(); },
                    1000,
                    {In("41 4F"), In("4F 41"), In("4F")},
                    {"piece200", "piece100"},
                    ExitStatus::MaybeCut,
                    "may have let the next piece cut short piece 1 (--confirm-idle avoids this)",
                    {}},
        SessionCase{"AnUnawaitedStatusByteAfterTheOnlyPieceEndsWith0",
                    [] { return PlanSpeak(std::u16string(10, u'a'), 0, false, false); },
                    1000,
                    {In("4F 41"), In("41 4F")},
                    {"piece10"},
                    ExitStatus::Ok,
                    "",
                    {}},
        SessionCase{"ConfirmIdleKeepsStrayStatusBytesFromEndingWith11",
                    [] { return TwoPieces(true); },
                    1000,
                    {In("41 4F"), In("41"), In("4F"), In("41 45 4F")},
                    {"piece200", "query", "piece100"},
                    ExitStatus::Ok,
                    "",
                    {}},
        SessionCase{"NoWaitEndsOnceWritten",
                    [] { return PlanSpeak(std::u16string(300, u'a'), 0, true, false); },
                    1000,
                    {},
                    {"piece200"},
                    ExitStatus::Ok,
                    "",
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Session, FailedWriteEndsWith3AndAFailedReopenToo) {
    Harness write(TwoPieces(), 1000);
    write.line.failWrites = true;
    write.play({});
    EXPECT_EQ(write.finishedStatus, ExitStatus::Port);
    EXPECT_NE(write.complaints.find("/dev/chip: Input/output error"), std::string::npos);

    Harness reopen(Rate(), 1000, true);
    reopen.line.failReopen = true;
    reopen.play({In("41")});
    EXPECT_EQ(reopen.line.reopened, std::vector<int>{19200});
    EXPECT_EQ(reopen.finishedStatus, ExitStatus::Port);
    // The log says the plain acceptance: the rate did not change.
    EXPECT_NE(reopen.out.text.find("\"log\": \"<-0x41  接收成功\"}"), std::string::npos)
        << reopen.out.text;
}

// The JSON lines byte for byte: the time of each, null for a byte that is no
// status, the unexpected status byte, and the final object.
TEST(Session, JsonLines) {
    Harness run(Query(), 1000, true);
    run.clock.now = 40;
    run.play({In("00"), In("41"), In("4E")});
    const std::string expected =
        "{\"t_ms\": 40, \"dir\": \"out\", \"hex\": \"FD 00 02 21 DE\", \"log\": "
        "\"发出一帧，字节数  5\\n---->0xFD 0x00 0x02 0x21 0xDE \"}\n"
        "{\"t_ms\": 41, \"dir\": \"in\", \"hex\": \"00\", \"log\": null}\n"
        "{\"t_ms\": 42, \"dir\": \"in\", \"hex\": \"41\", \"log\": \"<-0x41  接收成功\"}\n"
        "{\"t_ms\": 42, \"unexpected\": \"41\", \"awaiting\": \"status\", \"frame\": 1}\n"
        "{\"t_ms\": 43, \"dir\": \"in\", \"hex\": \"4E\", \"log\": \"<-0x4E  芯片正在播音\"}\n"
        "{\"result\": \"ok\", \"status\": 10, \"chip\": \"speaking\"}\n";
    EXPECT_EQ(run.out.text, expected);
}

// The final object names the pieces a stray 0x4F may have cut.
TEST(Session, JsonNamesThePiecesThatMayBeCut) {
    Harness run(PlanSpeak(std::u16string(500, u'a'), 0, false, false), 1000, true);
    run.play({In("41 4F"), In("4E 41 4F"), In("41 4F")});
    const std::string last = run.out.text.substr(run.out.text.rfind("{\"result"));
    EXPECT_EQ(last.substr(0, last.find(", \"message")),
              "{\"result\": \"maybe_cut\", \"status\": 11, \"frames\": 3, \"may_be_cut\": [1, 2]");
}

// Without --json: the window's log text with LF line ends.
TEST(Session, LogTextHasLfLineEnds) {
    Harness run(Query(), 1000);
    run.play({In("4F")});
    EXPECT_EQ(run.out.text,
              "发出一帧，字节数  5\n---->0xFD 0x00 0x02 0x21 0xDE \n<-0x4F  芯片空闲\n");
}

} // namespace
