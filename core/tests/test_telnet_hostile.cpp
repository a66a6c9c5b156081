// Whatever a server sends, the telnet client neither crashes nor grows: a
// seeded random test of over a million byte strings, and generated streams
// of known data mixed with negotiation whose data must come out exactly.
#include "core/telnet_client.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Bytes a hostile server favours: IAC, the verbs, SB and SE, the COM-PORT
// option and its answer codes, among plain bytes.
uint8_t HostileByte(std::mt19937& rng) {
    static const uint8_t kSpecial[] = {0xFF, 0xFF, 0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA,
                                       0xF0, 0xF1, 0x2C, 0x65, 0x00, 0x01, 0x03, 0x66};
    const uint32_t r = rng();
    if (r % 3 == 0)
        return static_cast<uint8_t>(r >> 8);
    return kSpecial[(r >> 8) % sizeof kSpecial];
}

TEST(TelnetHostile, AMillionRandomStringsKeepTheClientBoundedAndItsDataFromTheInput) {
    std::mt19937 rng(20261208);
    constexpr int kStrings = 1'000'000;
    TelnetClient client(1000);
    std::string data, out;
    int64_t now = 0;
    for (int i = 0; i < kStrings; ++i) {
        if (i % 1000 == 0) {
            client = TelnetClient(1000);
            out.clear();
            client.start(now, &out);
        }
        if (i % 97 == 0)
            client.request(static_cast<ComPortCommand>(1 + rng() % 4), rng(), now, &out);
        std::string in(rng() % 24, '\0');
        for (char& c : in)
            c = static_cast<char>(HostileByte(rng));
        data.clear();
        const size_t outBefore = out.size();
        client.receive(in, now, &data, &out);
        now += 1;
        (void)client.failure(now);

        // Each data byte is an input byte, in order; a 0xFF only from a pair.
        size_t pos = 0;
        for (const char c : data) {
            pos = in.find(c, pos);
            ASSERT_NE(pos, std::string::npos) << i;
            ++pos;
        }
        const auto ffIn = std::count(in.begin(), in.end(), '\xFF');
        const auto ffOut = std::count(data.begin(), data.end(), '\xFF');
        ASSERT_LE(ffOut, ffIn / 2 + 1) << i; // + 1: an IAC left from the string before
        // At most one three-byte answer per three bytes read, plus the held
        // requests released by an agreement.
        ASSERT_LE(out.size() - outBefore, in.size() + 4 * 16) << i;
        ASSERT_LE(client.bufferedBytes(), TelnetClient::kMaxSubnegotiation);
        if (out.size() > 1 << 16)
            out.clear();
    }
}

// A stream of pieces whose data is known: plain bytes, doubled 0xFF,
// negotiation, commands, subnegotiations (some too long, some with doubled
// 0xFF inside). Cut at random places, the data must come out exactly.
TEST(TelnetHostile, GeneratedStreamsGiveExactlyTheirData) {
    std::mt19937 rng(4710);
    for (int stream = 0; stream < 2000; ++stream) {
        std::string wire, expected;
        for (int piece = 0; piece < 60; ++piece) {
            switch (rng() % 6) {
            case 0: {
                const char c = static_cast<char>(rng() % 255);
                wire += c;
                expected += c;
                break;
            }
            case 1:
                wire += "\xFF\xFF";
                expected += '\xFF';
                break;
            case 2:
                wire += '\xFF';
                wire += static_cast<char>(0xFB + rng() % 4);
                wire += static_cast<char>(HostileByte(rng));
                break;
            case 3:
                wire += '\xFF';
                wire += static_cast<char>(0xF1 + rng() % 9); // NOP .. GA
                break;
            default: {
                wire += "\xFF\xFA";
                wire += static_cast<char>(HostileByte(rng));
                const size_t n = rng() % 2 ? rng() % 8 : rng() % 200;
                for (size_t k = 0; k < n; ++k) {
                    const uint8_t b = HostileByte(rng);
                    wire += static_cast<char>(b);
                    if (b == 0xFF)
                        wire += '\xFF';
                }
                wire += "\xFF\xF0";
                break;
            }
            }
        }
        TelnetClient client;
        std::string data, out;
        client.start(0, &out);
        for (size_t pos = 0; pos < wire.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 9, wire.size() - pos);
            client.receive(std::string_view(wire).substr(pos, n), 0, &data, &out);
            pos += n;
        }
        ASSERT_EQ(data, expected) << "stream " << stream;
    }
}

} // namespace
