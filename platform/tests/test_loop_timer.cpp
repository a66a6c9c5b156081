// The command-line loop's timer: the loop may wake before the clock says the
// time has come (a system's wait rounds), and the session must not hear of
// it then.
#include "platform/line_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class FakeClock : public MonotonicClock {
  public:
    int64_t nowMs() const override { return now; }
    int64_t now = 1000;
};

TEST(LoopTimer, NeverWakesTheSessionEarly) {
    const struct {
        int startMs;
        std::vector<int64_t> wokeAt; // the clock at each wake-up of the loop
        std::vector<bool> due;
    } cases[] = {
        {50, {1050}, {true}},
        {50, {1049, 1050}, {false, true}},
        {50, {1000, 1040, 1060}, {false, false, true}},
        {0, {1000}, {true}},
        {50, {1050, 1100}, {true, false}}, // once only
    };
    for (const auto& c : cases) {
        FakeClock clock;
        DeadlineTimer timer(clock);
        timer.start(c.startMs);
        for (std::size_t i = 0; i < c.wokeAt.size(); ++i) {
            clock.now = c.wokeAt[i];
            EXPECT_EQ(timer.due(), c.due[i]) << c.startMs << " at " << c.wokeAt[i];
        }
    }
}

TEST(LoopTimer, AStoppedTimerIsNeverDueAndTheRealOneFires) {
    SteadyClock clock;
    DeadlineTimer timer(clock);
    timer.start(30);
    timer.stop();
    EXPECT_FALSE(timer.due());
    EXPECT_EQ(timer.left(), -1);
    timer.start(30);
    const int64_t start = clock.nowMs();
    EXPECT_GT(timer.left(), 0);
    while (!timer.due()) {
        ASSERT_LT(clock.nowMs() - start, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(timer.left()));
    }
    EXPECT_GE(clock.nowMs() - start, 30);
}

} // namespace
