// The serial port's Windows side without a device (the test prefix has none
// and must reach none): what a user reads when the open fails or the device
// goes, and a port that never opened refuses everything else plainly.
#include "platform/serial_port.h"

#include "core/line_rates.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(SerialPortWindows, ReasonsAUserReads) {
    const struct {
        std::string text;
        std::string starts;
    } cases[] = {
        {SerialOpenFailureText(ERROR_ACCESS_DENIED), "the port is held by another program ("},
        {SerialOpenFailureText(ERROR_SHARING_VIOLATION), "the port is held by another program ("},
        {SerialOpenFailureText(ERROR_FILE_NOT_FOUND), SerialErrorText(ERROR_FILE_NOT_FOUND)},
        {SerialLostText(0), "the device is gone"},
        {SerialLostText(ERROR_GEN_FAILURE), "the device is gone ("},
        {SerialErrorText(0xDEADBEEF), "system error "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text.rfind(c.starts, 0), 0u) << c.text;
}

TEST(SerialPortWindows, ANameWithNoDeviceOpensNothing) {
    SerialPort port;
    int notified = 0;
    port.setNotify([&] { ++notified; });
    LineError error;
    EXPECT_EQ(port.open("\\\\.\\VXT4710-NO-SUCH-PORT", kDefaultLineRate, &error),
              SerialPort::OpenResult::NoDevice);
    EXPECT_FALSE(error.reason.empty());
    EXPECT_FALSE(error.accessDenied);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write("x", &error));
    EXPECT_EQ(error.reason, "the port is closed");
    EXPECT_FALSE(port.setRate(kDefaultLineRate, &error));
    std::string bytes;
    EXPECT_TRUE(port.read(&bytes, &error));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(port.queuedForLine(), -1);
    EXPECT_EQ(notified, 0);
}

} // namespace
