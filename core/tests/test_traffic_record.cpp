// The traffic record on its own: its byte store, what answers what, and what
// its listeners are told (the times and texts of its table are tested with the
// analysis window in tests/test_traffic.cpp).
#include "core/traffic_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

std::string Hex(const char* spaced) {
    std::string out;
    for (const char* p = spaced; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
        p += 2;
    }
    return out;
}

struct ClockedRecord {
    int64_t now = 1'700'000'000'000;
    TrafficRecord record{[this] { return now; }};
};

TEST(TrafficRecord, ClearStartsAfreshAndBytesSurviveManyBlocks) {
    ClockedRecord c;
    TrafficRecord& r = c.record;
    std::string big(300'000, '\x11'); // larger than a block of the store
    for (int i = 0; i < 3000; ++i)
        r.RecordSent(Hex("FD 00 02 02 FD"));
    r.RecordSent(big);
    r.RecordSent(Hex("FD 00 02 03 FC"));
    EXPECT_EQ(std::string(r.Bytes(0)), Hex("FD 00 02 02 FD"));
    EXPECT_EQ(std::string(r.Bytes(3000)), big);
    EXPECT_EQ(std::string(r.Bytes(3001)), Hex("FD 00 02 03 FC"));
    r.Clear();
    EXPECT_EQ(r.Count(), 0);
    r.RecordReply(0x41, false); // the cleared frames are not answered any more
    EXPECT_EQ(r.Answers(0), -1);
}

// What a listener hears, one word per call: "A3" appended row 3, "C1"
// changed row 1, "X" cleared.
struct Journal : TrafficRecord::Listener {
    std::vector<std::string> heard;
    void Appended(int row) override { heard.push_back("A" + std::to_string(row)); }
    void Changed(int row) override { heard.push_back("C" + std::to_string(row)); }
    void Cleared() override { heard.push_back("X"); }
};

TEST(TrafficRecord, ListenersHearEachChangeOnceAndOnlyWhileListening) {
    ClockedRecord c;
    TrafficRecord& r = c.record;
    Journal first, second;
    r.AddListener(&first);
    r.AddListener(&second);
    r.RecordReply(0x4A, false);          // answers nothing: appended only
    r.RecordSent(Hex("FD 00 02 21 DE")); // row 1
    r.RecordReply(0x41, false);          // its first 0x41: row 1 changes
    r.RecordReply(0x41, false);          // a second one changes nothing
    r.RecordReply(0x4E, false);          // busy: no time of its own
    r.RecordReply(0x4F, false);          // its first 0x4F
    r.RecordReply(0x4F, false);
    r.RemoveListener(&second);
    r.Clear();
    r.RecordSent(Hex("FD 00 02 02 FD"));

    const std::vector<std::string> all = {"A0", "A1", "A2", "C1", "A3", "A4",
                                          "A5", "C1", "A6", "X",  "A0"};
    EXPECT_EQ(first.heard, all);
    const std::vector<std::string> untilRemoved(all.begin(), all.begin() + 9);
    EXPECT_EQ(second.heard, untilRemoved);
}

TEST(TrafficRecord, TimesComeFromTheClockGivenOrTheSystemClock) {
    ClockedRecord c;
    c.record.RecordSent(Hex("FD 00 02 02 FD"));
    c.now += 25;
    c.record.RecordReply(0x41, false);
    EXPECT_EQ(c.record.At(0).timeMs, 1'700'000'000'000);
    EXPECT_EQ(c.record.At(1).timeMs, 1'700'000'000'025);

    using namespace std::chrono;
    const auto nowMs = [] {
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    };
    TrafficRecord system;
    const int64_t before = nowMs();
    system.RecordSent(Hex("FD 00 02 02 FD"));
    const int64_t after = nowMs();
    EXPECT_GE(system.At(0).timeMs, before);
    EXPECT_LE(system.At(0).timeMs, after);
}

} // namespace
