// The command-line programs' loop on POSIX, on a fake line: bytes on the line's descriptor,
// bytes the line holds without its descriptor saying so, a lost line, a
// server given up, silence and a termination signal each end the run as
// they must, and none leaves the loop spinning or waiting forever.
#include "core/cli_plan.h"
#include "core/exit_status.h"
#include "core/tests/row_name.h"
#include "platform/line_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// What the fake chip does when a frame is written.
enum class Answer {
    OnDescriptor,  // its reply comes through the pipe the loop polls
    Held,          // the line holds the reply; the descriptor stays quiet
    LineLost,      // the device goes away
    ServerGivesUp, // the line's own deadline passes
    Silence,       // nothing comes
    Signal,        // the user presses Ctrl+C (SIGINT)
};

class FakeLine : public LoopLine {
  public:
    explicit FakeLine(Answer answer) : answer_(answer) {
        // Non-blocking: a take with nothing on the pipe returns at once.
        if (::pipe2(fds_, O_NONBLOCK) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~FakeLine() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    bool write(std::string_view, LineError*) override {
        switch (answer_) {
        case Answer::OnDescriptor:
            return ::write(fds_[1], "\x4F", 1) == 1;
        case Answer::Held:
            held_ = "\x4F";
            break;
        case Answer::LineLost:
            lost_ = true;
            return ::write(fds_[1], "", 1) == 1;
        case Answer::ServerGivesUp:
            expire_ = true;
            break;
        case Answer::Signal:
            ::raise(SIGINT);
            break;
        case Answer::Silence:
            break;
        }
        return true;
    }
    bool reopen(int, LineError*) override { return true; }
    void drain(int) override {}
    void close() override {}
    std::string device() const override { return "/dev/chip"; }

    Waitable waitable() const override { return {fds_[0], nullptr}; }
    std::string take(bool* lost, LineError* error) override {
        char buf[16];
        const ssize_t n = ::read(fds_[0], buf, sizeof buf);
        if (lost_) {
            *lost = true;
            error->reason = "the device is gone";
            return {};
        }
        return std::exchange(held_, {}) + std::string(buf, n > 0 ? size_t(n) : 0);
    }
    bool holding() const override { return !held_.empty(); }
    int wakeWithinMs() const override { return expire_ ? 10 : -1; }
    bool expired(LineError* error) override {
        if (!std::exchange(expire_, false))
            return false;
        error->reason = "the server never answered";
        return true;
    }

  private:
    Answer answer_;
    int fds_[2] = {-1, -1};
    std::string held_;
    bool lost_ = false;
    bool expire_ = false;
};

struct Sink : OutputSink {
    std::string text;
    bool write(std::string_view bytes, std::string*) override {
        text += bytes;
        return true;
    }
};

struct Row {
    const char* name;
    Answer answer;
    int status;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class LoopSession : public ::testing::TestWithParam<Row> {};

TEST_P(LoopSession, EndsWithItsStatus) {
    const Row& row = GetParam();
    CliOptions options;
    options.command = CliCommand::Query;
    const FramePlan plan = PlanFrames(options, {});
    ASSERT_EQ(plan.status, ExitStatus::Ok);
    FakeLine line(row.answer);
    Sink out;
    const SteadyClock clock;
    TrafficReport report(false, out, clock);
    std::string complaints;
    const auto start = std::chrono::steady_clock::now();
    const int status = RunLoopSession(plan.frames, line, report, clock, 300,
                                      [&](std::string_view m) { complaints += m; });
    EXPECT_EQ(status, row.status) << complaints;
    // Silence waits its timeout; nothing else waits for it.
    const auto took = std::chrono::steady_clock::now() - start;
    if (row.answer == Answer::Silence)
        EXPECT_GE(took, std::chrono::milliseconds(300));
    else
        EXPECT_LT(took, std::chrono::milliseconds(300));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LoopSession,
    ::testing::Values(Row{"ReplyOnTheDescriptor", Answer::OnDescriptor, ExitStatus::Ok},
                      Row{"ReplyHeldByTheLine", Answer::Held, ExitStatus::Ok},
                      Row{"LineLost", Answer::LineLost, ExitStatus::Port},
                      Row{"ServerGivesUp", Answer::ServerGivesUp, ExitStatus::Port},
                      Row{"Silence", Answer::Silence, ExitStatus::Timeout},
                      Row{"Interrupted", Answer::Signal, ExitStatus::Interrupted}),
    vxt_test::RowName());

} // namespace
