// The system's serial ports from a sysfs tree built for the test: only ttys
// that a driver serves, and no UART slot without a chip.
#include "platform/system_ports.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vxt4710-sysfs-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ::mkdir((root_ + "/class").c_str(), 0755);
        ::mkdir((root_ + "/drivers").c_str(), 0755);
        ::mkdir((root_ + "/drivers/usb-serial").c_str(), 0755);
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

    // A tty entry; driver: with a device served by a driver; type: its
    // "type" attribute, or none when negative.
    void Tty(const std::string& name, bool driver, int type = -1) {
        const std::string entry = root_ + "/class/" + name;
        ::mkdir(entry.c_str(), 0755);
        if (driver) {
            ::mkdir((entry + "/device").c_str(), 0755);
            ASSERT_EQ(::symlink((root_ + "/drivers/usb-serial").c_str(),
                                (entry + "/device/driver").c_str()),
                      0);
        }
        if (type >= 0)
            std::ofstream(entry + "/type") << type << "\n";
    }
    std::string Names() const {
        std::string names;
        for (const SystemPort& port : ListSystemPorts(root_ + "/class", "/dev"))
            names += (names.empty() ? "" : " ") + port.name;
        return names;
    }

    std::string root_;
};

TEST_F(FakeSysfs, OnlyPortsADriverServesAndNoEmptySlot) {
    const struct {
        const char* name;
        bool driver;
        int type;
    } entries[] = {
        {"tty0", false, -1},      // a virtual terminal
        {"ptmx", false, -1},      // the pseudo-terminal master
        {"ttyS0", true, 4},       // a UART with its chip
        {"ttyS1", true, 0},       // a slot without one
        {"ttyUSB0", true, -1},    // an adapter
        {"ttyACM1", true, -1},    // a modem-class device
        {"ttyS2", false, 0},      // nothing at all
    };
    for (const auto& e : entries)
        Tty(e.name, e.driver, e.type);
    EXPECT_EQ(Names(), "/dev/ttyACM1 /dev/ttyS0 /dev/ttyUSB0");
}

TEST_F(FakeSysfs, NoClassFolderNoPorts) {
    EXPECT_TRUE(ListSystemPorts(root_ + "/missing", "/dev").empty());
}

} // namespace
