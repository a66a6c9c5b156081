// The serial control of both windows on lines and a window of the test's
// own: what opens, what the settings do to an open port, when OnComm runs,
// a port on another machine that connects in the background, and a lost line.
#include "core/tests/fake_comm_line.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace fake_comm;

struct OpenCase {
    const char* name;
    std::function<void(World&)> set;
    const char* opened; // empty: the open fails
    const char* failure;
};

class LineControlOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(LineControlOpen, OpensWhatThePortStandsForOrSaysWhyNot) {
    const OpenCase& c = GetParam();
    Control t;
    c.set(t.w);
    t.comm.SetSettings("19200,N,8,1");
    if (*c.failure) {
        try {
            t.comm.SetPortOpen(true);
            ADD_FAILURE() << "opened";
        } catch (const CommError& e) {
            EXPECT_EQ(std::string(e.what()), c.failure);
        }
        EXPECT_FALSE(t.comm.PortOpen());
        EXPECT_THROW(t.comm.Output("x"), CommError);
        EXPECT_NO_THROW(t.comm.SetPortOpen(false));
        return;
    }
    ASSERT_NO_THROW(t.comm.SetPortOpen(true));
    t.w.finishConnects();
    EXPECT_TRUE(t.comm.PortOpen());
    ASSERT_EQ(t.w.opened.size(), 1u);
    EXPECT_EQ(t.w.opened[0], c.opened);
    t.comm.SetPortOpen(true); // open already: nothing more
    EXPECT_EQ(t.w.opened.size(), 1u);
    t.comm.SetPortOpen(false);
    t.w.runPosted();
    EXPECT_FALSE(t.comm.PortOpen());
    EXPECT_EQ(t.w.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, LineControlOpen,
    ::testing::Values(
        OpenCase{"link", [](World& w) { w.entries[1] = Linked("/dev/ttyUSB0"); },
                 "/dev/ttyUSB0@19200", ""},
        OpenCase{"first system port", [](World& w) { w.system = {"/dev/ttyS0"}; },
                 "/dev/ttyS0@19200", ""},
        OpenCase{"numbered port", [](World& w) { w.numbered = "COM1"; }, "COM1@19200", ""},
        OpenCase{"nothing", [](World&) {}, "", "no device for COM1"},
        OpenCase{"bad file", [](World& w) { w.entries[1] = Bound("COM2"); }, "",
                 "ports/com1: it holds \"COM2\", not an address such as rfc2217://HOST:PORT or "
                 "socket://HOST:PORT"},
        OpenCase{"refused",
                 [](World& w) {
                     w.refused["COM1"] = "the port is held";
                     w.numbered = "COM1";
                 },
                 "", "cannot open COM1: the port is held"},
        OpenCase{"refused without a reason",
                 [](World& w) {
                     w.refused["COM1"] = "";
                     w.numbered = "COM1";
                 },
                 "", "cannot open COM1"},
        OpenCase{"network", [](World& w) { w.entries[1] = Bound("rfc2217://lab:7001"); },
                 "rfc2217://lab:7001", ""}),
    vxt_test::RowName());

TEST(LineControlSettings, ApplyToTheOpenPortAndRefusalsKeepTheOldOnes) {
    const struct {
        const char* what;
        const char* address; // empty: a serial port
        const char* settings;
        const char* rateRefusal;
        const char* error; // empty: taken
        std::vector<int> asked;
    } cases[] = {
        {"serial faster", "", "38400,N,8,1", "", "", {38400}},
        {"serial same rate", "", " 9600 ,n,8,1", "", "", {}},
        {"serial unusable", "", "9600,E,8,1", "", "unsupported settings: 9600,E,8,1", {}},
        {"serial refuses", "", "19200,N,8,1", "no such rate", "no such rate", {19200}},
        {"rfc2217 faster", "rfc2217://lab:1", "19200,N,8,1", "", "", {19200}},
        {"socket faster", "socket://lab:1", "19200,N,8,1", "", kRawRateRefusal, {}},
        {"socket same rate", "socket://lab:1", "9600,N,8,1", "", "", {}},
    };
    for (const auto& c : cases) {
        Control t;
        t.w.numbered = "COM1";
        if (*c.address)
            t.w.entries[1] = Bound(c.address);
        t.w.rateRefusal = c.rateRefusal;
        t.comm.SetPortOpen(true);
        t.w.finishConnects();
        ASSERT_TRUE(t.comm.PortOpen()) << c.what;
        std::string error;
        try {
            t.comm.SetSettings(c.settings);
        } catch (const CommError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(t.w.rates, c.asked) << c.what;
        EXPECT_EQ(t.comm.Settings(), *c.error ? "9600,N,8,1" : c.settings) << c.what;
        EXPECT_TRUE(t.comm.PortOpen()) << c.what;
    }
}

// A closed serial port takes the settings at its next open.
TEST(LineControlSettings, AClosedPortOpensAtTheRateSetMeanwhile) {
    Control t;
    t.w.numbered = "COM1";
    t.comm.SetSettings("38400,N,8,1");
    EXPECT_TRUE(t.w.rates.empty());
    t.comm.SetPortOpen(true);
    EXPECT_EQ(t.w.opened, std::vector<std::string>{"COM1@38400"});
}

TEST(LineControlDelivery, OnCommRulesWithATwoByteBuffer) {
    const struct {
        const char* what;
        bool reading;
        bool nested; // the handler's message box lets the next bytes arrive
        const char* input;
        int events;
    } cases[] = {
        {"left behind get their own", true, false, "ABCDE", 3},
        {"not read wait for the next arrival", false, false, "", 1},
        {"arriving during OnComm", true, true, "ABCDEXY", 4},
    };
    for (const auto& c : cases) {
        Control t;
        t.w.numbered = "COM1";
        t.comm.SetInBufferSize(2);
        int depth = 0, deepest = 0;
        bool nestedOnce = c.nested;
        t.comm.SetOnComm([&] {
            ++t.events;
            deepest = std::max(deepest, ++depth);
            if (c.reading)
                t.input += t.comm.Input();
            if (std::exchange(nestedOnce, false))
                t.w.arrive("XY");
            --depth;
        });
        t.comm.SetPortOpen(true);
        t.w.arrive("ABCDE");
        EXPECT_EQ(t.events, 1) << c.what; // the rest once this event is done
        t.w.runPosted();
        EXPECT_EQ(t.input, c.input) << c.what;
        EXPECT_EQ(t.events, c.events) << c.what;
        EXPECT_EQ(deepest, 1) << c.what;
    }
}

TEST(LineControlNetwork, ConnectsInTheBackgroundAndTellsAFailureOnce) {
    const struct {
        const char* what;
        const char* connectRefusal;
        const char* writeRefusal;
        const char* failure; // empty: opens
    } cases[] = {
        {"agrees", "", "", ""},
        {"refuses", "connection refused", "", "connection refused"},
        {"the waiting frame fails", "", "broken pipe", "broken pipe"},
    };
    for (const auto& c : cases) {
        Control t;
        t.w.entries[1] = Bound("rfc2217://lab:7001");
        t.w.connectRefusal = c.connectRefusal;
        t.w.writeRefusal = c.writeRefusal;
        t.comm.SetPortOpen(true);
        EXPECT_TRUE(t.comm.Connecting(1)) << c.what;
        EXPECT_FALSE(t.comm.Connecting(2)) << c.what;
        EXPECT_TRUE(t.comm.PortOpen()) << c.what;
        t.comm.Output("\xFD\x01");
        t.comm.SetSettings("19200,N,8,1");
        EXPECT_TRUE(t.w.written.empty()) << c.what;
        t.w.finishConnects();
        EXPECT_FALSE(t.comm.Connecting(1)) << c.what;
        const bool opens = !*c.failure;
        EXPECT_EQ(t.comm.PortOpen(), opens) << c.what;
        EXPECT_EQ(t.failures,
                  opens ? std::vector<std::string>{} : std::vector<std::string>{c.failure})
            << c.what;
        EXPECT_EQ(t.w.written.size(), opens ? 1u : 0u) << c.what;
        EXPECT_EQ(t.w.rates.size(), *c.connectRefusal ? 0u : 1u) << c.what;
        t.w.finishConnects();
        t.w.runPosted();
        EXPECT_EQ(t.failures.size(), opens ? 0u : 1u) << c.what;
    }
}

// Closed while connecting: nothing of it is told, and nothing sent.
TEST(LineControlNetwork, AConnectionGivenUpIsForgotten) {
    Control t;
    t.w.entries[1] = Bound("socket://lab:7001");
    t.w.connectRefusal = "connection refused";
    t.comm.SetPortOpen(true);
    t.comm.Output("x");
    t.comm.SetPortOpen(false);
    EXPECT_FALSE(t.comm.Connecting(1));
    t.w.finishConnects();
    EXPECT_TRUE(t.failures.empty());
    EXPECT_FALSE(t.comm.PortOpen());
}

// The reply's rate change closes and opens again from inside OnComm: the
// same connection goes on at the new rate. Closed anywhere else, the
// connection goes at once.
TEST(LineControlNetwork, TheRateChangeInsideOnCommKeepsTheConnection) {
    const struct {
        const char* what;
        bool insideOnComm;
        size_t connections;
        int closes;
    } cases[] = {{"inside OnComm", true, 1, 0}, {"outside", false, 2, 1}};
    for (const auto& c : cases) {
        Control t;
        t.w.entries[1] = Bound("rfc2217://lab:7001");
        const auto changeRate = [&] {
            t.comm.SetPortOpen(false);
            EXPECT_FALSE(t.comm.PortOpen()) << c.what;
            t.comm.SetSettings("38400,N,8,1");
            t.comm.SetPortOpen(true);
        };
        t.comm.SetOnComm([&] {
            t.comm.Input();
            if (c.insideOnComm)
                changeRate();
        });
        t.comm.SetPortOpen(true);
        t.w.finishConnects();
        t.w.arrive("A");
        if (!c.insideOnComm)
            changeRate();
        t.w.finishConnects();
        EXPECT_TRUE(t.comm.PortOpen()) << c.what;
        EXPECT_EQ(t.w.opened.size(), c.connections) << c.what;
        EXPECT_EQ(t.w.rates, c.insideOnComm ? std::vector<int>{38400} : std::vector<int>{})
            << c.what;
        EXPECT_EQ(t.w.closes, c.closes) << c.what;
    }
}

// Without a window the connection is made in place, and its failure thrown.
TEST(LineControlNetwork, WithoutAWindowConnectsInPlace) {
    Control t;
    t.w.window = false;
    t.w.entries[1] = Bound("rfc2217://lab:7001");
    t.comm.SetPortOpen(true);
    EXPECT_FALSE(t.comm.Connecting(1));
    EXPECT_TRUE(t.comm.PortOpen());
    t.comm.SetPortOpen(false);
    t.w.connectRefusal = "connection refused";
    EXPECT_THROW(t.comm.SetPortOpen(true), CommError);
    EXPECT_FALSE(t.comm.PortOpen());
    EXPECT_TRUE(t.failures.empty());
}

// A lost line, serial or network, and a write that fails: the port closes
// quietly (no port failure is raised), what came before the loss is still
// delivered, the next send fails, and the next open starts anew.
TEST(LineControlLoss, TheLineIsClosedOnceAndTheNextOpenStartsAnew) {
    const struct {
        const char* what;
        const char* address; // empty: a serial port
        bool byWrite;
    } cases[] = {
        {"device gone", "", false},
        {"connection ended", "socket://lab:1", false},
        {"network write fails", "rfc2217://lab:1", true},
        {"serial write fails", "", true},
    };
    for (const auto& c : cases) {
        Control t;
        t.w.numbered = "COM1";
        if (*c.address)
            t.w.entries[1] = Bound(c.address);
        t.comm.SetPortOpen(true);
        t.w.finishConnects();
        ASSERT_TRUE(t.comm.PortOpen()) << c.what;
        if (c.byWrite) {
            t.w.writeRefusal = "broken pipe";
            EXPECT_THROW(t.comm.Output("x"), CommError) << c.what;
            t.w.writeRefusal.clear();
        } else {
            t.w.loss = true;
            t.w.arrive("AB");
            EXPECT_EQ(t.input, "AB") << c.what;
        }
        EXPECT_FALSE(t.comm.PortOpen()) << c.what;
        EXPECT_EQ(t.w.closes, 1) << c.what;
        t.w.arrive("late");
        t.w.runPosted();
        EXPECT_EQ(t.w.closes, 1) << c.what;
        EXPECT_EQ(t.input, c.byWrite ? "" : "AB") << c.what;
        EXPECT_THROW(t.comm.Output("x"), CommError) << c.what;
        EXPECT_TRUE(t.failures.empty()) << c.what;
        t.comm.SetPortOpen(true);
        t.w.finishConnects();
        EXPECT_TRUE(t.comm.PortOpen()) << c.what;
        EXPECT_EQ(t.w.opened.size(), 2u) << c.what;
        EXPECT_NO_THROW(t.comm.Output("y")) << c.what;
    }
}

TEST(LineControlPorts, DevicesAndTheRateOfEachPort) {
    Control t;
    t.w.entries[1] = Linked("/dev/ttyUSB0");
    t.w.entries[2] = Bound("socket://lab:7001");
    t.w.entries[3] = Bound("rfc2217://lab:7002");
    t.w.entries[4] = Bound("nonsense");
    t.w.numbered = "COM5";
    const std::vector<std::string> devices = {"/dev/ttyUSB0", "socket://lab:7001",
                                              "rfc2217://lab:7002", "", "shown 5"};
    EXPECT_EQ(t.comm.Devices(5), devices);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(t.comm.DeviceFor(n), devices[size_t(n - 1)]) << n;
        EXPECT_EQ(t.comm.RateChangeable(n), n != 2) << n;
    }
}

} // namespace
