// The traffic record on its own: its byte store, what answers what, and what
// its listeners are told (the times and texts of its table are tested with the
// analysis window in qt/tests/test_traffic.cpp).
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
    void DroppedFront(int count) override { heard.push_back("D" + std::to_string(count)); }
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

// A line that babbles for days: the record keeps the newest records, says
// how many went, and the links between the kept ones still hold.
TEST(TrafficRecord, KeepsTheNewestRecordsAndCountsTheOnesLetGo) {
    constexpr int kMax = TrafficRecord::kMaxRecords;
    constexpr int kBatch = TrafficRecord::kDropBatch;
    ClockedRecord c;
    TrafficRecord& r = c.record;
    Journal journal;
    r.AddListener(&journal);
    r.RecordSent(Hex("FD 00 02 21 DE")); // record 0: let go first
    for (int i = 1; i < kMax; ++i)
        r.RecordReply(0x4E, false); // each answers record 0
    EXPECT_EQ(r.Count(), kMax);
    EXPECT_EQ(r.Dropped(), 0);
    r.RecordSent(std::string(300'000, '\x22')); // a block of its own
    r.RecordReply(0x41, false);
    const struct {
        const char* what;
        int64_t number; // since Clear
        const char* bytes;
        int answers; // the number of the frame it answers; -1: none kept
    } rows[] = {
        {"the oldest kept", kBatch, "\x4E", -1},
        {"the last babble", kMax - 1, "\x4E", -1},
        {"the reply to the big frame", kMax + 1, "\x41", kMax},
    };
    EXPECT_EQ(r.Dropped(), kBatch);
    EXPECT_EQ(r.Count(), kMax + 2 - kBatch);
    for (const auto& row : rows) {
        const int at = static_cast<int>(row.number - r.Dropped());
        EXPECT_EQ(std::string(r.Bytes(at)), row.bytes) << row.what;
        EXPECT_EQ(r.Answers(at), row.answers < 0 ? -1 : row.answers - kBatch) << row.what;
    }
    const int big = kMax - kBatch;
    EXPECT_EQ(std::string(r.Bytes(big)), std::string(300'000, '\x22'));
    EXPECT_EQ(r.AcceptedBy(big), big + 1);
    // Told once, between the last row before and the first after.
    const std::vector<std::string> around = {
        "A" + std::to_string(kMax - 1), "D" + std::to_string(kBatch), "A" + std::to_string(big),
        "A" + std::to_string(big + 1), "C" + std::to_string(big)};
    ASSERT_GE(journal.heard.size(), around.size());
    EXPECT_EQ(std::vector<std::string>(journal.heard.end() - 5, journal.heard.end()), around);
    r.Clear();
    EXPECT_EQ(r.Dropped(), 0);
    r.RemoveListener(&journal);
}

} // namespace
