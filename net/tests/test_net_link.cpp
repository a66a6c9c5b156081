// The link to a port server against a scripted server on the loopback: what
// it keeps of what nobody takes, what survives a server that hangs up
// mid-read, telnet commands cut anywhere between reads, writes larger than
// the socket takes at once, and bounded read turns. Builds for POSIX and for
// Windows (run under Wine).
#include "net/net_link.h"
#include "core/tests/row_name.h"
#include "net/tests/link_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

using Step = LinkServer::Step;

// Reads until done() or ms passed; false when the link failed (*error set).
bool ReadUntil(NetLink& link, const std::function<bool()>& done, LineError* error,
               int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end)
        if (!link.readOnce(20, error))
            return false;
    return true;
}

TEST(NetLink, WhatNobodyTakesIsBoundedAndCounted) {
    // Noise (no 0xFF) while the agreement never comes, or data nobody takes.
    const struct {
        const char* what;
        NetProtocol protocol;
        std::string greeting;
        bool opens;
    } cases[] = {
        {"before an agreement", NetProtocol::Rfc2217, "", false},
        {"raw data nobody takes", NetProtocol::Raw, "", true},
    };
    for (const auto& c : cases) {
        LinkServer server({{0, c.greeting}, {0, "noise\x01", false, 3000}});
        NetLink link(NetAddress{c.protocol, "127.0.0.1", server.port()}, 1000);
        LineError error;
        EXPECT_EQ(link.open(9600, &error), c.opens) << c.what << ": " << error.reason;
        for (int i = 0; c.opens && i < 200 && link.droppedBytes() == 0; ++i)
            link.readOnce(20, &error);
        EXPECT_LE(link.pending().size(), NetLink::kMaxPending) << c.what;
        EXPECT_GT(link.droppedBytes(), 0u) << c.what;
        link.close();
    }
}

// Every byte value, over and over: a byte kept out of place shows.
std::string Pattern(size_t size, bool withIac = true) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = char(withIac ? i % 256 : i % 255);
    return s;
}

// 0xFF doubled, as a telnet server sends data.
std::string Escaped(const std::string& data) {
    std::string s;
    for (const char c : data) {
        s += c;
        if (c == '\xFF')
            s += c;
    }
    return s;
}

// The bound counts data, not what came on the wire, keeps the first bytes,
// and frees its room once taken.
struct BoundCase {
    const char* name;
    NetProtocol protocol;
    std::string data; // sent at once after the agreement
    size_t dropped;
};

class NetLinkBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(NetLinkBound, KeepsTheFirstBytesAndCountsTheRest) {
    const BoundCase& c = GetParam();
    const bool telnet = c.protocol == NetProtocol::Rfc2217;
    LinkServer server({{0, telnet ? Agreement() : ""},
                       {200, telnet ? Escaped(c.data) : c.data},
                       {800, "tail"}});
    NetLink link(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
    LineError error;
    ASSERT_TRUE(link.open(9600, &error)) << error.reason;
    ASSERT_TRUE(ReadUntil(
        link, [&] { return link.pending().size() + link.droppedBytes() >= c.data.size(); },
        &error))
        << error.reason;
    EXPECT_EQ(link.droppedBytes(), c.dropped);
    EXPECT_TRUE(link.pending() == c.data.substr(0, NetLink::kMaxPending)) << link.pending().size();
    link.takePending();
    ASSERT_TRUE(ReadUntil(link, [&] { return link.pending().size() >= 4; }, &error))
        << error.reason;
    EXPECT_EQ(link.pending(), "tail");
    EXPECT_EQ(link.droppedBytes(), c.dropped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetLinkBound,
    ::testing::Values(
        BoundCase{"raw_under", NetProtocol::Raw, Pattern(1000), 0},
        BoundCase{"raw_exactly_full", NetProtocol::Raw, Pattern(NetLink::kMaxPending), 0},
        BoundCase{"raw_over", NetProtocol::Raw, Pattern(NetLink::kMaxPending + 1000), 1000},
        // Twice as many bytes on the wire as data.
        BoundCase{"telnet_doubled_FF_over", NetProtocol::Rfc2217,
                  std::string(NetLink::kMaxPending + 1000, '\xFF'), 1000},
        BoundCase{"telnet_mixed_over", NetProtocol::Rfc2217, Pattern(NetLink::kMaxPending + 7),
                  7}),
    vxt_test::RowName());

// The server goes in the middle of what it sends: what came before is kept,
// the failure says the server closed, and a half telnet command is no data.
struct HangUpCase {
    const char* name;
    NetProtocol protocol;
    std::vector<Step> steps;
    bool opens;
    const char* kept;
};

class NetLinkHangUp : public ::testing::TestWithParam<HangUpCase> {};

TEST_P(NetLinkHangUp, KeepsWhatCameAndSaysTheServerClosed) {
    const HangUpCase& c = GetParam();
    LinkServer server(c.steps);
    NetLink link(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
    LineError error;
    ASSERT_EQ(link.open(9600, &error), c.opens) << error.reason;
    if (c.opens) {
        EXPECT_FALSE(ReadUntil(link, [] { return false; }, &error)) << "no end seen";
        EXPECT_EQ(link.pending(), c.kept);
    }
    EXPECT_NE(error.reason.find("closed by the server"), std::string::npos) << error.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetLinkHangUp,
    ::testing::Values(
        HangUpCase{"raw_data_then_gone", NetProtocol::Raw, {{200, "abc"}, {0, "", true}}, true,
                   "abc"},
        HangUpCase{"raw_gone_after_a_pause", NetProtocol::Raw, {{200, "abc"}, {300, "", true}},
                   true, "abc"},
        HangUpCase{"telnet_gone_inside_a_subnegotiation",
                   NetProtocol::Rfc2217,
                   {{0, Agreement()}, {200, Bytes({'a', 'b', 255, 250, 44, 106})}, {0, "", true}},
                   true,
                   "ab"},
        HangUpCase{"telnet_gone_after_a_lone_IAC",
                   NetProtocol::Rfc2217,
                   {{0, Agreement()}, {200, "ab\xFF"}, {100, "", true}},
                   true,
                   "ab"},
        HangUpCase{"telnet_gone_inside_the_agreement",
                   NetProtocol::Rfc2217,
                   {{0, Agreement().substr(0, 14)}, {100, "", true}},
                   false,
                   ""}),
    vxt_test::RowName());

// Telnet commands cut anywhere between two reads: the data between them
// comes out whole, and the agreement and a rate's confirmation still count.
struct SplitCase {
    const char* name;
    std::vector<std::string> pieces; // after the agreement
    const char* data;
    int rate = 0; // asked for after the open, confirmed in the pieces
};

class NetLinkSplit : public ::testing::TestWithParam<SplitCase> {};

// The agreement a byte at a time.
std::vector<std::string> BytewiseAgreement() {
    std::vector<std::string> pieces;
    for (const char b : Agreement())
        pieces.push_back(std::string(1, b));
    return pieces;
}

TEST_P(NetLinkSplit, CommandsCutBetweenReads) {
    const SplitCase& c = GetParam();
    const bool whole = c.name != std::string("agreement_a_byte_a_read");
    std::vector<Step> steps{{0, whole ? Agreement() : ""}};
    // The first piece after the link is surely open (and has asked for the
    // rate), the rest 50 ms apart: each comes in a read of its own.
    for (const std::string& piece : c.pieces)
        steps.push_back({whole ? (steps.size() == 1 ? 300 : 50) : 5, piece});
    LinkServer server(steps);
    NetLink link(NetAddress{NetProtocol::Rfc2217, "127.0.0.1", server.port()}, 3000);
    LineError error;
    ASSERT_TRUE(link.open(9600, &error)) << error.reason;
    if (c.rate) {
        EXPECT_TRUE(link.setRate(c.rate, &error)) << error.reason;
    }
    const std::string want = c.data;
    ASSERT_TRUE(ReadUntil(link, [&] { return link.pending().size() >= want.size(); }, &error))
        << error.reason;
    EXPECT_EQ(link.pending(), want);
    EXPECT_EQ(link.failure(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetLinkSplit,
    ::testing::Values(
        SplitCase{"doubled_FF", {"\x41\xFF", "\xFF\x4F"}, "\x41\xFF\x4F"},
        SplitCase{"NOP_after_its_IAC", {"\x41\xFF", "\xF1\x4F"}, "\x41\x4F"},
        SplitCase{"option_verb_and_code", {"\x41\xFF\xFB", "\x01\x4F"}, "\x41\x4F"},
        SplitCase{"notification_in_three",
                  {Bytes({0x41, 255, 250, 44, 106}), Bytes({0, 255}), Bytes({240, 0x4F})},
                  "\x41\x4F"},
        SplitCase{"rate_confirmation_in_two",
                  {Bytes({255, 250, 44, 101, 0, 0}), Bytes({0x4B, 0x00, 255, 240}), "\x41"},
                  "\x41",
                  19200},
        SplitCase{"agreement_a_byte_a_read", BytewiseAgreement(), ""}),
    vxt_test::RowName());

// Writes larger than the socket takes at once go out whole and in order
// (0xFF doubled over telnet); a server that never reads fails the write at
// the link's timeout instead of holding it.
TEST(NetLink, LargeWritesGoOutWholeOrFailAtTheTimeout) {
    const struct {
        const char* what;
        NetProtocol protocol;
        std::string data;
        int readsAfterMs; // the server starts reading after this long
        bool written;
    } cases[] = {
        {"raw 4 MiB", NetProtocol::Raw, Pattern(4 << 20), 300, true},
        {"telnet 1 MiB of 0xFF", NetProtocol::Rfc2217, std::string(1 << 20, '\xFF'), 300, true},
        {"telnet 2 MiB mixed", NetProtocol::Rfc2217, Pattern(2 << 20), 300, true},
        {"raw 32 MiB, never read", NetProtocol::Raw, Pattern(32 << 20, false), 4000, false},
    };
    for (const auto& c : cases) {
        const bool telnet = c.protocol == NetProtocol::Rfc2217;
        LinkServer server({{0, telnet ? Agreement() : ""}, {c.readsAfterMs, ""}});
        NetLink link(NetAddress{c.protocol, "127.0.0.1", server.port()}, 1500);
        LineError error;
        ASSERT_TRUE(link.open(9600, &error)) << c.what << ": " << error.reason;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(link.write(c.data, &error), c.written) << c.what << ": " << error.reason;
        const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count();
        link.close();
        if (!c.written) {
            EXPECT_NE(error.reason.find("timed out"), std::string::npos) << error.reason;
            EXPECT_LT(tookMs, 3000) << c.what;
            continue;
        }
        const std::string sent = telnet ? Escaped(c.data) : c.data;
        const std::string& got = server.received();
        ASSERT_GE(got.size(), sent.size()) << c.what;
        EXPECT_TRUE(got.compare(got.size() - sent.size(), sent.size(), sent) == 0) << c.what;
    }
}

// A server that keeps sending is read in turns of at most kTurnBytes; a
// front end that takes what each turn brought loses nothing.
TEST(NetLink, TurnsAreBoundedAndLoseNothingWhenTaken) {
    const struct {
        const char* what;
        NetProtocol protocol;
        std::string flood;
    } cases[] = {
        {"raw", NetProtocol::Raw, std::string(1000, '\x01')},
        {"telnet", NetProtocol::Rfc2217, "\x01\x02"},
    };
    for (const auto& c : cases) {
        const bool telnet = c.protocol == NetProtocol::Rfc2217;
        LinkServer server({{0, telnet ? Agreement() : ""}, {100, c.flood, false, 3000}});
        NetLink link(NetAddress{c.protocol, "127.0.0.1", server.port()}, 2000);
        LineError error;
        ASSERT_TRUE(link.open(9600, &error)) << c.what << ": " << error.reason;
        size_t taken = 0, largest = 0;
        int full = 0;
        for (int turn = 0; turn < 2000 && full < 20; ++turn) {
            bool more = false;
            size_t got = 0;
            ASSERT_TRUE(link.readTurn(&error, &more, &got)) << c.what << ": " << error.reason;
            largest = std::max(largest, got);
            full += more ? 1 : 0;
            taken += link.takePending().size();
            if (got == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        link.close();
        EXPECT_GT(taken, 0u) << c.what;
        EXPECT_LE(largest, NetLink::kTurnBytes) << c.what;
        EXPECT_EQ(link.droppedBytes(), 0u) << c.what;
    }
}

} // namespace
