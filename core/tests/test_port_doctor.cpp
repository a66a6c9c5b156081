// The port doctor's findings on surveys made up here: what Windows' device
// enumeration gives (adapters without a COM port, ports held), and what the
// text and the asked port do to them. The Linux trees are cli/tests'.
#include "core/port_doctor.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

namespace {

doctor::Survey WindowsWith(std::vector<doctor::UsbDevice> usb,
                           std::vector<doctor::PortNode> ports) {
    doctor::Survey s;
    s.system = doctor::System::Windows;
    s.usb = std::move(usb);
    s.ports = std::move(ports);
    s.portsFolder = "C:\\Users\\u\\AppData\\Roaming\\vxt4710\\ports";
    return s;
}

doctor::PortNode Com(const std::string& name, const std::string& usbKey, bool held = false) {
    doctor::PortNode p;
    p.device = name;
    p.usbKey = usbKey;
    p.refusedAsHeld = held;
    return p;
}

doctor::Survey Asked(doctor::Survey s, const std::string& port) {
    s.askedName = s.askedDevice = port;
    return s;
}

doctor::Survey BadBinding() {
    doctor::Survey s = WindowsWith({}, {});
    s.bindings.push_back({4, {}});
    s.bindings[0].resolution.source = ports::PortResolution::Source::BadFile;
    s.bindings[0].resolution.failure = "C:\\p\\com4 holds no network address";
    return s;
}

const doctor::UsbDevice kCh340{"USB\\VID_1A86&PID_7523\\5&1", "USB\\VID_1A86&PID_7523\\5&1", 0x1a86,
                               0x7523, "USB-SERIAL CH340"};

struct Row {
    const char* name;
    doctor::Survey survey;
    std::vector<std::string> kinds;
    std::string says; // a part of the first finding's words
};

const Row kRows[] = {
    {"healthy", WindowsWith({kCh340}, {Com("COM3", kCh340.key)}), {}, ""},
    {"driver missing", WindowsWith({kCh340}, {}), {"no-driver"}, "CH340 adapter (1a86:7523"},
    {"held", WindowsWith({kCh340}, {Com("COM3", kCh340.key, true)}), {"held"}, "COM3 is held"},
    {"asked port that is not there",
     Asked(WindowsWith({}, {[] {
                           doctor::PortNode p = Com("COM7", "");
                           p.nodeMissing = true;
                           return p;
                       }()}),
           "COM7"),
     {"gone"},
     "COM7 does not exist"},
    {"binding without address", BadBinding(), {"com-link"}, "COM4: C:\\p\\com4 holds no"},
    {"unknown device without port",
     WindowsWith({{"USB\\VID_046D&PID_C52B\\1", "x", 0x046d, 0xc52b, "Receiver"}}, {}),
     {},
     ""},
};

class Windows : public ::testing::TestWithParam<Row> {};

TEST_P(Windows, FindingsOfTheEnumeration) {
    const Row& row = GetParam();
    const doctor::Diagnosis d = doctor::Diagnose(row.survey);
    std::vector<std::string> kinds;
    for (const doctor::Finding& f : d.findings)
        kinds.push_back(f.kind);
    EXPECT_EQ(kinds, row.kinds);
    if (!d.findings.empty()) {
        EXPECT_NE(d.findings[0].says.find(row.says), std::string::npos) << d.findings[0].says;
        EXPECT_FALSE(d.findings[0].fix.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Windows, ::testing::ValuesIn(kRows), vxt_test::RowName());

// --port COM4: the other port's trouble is not this one's; the adapter's is.
TEST(PortDoctor, AskedPortOnlyKeepsItsOwnAndTheAdapters) {
    doctor::Survey s = WindowsWith({kCh340}, {Com("COM3", "", true), Com("COM4", "")});
    s.askedName = s.askedDevice = "COM4";
    std::vector<std::string> kinds;
    for (const doctor::Finding& f : doctor::Diagnose(s).findings)
        kinds.push_back(f.kind);
    EXPECT_EQ(kinds, std::vector<std::string>{"no-driver"});
}

TEST(PortDoctor, TextSaysFixesAndWhatCouldNotBeRead) {
    doctor::Diagnosis d;
    d.portsSeen = {"/dev/ttyUSB0"};
    EXPECT_EQ(doctor::DiagnosisText(d), "nothing wrong found with /dev/ttyUSB0\n");
    d.findings.push_back({"held", "/dev/ttyUSB0", "held by minicom (pid 9)", "kill 9"});
    d.unread.push_back("/proc: Permission denied");
    EXPECT_EQ(doctor::DiagnosisText(d), "held: held by minicom (pid 9)\n"
                                        "  fix: kill 9\n"
                                        "could not read /proc: Permission denied\n");
}

} // namespace
