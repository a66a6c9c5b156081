// The telnet client with the COM-PORT option: data both ways, negotiation
// answers, the COM-PORT requests and their confirmation, the deadlines.
#include "core/frame_builders.h"
#include "core/frame_codec.h"
#include "core/telnet_client.h"
#include "core/tests/bytes.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

namespace {

// The data a client returns for bytes fed in pieces of the given sizes
// (cycled); the answers go to *out.
std::string Feed(TelnetClient& client, const std::string& bytes, std::initializer_list<size_t> cuts,
                 std::string* out, int64_t now = 0) {
    std::string data;
    size_t pos = 0;
    auto cut = cuts.begin();
    while (pos < bytes.size()) {
        const size_t n = std::min(*cut, bytes.size() - pos);
        client.receive(std::string_view(bytes).substr(pos, n), now, &data, out);
        pos += n;
        if (++cut == cuts.end())
            cut = cuts.begin();
    }
    return data;
}

// A text frame whose checksum is 0xFF: its last byte needs undoubling.
std::string FrameEndingInFF() {
    for (char16_t c = u'一'; c < u'龥'; ++c) {
        const std::string frame = TextFrame(std::u16string(1, c));
        if (static_cast<uint8_t>(frame.back()) == 0xFF)
            return frame;
    }
    return {};
}

struct DataCase {
    const char* data;
    const char* onTheWire;
};

void PrintTo(const DataCase& c, std::ostream* os) {
    *os << c.data;
}

class TelnetData : public ::testing::TestWithParam<DataCase> {};

TEST_P(TelnetData, DoubledOutUndoubledInWhateverTheCuts) {
    const std::string data = Hex(GetParam().data);
    const std::string wire = Hex(GetParam().onTheWire);
    std::string out;
    TelnetClient::encodeData(data, &out);
    EXPECT_EQ(SpacedHex(out), SpacedHex(wire));
    for (const auto& cuts : {std::initializer_list<size_t>{1}, {2}, {3, 1}, {1000}}) {
        TelnetClient client;
        std::string answers;
        EXPECT_EQ(SpacedHex(Feed(client, wire, cuts, &answers)), SpacedHex(data));
        EXPECT_EQ(answers, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetData,
                         ::testing::Values(DataCase{"", ""}, DataCase{"41 00 0D 0A", "41 00 0D 0A"},
                                           DataCase{"FF", "FF FF"},
                                           DataCase{"FF FF", "FF FF FF FF"},
                                           DataCase{"FD 00 FF 01", "FD 00 FF FF 01"}),
                         [](const auto& info) {
                             return vxt_test::CaseName(std::string("Data ") + info.param.data, info.index);
                         });

TEST(TelnetData, AFrameWithChecksumFFArrivesWholeAcrossEverySplit) {
    const std::string frame = FrameEndingInFF();
    ASSERT_FALSE(frame.empty());
    std::string wire;
    TelnetClient::encodeData(frame, &wire);
    ASSERT_EQ(wire.size(), frame.size() + 1);
    for (size_t a = 0; a <= wire.size(); ++a) {
        for (size_t b = a; b <= wire.size(); ++b) {
            TelnetClient client;
            std::string data, out;
            client.receive(wire.substr(0, a), 0, &data, &out);
            client.receive(wire.substr(a, b - a), 0, &data, &out);
            client.receive(wire.substr(b), 0, &data, &out);
            EXPECT_EQ(SpacedHex(data), SpacedHex(frame)) << a << " " << b;
        }
    }
}

struct NegotiationCase {
    const char* what;
    bool started;       // the client sent its offers first
    const char* server; // what the server sends
    const char* answer; // what the client must answer
};

void PrintTo(const NegotiationCase& c, std::ostream* os) {
    *os << c.what;
}

class TelnetNegotiation : public ::testing::TestWithParam<NegotiationCase> {};

TEST_P(TelnetNegotiation, AnswersOnce) {
    const NegotiationCase& c = GetParam();
    TelnetClient client;
    std::string out;
    if (c.started) {
        client.start(0, &out);
        EXPECT_EQ(SpacedHex(out), "FF FB 00 FF FB 2C FF FD 00");
        out.clear();
    }
    EXPECT_EQ(Feed(client, Hex(c.server), {1}, &out), "");
    EXPECT_EQ(SpacedHex(out), SpacedHex(Hex(c.answer))) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TelnetNegotiation,
    ::testing::Values(
        NegotiationCase{"our offers accepted", true, "FF FD 00 FF FB 00 FF FD 2C", ""},
        NegotiationCase{"binary asked for", false, "FF FD 00 FF FB 00", "FF FB 00 FF FD 00"},
        NegotiationCase{"COM-PORT asked for", false, "FF FD 2C", "FF FB 2C"},
        NegotiationCase{"suppress-go-ahead both ways", true, "FF FB 03 FF FD 03",
                        "FF FD 03 FF FB 03"},
        NegotiationCase{"echo refused", true, "FF FB 01", "FF FE 01"},
        NegotiationCase{"terminal type refused", true, "FF FD 18", "FF FC 18"},
        NegotiationCase{"the server as COM-PORT client refused", true, "FF FB 2C", "FF FE 2C"},
        NegotiationCase{"an offer repeated is answered once", true, "FF FB 03 FF FB 03 FF FB 03",
                        "FF FD 03"},
        NegotiationCase{"a refusal of our offer needs no answer", true, "FF FE 2C FF FC 00", ""},
        NegotiationCase{"acceptance then withdrawal", true, "FF FD 00 FF FE 00", "FF FC 00"},
        NegotiationCase{"withdrawal of what is off", false, "FF FC 05 FF FE 05", ""},
        NegotiationCase{"other commands are consumed", true, "FF F1 FF F9 FF F6 FF F0", ""}),
    vxt_test::RowName());

TEST(TelnetNegotiation, AServerThatKeepsAskingStopsBeingAnsweredAndFails) {
    TelnetClient client;
    std::string out;
    std::string flood;
    for (int i = 0; i < 1000; ++i)
        flood += Hex("FF FB 01 FF FC 01");
    Feed(client, flood, {7}, &out);
    EXPECT_EQ(out.size(), 3u * TelnetClient::kMaxAnswersPerOption);
    EXPECT_EQ(client.failure(0), "the server keeps negotiating telnet options");
}

struct RequestCase {
    ComPortCommand command;
    uint32_t value;
    const char* request;
    const char* serverAnswer;
    uint32_t confirmed;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << static_cast<int>(c.command) << " " << c.value;
}

class ComPortRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(ComPortRequests, SentOnceAgreedAndConfirmedByTheAnswer) {
    const RequestCase& c = GetParam();
    TelnetClient client(1000);
    std::string out;
    client.start(0, &out);
    out.clear();
    // Held until the server agrees to the option.
    client.request(c.command, c.value, 10, &out);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(client.awaiting(c.command));
    Feed(client, Hex("FF FD 2C FF FD 00 FF FB 00"), {2}, &out, 20);
    EXPECT_EQ(SpacedHex(out), SpacedHex(Hex(c.request)));
    EXPECT_TRUE(client.comPortAgreed());
    EXPECT_TRUE(client.binaryBothWays());
    EXPECT_FALSE(client.confirmed(c.command).has_value());
    // Its deadline runs from when it was sent.
    EXPECT_EQ(client.failure(1019), "");
    EXPECT_NE(client.failure(1020).find("did not confirm"), std::string::npos);

    // Once agreed, a request goes at once.
    out.clear();
    client.request(c.command, c.value, 30, &out);
    EXPECT_EQ(SpacedHex(out), SpacedHex(Hex(c.request)));

    out.clear();
    const std::string answer = Hex(c.serverAnswer);
    EXPECT_EQ(Feed(client, answer + "A" + answer + "B", {1}, &out, 40), "AB");
    EXPECT_EQ(out, "");
    EXPECT_EQ(client.confirmed(c.command), c.confirmed);
    EXPECT_FALSE(client.awaiting(c.command));
    EXPECT_EQ(client.failure(100000), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComPortRequests,
    ::testing::Values(
        RequestCase{ComPortCommand::SetBaudRate, 19200, "FF FA 2C 01 00 00 4B 00 FF F0",
                    "FF FA 2C 65 00 00 4B 00 FF F0", 19200},
        RequestCase{ComPortCommand::SetBaudRate, 255, "FF FA 2C 01 00 00 00 FF FF FF F0",
                    "FF FA 2C 65 00 00 00 FF FF FF F0", 255},
        RequestCase{ComPortCommand::SetBaudRate, 9600, "FF FA 2C 01 00 00 25 80 FF F0",
                    "FF FA 2C 65 00 00 4B 00 FF F0", 19200}, // the server says what it set
        RequestCase{ComPortCommand::SetDataSize, 8, "FF FA 2C 02 08 FF F0", "FF FA 2C 66 08 FF F0",
                    8},
        RequestCase{ComPortCommand::SetParity, 1, "FF FA 2C 03 01 FF F0", "FF FA 2C 67 01 FF F0",
                    1},
        RequestCase{ComPortCommand::SetStopSize, 1, "FF FA 2C 04 01 FF F0", "FF FA 2C 68 01 FF F0",
                    1}),
    [](const auto& info) { return vxt_test::CaseName(info.param.request, info.index); });

struct SubnegotiationCase {
    const char* what;
    std::string server;
    const char* data;
    const char* answer;
    int dropped;
    bool confirmed;
};

void PrintTo(const SubnegotiationCase& c, std::ostream* os) {
    *os << c.what;
}

class Subnegotiations : public ::testing::TestWithParam<SubnegotiationCase> {};

TEST_P(Subnegotiations, AreBoundedAndOnlyWellFormedAnswersCount) {
    const SubnegotiationCase& c = GetParam();
    TelnetClient client;
    std::string out;
    client.start(0, &out);
    Feed(client, Hex("FF FD 2C"), {3}, &out);
    client.request(ComPortCommand::SetBaudRate, 19200, 0, &out);
    out.clear();
    EXPECT_EQ(Feed(client, c.server, {5}, &out), Hex(c.data)) << c.what;
    EXPECT_EQ(SpacedHex(out), SpacedHex(Hex(c.answer))) << c.what;
    EXPECT_EQ(client.droppedSubnegotiations(), c.dropped) << c.what;
    EXPECT_EQ(client.confirmed(ComPortCommand::SetBaudRate).has_value(), c.confirmed) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Subnegotiations,
    ::testing::Values(
        SubnegotiationCase{"a long one is dropped",
                           Hex("FF FA 2C 65") + std::string(1000, 'x') + Hex("FF F0 41"), "41", "",
                           1, false},
        SubnegotiationCase{"an answer too long is dropped",
                           Hex("FF FA 2C 65 00 00 4B 00 00 FF F0 41"), "41", "", 1, false},
        SubnegotiationCase{"a short one is read", Hex("FF FA 2C 65 00 00 4B 00 FF F0 41"), "41", "",
                           0, true},
        SubnegotiationCase{"an answer of the wrong length is dropped",
                           Hex("FF FA 2C 65 4B 00 FF F0 41"), "41", "", 1, false},
        SubnegotiationCase{"notifications and the signature are skipped",
                           Hex("FF FA 2C 6B 30 FF F0 FF FA 2C 64 61 62 FF F0 41"), "41", "", 0,
                           false},
        SubnegotiationCase{"other options' are skipped", Hex("FF FA 18 01 FF F0 41"), "41", "", 0,
                           false},
        SubnegotiationCase{"one broken off by a command is dropped, the command taken",
                           Hex("FF FA 2C 65 00 FF FB 01 41"), "41", "FF FE 01", 1, false}),
    vxt_test::RowName());

TEST(Subnegotiations, OneThatNeverEndsFailsTheConnection) {
    TelnetClient client;
    std::string out;
    const std::string endless =
        Hex("FF FA 2C 65") + std::string(TelnetClient::kRunawaySubnegotiation, 'x');
    EXPECT_EQ(Feed(client, endless, {100}, &out), "");
    EXPECT_EQ(client.failure(0), "the server opened a subnegotiation that never ends");
}

struct DeadlineCase {
    const char* what;
    const char* server;
    int64_t quietUntil; // failure() is empty before, set from here on; -1: at once
    const char* says;
};

void PrintTo(const DeadlineCase& c, std::ostream* os) {
    *os << c.what;
}

class NegotiationDeadlines : public ::testing::TestWithParam<DeadlineCase> {};

TEST_P(NegotiationDeadlines, AServerThatStopsAnsweringIsReportedAtTheDeadline) {
    const DeadlineCase& c = GetParam();
    TelnetClient client(500);
    std::string out;
    client.start(100, &out);
    client.request(ComPortCommand::SetBaudRate, 9600, 200, &out);
    Feed(client, Hex(c.server), {1}, &out, 300);
    if (c.quietUntil >= 0) {
        EXPECT_EQ(client.failure(c.quietUntil - 1), "") << c.what;
    }
    EXPECT_NE(client.failure(c.quietUntil).find(c.says), std::string::npos)
        << c.what << ": " << client.failure(c.quietUntil);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NegotiationDeadlines,
    ::testing::Values(DeadlineCase{"silent", "", 600,
                                   "did not answer the offer of telnet option 0"},
                      DeadlineCase{"agrees, never confirms", "FF FD 00 FF FB 00 FF FD 2C", 800,
                                   "did not confirm SET-BAUDRATE"},
                      DeadlineCase{"refuses COM-PORT", "FF FD 00 FF FB 00 FF FE 2C", -1,
                                   "refused the COM-PORT option"}),
    vxt_test::RowName());

} // namespace
