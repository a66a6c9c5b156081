// The two network port names: what is accepted and what each bad one says.
#include "core/net_address.h"
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

} // namespace
