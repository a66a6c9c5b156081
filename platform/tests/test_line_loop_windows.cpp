// The command-line programs' loop on Windows, on a scripted chip: bytes,
// the timer, a lost device, and Ctrl+C and Ctrl+Break during speak reach the
// session as they do on Linux (stop first, then 130 or 143).
#include "core/cli_options.h"
#include "core/cli_plan.h"
#include "core/commands.h"
#include "core/exit_status.h"
#include "core/frame_builders.h"
#include "core/traffic_report.h"
#include "platform/line_loop.h"
#include "platform/windows/termination_watch_test_hook.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

// A chip that answers each frame written as the case says, through the
// loop's event as the port's reader does.
class ScriptedLine : public LoopLine {
  public:
    std::function<void(ScriptedLine&, const std::string& frame)> onWrite;
    std::vector<std::string> written;
    // A line that keeps sending: this many more turns of noise, each
    // setting the event again.
    int floodTurns = 0;

    ScriptedLine() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~ScriptedLine() override { CloseHandle(event_); }
    bool write(std::string_view bytes, LineError*) override {
        written.emplace_back(bytes);
        if (onWrite)
            onWrite(*this, written.back());
        return true;
    }
    bool reopen(int, LineError*) override { return true; }
    void drain(int) override {}
    void close() override {}
    std::string device() const override { return "COM9"; }
    Waitable waitable() const override { return {-1, event_}; }
    std::string take(bool* lost, LineError* error) override {
        std::lock_guard lock(mutex_);
        if (floodTurns > 0 && --floodTurns > 0) {
            SetEvent(event_); // more waits, as the network line says
            pending_ += '\0';
        }
        *lost = lost_;
        if (lost_)
            *error = LineError{"gone"};
        lost_ = false;
        return std::exchange(pending_, {});
    }
    // From any thread.
    void answer(std::string bytes, bool lose = false) {
        {
            std::lock_guard lock(mutex_);
            pending_ += bytes;
            lost_ = lost_ || lose;
        }
        SetEvent(event_);
    }

    void flood(int turns) {
        {
            std::lock_guard lock(mutex_);
            floodTurns = turns;
        }
        SetEvent(event_);
    }

  private:
    HANDLE event_;
    std::mutex mutex_;
    std::string pending_;
    bool lost_ = false;
};

class Collect : public OutputSink {
  public:
    bool write(std::string_view bytes, std::string*) override {
        text += bytes;
        return true;
    }
    std::string text;
};

// Two pieces of text: the second goes only on the idle reply to the first.
std::vector<PlannedFrame> TwoPieces() {
    const CliParse p = ParseCliArguments({"speak", std::string(300, 'a')});
    return PlanFrames(*p.options, {}).frames;
}

enum class Chip { Answers, Silent, Lost, CtrlC, CtrlBreak, CtrlCTwice, Floods, FloodsCtrlC };

TEST(LoopSessionOnWindows, EachEventReachesTheSession) {
    const std::string stop = ControlFrame(FrameCommand::Stop);
    const struct {
        const char* name;
        Chip chip;
        int status;
        int framesWritten; // the stop frame included
        bool stopLast;
    } cases[] = {
        {"the chip answers every piece", Chip::Answers, ExitStatus::Ok, 2, false},
        {"a silent chip: the timer", Chip::Silent, ExitStatus::Timeout, 1, false},
        {"the device goes", Chip::Lost, ExitStatus::Port, 1, false},
        {"Ctrl+C stops the chip first", Chip::CtrlC, ExitStatus::Interrupted, 2, true},
        {"Ctrl+Break stops it too", Chip::CtrlBreak, ExitStatus::Terminated, 2, true},
        {"a second Ctrl+C ends at once", Chip::CtrlCTwice, ExitStatus::Interrupted, 2, true},
        {"a line that never stops: the timer", Chip::Floods, ExitStatus::Timeout, 1, false},
        {"a line that never stops: Ctrl+C", Chip::FloodsCtrlC, ExitStatus::Interrupted, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLine line;
        std::vector<std::thread> keys;
        const auto press = [&keys](DWORD event) {
            keys.emplace_back([event] {
                Sleep(50);
                termination::test::DeliverControlEvent(event);
            });
        };
        line.onWrite = [&](ScriptedLine& l, const std::string& frame) {
            const bool first = l.written.size() == 1;
            switch (c.chip) {
            case Chip::Answers:
                l.answer("\x41\x4F");
                break;
            case Chip::Silent:
                break;
            case Chip::Lost:
                l.answer("", true);
                break;
            case Chip::CtrlC:
            case Chip::CtrlBreak:
                if (frame == stop)
                    l.answer("\x41");
                else if (first)
                    l.answer("\x41"),
                        press(c.chip == Chip::CtrlC ? CTRL_C_EVENT : CTRL_BREAK_EVENT);
                break;
            case Chip::Floods:
            case Chip::FloodsCtrlC:
                if (first)
                    l.flood(1000000);
                if (frame == stop)
                    l.answer("\x41");
                else if (c.chip == Chip::FloodsCtrlC)
                    press(CTRL_C_EVENT);
                break;
            case Chip::CtrlCTwice:
                if (frame == stop)
                    press(CTRL_C_EVENT); // no acceptance: the second key ends the wait
                else if (first)
                    l.answer("\x41"), press(CTRL_C_EVENT);
                break;
            }
        };
        SteadyClock clock;
        Collect out;
        TrafficReport report(false, out, clock);
        std::string said;
        const int status = RunLoopSession(TwoPieces(), line, report, clock, 300,
                                          [&said](std::string_view m) { said += m; });
        for (std::thread& t : keys)
            t.join();
        EXPECT_EQ(status, c.status) << out.text;
        EXPECT_EQ(int(line.written.size()), c.framesWritten);
        if (!line.written.empty()) {
            EXPECT_EQ(line.written.back() == stop, c.stopLast);
        }
        if (c.chip == Chip::Floods || c.chip == Chip::FloodsCtrlC) {
            EXPECT_GT(line.floodTurns, 0); // ended while the line still sent
        }
        if (c.chip == Chip::CtrlCTwice) {
            // Not the second's wait for acceptance (timed on a fake clock by
            // the session's own test), as the program says.
            EXPECT_NE(said.find("ended again before the stop frame was accepted"),
                      std::string::npos)
                << said;
        }
    }
}

} // namespace
