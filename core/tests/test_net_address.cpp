// The two network port names: what is accepted and what each bad one says.
#include "core/net_address.h"
#include "core/port_binding_text.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

namespace {

struct GoodCase {
    const char* name;
    NetProtocol protocol;
    const char* host;
    uint16_t port;
    const char* formatted;
};

void PrintTo(const GoodCase& c, std::ostream* os) {
    *os << c.name;
}

class NetAddressGood : public ::testing::TestWithParam<GoodCase> {};

TEST_P(NetAddressGood, Parses) {
    const GoodCase& c = GetParam();
    NetAddress a;
    std::string error;
    ASSERT_TRUE(ParseNetAddress(c.name, &a, &error)) << error;
    EXPECT_EQ(a.protocol, c.protocol);
    EXPECT_EQ(a.host, c.host);
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(FormatNetAddress(a), c.formatted);
    EXPECT_TRUE(LooksLikeNetAddress(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetAddressGood,
    ::testing::Values(
        GoodCase{"rfc2217://lab1:7001", NetProtocol::Rfc2217, "lab1", 7001, "rfc2217://lab1:7001"},
        GoodCase{"socket://127.0.0.1:1", NetProtocol::Raw, "127.0.0.1", 1, "socket://127.0.0.1:1"},
        GoodCase{"RFC2217://Lab1:65535", NetProtocol::Rfc2217, "Lab1", 65535,
                 "rfc2217://Lab1:65535"},
        GoodCase{"socket://[::1]:7000", NetProtocol::Raw, "::1", 7000, "socket://[::1]:7000"},
        GoodCase{"rfc2217://[fe80::1%eth0]:23", NetProtocol::Rfc2217, "fe80::1%eth0", 23,
                 "rfc2217://[fe80::1%eth0]:23"},
        GoodCase{"rfc2217://h:007", NetProtocol::Rfc2217, "h", 7, "rfc2217://h:7"}),
    [](const auto& info) { return vxt_test::CaseName(info.param.name, info.index); });

struct BadCase {
    const char* name;
    const char* says; // a part of the message
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class NetAddressBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(NetAddressBad, SaysWhatIsWrong) {
    const BadCase& c = GetParam();
    NetAddress a;
    a.host = "kept";
    std::string error;
    EXPECT_FALSE(ParseNetAddress(c.name, &a, &error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_NE(error.find(c.name), std::string::npos) << error;
    EXPECT_NE(error.find("rfc2217://HOST:PORT"), std::string::npos) << error;
    EXPECT_EQ(a.host, "kept");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetAddressBad,
    ::testing::Values(
        BadCase{"rfc2217://lab1", "missing port"}, BadCase{"rfc2217://lab1:", "missing port"},
        BadCase{"socket://[::1]", "missing port"}, BadCase{"socket://[::1]7000", "missing port"},
        BadCase{"rfc2217://lab1:0", "out of range"},
        BadCase{"rfc2217://lab1:65536", "out of range"},
        BadCase{"rfc2217://lab1:99999999999999999999", "out of range"},
        BadCase{"rfc2217://lab1:70a", "not a number"}, BadCase{"rfc2217://lab1:-1", "not a number"},
        BadCase{"rfc2217://lab1:7001/", "not a number"}, BadCase{"rfc2217://:7001", "empty host"},
        BadCase{"socket://[]:7001", "empty host"}, BadCase{"socket://", "missing port"},
        BadCase{"socket://::1:7000", "brackets"}, BadCase{"socket://[::1:7000", "closing"},
        BadCase{"socket://[lab1]:7000", "IPv6"},
        BadCase{"socket://user@lab1:7000", "bad character"},
        BadCase{"telnet://lab1:7001", "unknown scheme"}),
    [](const auto& info) { return vxt_test::CaseName(info.param.name, info.index); });

TEST(NetAddress, OnlyTheTwoSchemesLookLikeAddresses) {
    for (const char* name : {"COM3", "/dev/ttyUSB0", "rfc2217:lab1:7", "socket:/x", "", "rfc"})
        EXPECT_FALSE(LooksLikeNetAddress(name)) << name;
    EXPECT_TRUE(LooksLikeNetAddress("Socket://"));
}

// The file com<n> of a ports folder: one address, in whatever encoding an
// editor saved it, or a reason that shows what it holds without letting its
// bytes act on a terminal.
TEST(PortBindingText, OneAddressOrAClearReason) {
    using namespace std::string_literals;
    const struct {
        std::string content;
        const char* address; // null: refused
        const char* reason;  // part of the refusal
    } cases[] = {
        {"rfc2217://lab1:7001", "rfc2217://lab1:7001", ""},
        {"\xFF\xFEs\0o\0c\0k\0e\0t\0:\0/\0/\0h\0:\0\x31\0\r\0\n\0"s, "socket://h:1", ""},
        {"\xFE\xFF\0s\0o\0c\0k\0e\0t\0:\0/\0/\0h\0:\0\x31"s, "socket://h:1", ""},
        {"\xFF\xFEs\0o\0c"s, nullptr, "UTF-16 with an odd number of bytes"},
        {"s\0o\0c\0k\0e\0t\0:\0/\0/\0h\0:\0\x31\0\r\0\n\0"s, nullptr,
         "NUL bytes (UTF-16 without a byte-order mark?): \"s\\x00o\\x00c"},
        {"\x1b[31mrfc2217://lab1:1", nullptr, "it holds \"\\x1B[31mrfc2217://lab1:1\", not an"},
        {"socket://la\x1b[2Jb:1", nullptr, "\"socket://la\\x1B[2Jb:1\": bytes that are no text"},
        {"socket://l\xff"
         "ab:1",
         nullptr, "\"socket://l\\xFFab:1\": bytes that are no text"},
        {"rfc2217://lab1:7001\r\nsocket://lab1:7002", nullptr, "more than one line"},
    };
    for (const auto& c : cases) {
        std::string address, error;
        const bool ok = ParsePortBinding(c.content, &address, &error);
        EXPECT_EQ(ok, c.address != nullptr) << c.content << ": " << error;
        if (c.address)
            EXPECT_EQ(address, c.address);
        else
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

} // namespace
