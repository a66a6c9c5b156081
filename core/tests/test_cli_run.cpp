// The command-line program's run on fake services: from the arguments to the
// exit status and the bytes on standard output and standard error, the same
// on every system.
#include "core/cli_run.h"
#include "core/exit_status.h"
#include "core/form1.h"
#include "core/tests/row_name.h"
#include "core/text_util.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Sink : OutputSink {
    std::string text;
    bool broken = false; // a pipe whose reader has gone
    bool write(std::string_view bytes, std::string* failure) override {
        if (broken) {
            *failure = "Broken pipe";
            return false;
        }
        text += bytes;
        return true;
    }
};

struct Clock : MonotonicClock {
    int64_t nowMs() const override { return 5; }
};

struct FakeSystem : CliSystem {
    Sink out, err;
    CliPlatform system = CliPlatform::Linux;
    std::map<int, ListedPort> ports;
    std::map<std::string, std::string> files;
    std::map<std::string, PortRoute> routes; // else the name is the device
    std::string openFailure;                 // the open fails with this reason
    int sessionStatus = ExitStatus::Ok;
    std::string opened; // what was opened: "serial PATH RATE", "net HOST:PORT RATE"
    std::size_t framesRun = 0;
    bool ran = false; // a session or a monitor ran

    OutputSink& standardOutput() override { return out; }
    OutputSink& standardError() override { return err; }
    CliPlatform platform() const override { return system; }
    std::string version() const override { return "9.8.7"; }
    std::string helpPortsFolder() override { return "/home/u/.config/vxt4710/ports"; }
    ListedPort listPort(int n) override { return ports.count(n) ? ports[n] : ListedPort{}; }
    std::optional<std::string> readText(const std::string& path, std::string* reason) override {
        if (!files.count(path)) {
            *reason = "No such file or directory";
            return std::nullopt;
        }
        return files[path];
    }
    // Files made by --capture: what was written to each.
    std::map<std::string, std::string> made;
    std::unique_ptr<OutputSink> createFile(const std::string& path, bool replace,
                                           std::string* failure) override {
        if (!replace && (files.count(path) || made.count(path))) {
            *failure = "the file exists";
            return nullptr;
        }
        struct File : OutputSink {
            std::string& bytes;
            explicit File(std::string& b) : bytes(b) {}
            bool write(std::string_view b, std::string*) override {
                bytes += b;
                return true;
            }
        };
        made[path].clear();
        return std::make_unique<File>(made[path]);
    }
    int64_t epochUs() const override { return 1'765'000'000'000'000; }
    PortRoute routePort(const std::string& port) override {
        if (routes.count(port))
            return routes[port];
        PortRoute route;
        route.device = route.path = port;
        return route;
    }
    bool open(const std::string& what, LineError* error) {
        if (!openFailure.empty()) {
            error->reason = openFailure;
            return false;
        }
        opened = what;
        return true;
    }
    bool openSerial(const PortRoute& route, int rate, LineError* error) override {
        return open("serial " + route.path + " " + std::to_string(rate), error);
    }
    bool openNet(const NetAddress& address, int rate, LineError* error) override {
        return open("net " + address.host + ":" + std::to_string(address.port) + " " +
                        std::to_string(rate),
                    error);
    }
    // What the taps bring once the monitor runs; by default Ctrl+C at once.
    std::function<void(TapWatch&)> watch = [](TapWatch& m) { m.interrupt(2); };
    bool openTap(TapSide side, const PortRoute& route, const NetAddress* address, int rate,
                 LineError* error) override {
        const std::string before = opened;
        const std::string what = std::string(TapSideName(side)) + " " +
                                 (address ? address->host : route.path) + " " +
                                 std::to_string(rate);
        if (!open(what, error))
            return false;
        opened = before.empty() ? what : before + "; " + what;
        return true;
    }
    int runMonitor(TapWatch& session, WakeEvent*) override {
        ran = true;
        watch(session);
        return session.status();
    }
    // What the port doctor is given to look at; none: the default survey.
    std::optional<doctor::Survey> survey;
    std::string surveyedPort;
    doctor::Survey surveyPorts(const std::string& port) override {
        surveyedPort = port;
        return survey ? *survey : CliSystem::surveyPorts(port);
    }
    int runSession(std::vector<PlannedFrame> frames, TrafficReport& report, const MonotonicClock&,
                   int, Complaint complain) override {
        framesRun = frames.size();
        ran = true;
        report.line("session", {{"session", true}});
        if (sessionStatus != ExitStatus::Ok)
            complain("the session ended");
        return sessionStatus;
    }
};

struct Row {
    const char* name;
    std::vector<std::string> args;
    std::function<void(FakeSystem&)> setUp; // may be empty
    int status;
    std::string out;    // standard output, exactly
    std::string errHas; // a part of standard error ("" : standard error stays empty)
    std::string opened; // what the run opened ("" : no line)
    std::string undecodable = {};
};

const std::string kBrokenOut = "vxt4710-cli: standard output could not be written: Broken pipe\n";

void BreakOutput(FakeSystem& s) {
    s.out.broken = true;
}

// COM1 to COM20 as ports lists them, given the lines of the first ones.
std::string PortLines(const std::vector<std::string>& first, bool json) {
    std::string text;
    for (const std::string& line : first)
        text += line + "\n";
    for (std::size_t n = first.size() + 1; n <= 20; ++n) {
        const std::string com = "COM" + std::to_string(n);
        text += json ? "{\"port\": \"" + com + "\", \"device\": null}\n" : com + "\t-\n";
    }
    return text;
}

// One port, held by a terminal program whose name would act on a terminal.
void HeldPort(FakeSystem& s) {
    s.survey.emplace();
    s.survey->ports.push_back({});
    s.survey->ports[0].device = "/dev/ttyUSB0";
    s.survey->processes.push_back({77, "term\x1b[2J", {"/dev/ttyUSB0"}});
}

void SomePorts(FakeSystem& s) {
    s.ports[1] = {"/dev/ttyUSB0", "", ""};
    s.ports[2] = {"", "/p/com2: holds no network address", ""};
    s.ports[3] = {"", "", "/dev/pts/9"};
    s.ports[4] = {"/dev/odd\x1b]0;x", "", ""};
}

std::vector<Row> Rows() {
    const std::string portFailure = Utf8FromUtf16(kPortFailureText);
    const std::string help = HelpText(CliPlatform::Linux, "/home/u/.config/vxt4710/ports");
    return {
        {"UndecodableArgument",
         {"--json", "\xff"},
         {},
         ExitStatus::Usage,
         "{\"result\": \"usage\", \"status\": 64, \"message\": \"argument 2 is not valid "
         "UTF-8\"}\n",
         "vxt4710-cli: argument 2 is not valid UTF-8\n" + UsageLine() + "\n",
         "",
         "argument 2 is not valid UTF-8"},
        {"UnknownCommand", {"talk"}, {}, ExitStatus::Usage, "", UsageLine() + "\n", ""},
        {"Help", {"--help"}, {}, ExitStatus::Ok, help, "", ""},
        {"HelpOnWindows",
         {"--help"},
         [](FakeSystem& s) { s.system = CliPlatform::Windows; },
         ExitStatus::Ok,
         HelpText(CliPlatform::Windows, "/home/u/.config/vxt4710/ports"),
         "",
         ""},
        {"Version", {"--version"}, {}, ExitStatus::Ok, "vxt4710-cli 9.8.7\n", "", ""},
        {"HelpIntoABrokenOutput", {"--help"}, BreakOutput, ExitStatus::Output, "", kBrokenOut, ""},
        {"VersionIntoABrokenOutput",
         {"--version"},
         BreakOutput,
         ExitStatus::Output,
         "",
         kBrokenOut,
         ""},
        {"PortsIntoABrokenOutput", {"ports"}, BreakOutput, ExitStatus::Output, "", kBrokenOut, ""},
        {"JsonPortsIntoABrokenOutput",
         {"--json", "ports"},
         BreakOutput,
         ExitStatus::Output,
         "",
         kBrokenOut,
         ""},
        {"Ports",
         {"ports"},
         SomePorts,
         ExitStatus::Ok,
         PortLines({"COM1\t/dev/ttyUSB0", "COM2\t- (/p/com2: holds no network address)",
                    "COM3\t- (the link to /dev/pts/9 of a simulated chip that has ended)",
                    "COM4\t/dev/odd\\x1B]0;x"},
                   false),
         "",
         ""},
        {"JsonPorts",
         {"--json", "ports"},
         SomePorts,
         ExitStatus::Ok,
         PortLines({"{\"port\": \"COM1\", \"device\": \"/dev/ttyUSB0\"}",
                    "{\"port\": \"COM2\", \"device\": null, \"binding_error\": \"/p/com2: holds no "
                    "network address\"}",
                    "{\"port\": \"COM3\", \"device\": null, \"stale_link\": \"/dev/pts/9\"}",
                    "{\"port\": \"COM4\", \"device\": \"/dev/odd\\u001b]0;x\"}"},
                   true),
         "",
         ""},
        {"TextFileMissing",
         {"--json", "speak", "-f", "/no/file"},
         {},
         ExitStatus::NoInput,
         "{\"result\": \"input\", \"status\": 66, \"message\": \"/no/file: No such file or "
         "directory\"}\n",
         "vxt4710-cli: /no/file: No such file or directory\n",
         ""},
        {"TextFileRead",
         {"--port", "/dev/chip", "speak", "-f", "t.txt"},
         [](FakeSystem& s) { s.files["t.txt"] = "hello"; },
         ExitStatus::Ok,
         "session\n",
         "",
         "serial /dev/chip 9600"},
        {"BadHexBeforeThePort",
         {"--port", "COM1", "hex", "fd zz"},
         {},
         ExitStatus::Usage,
         "",
         "vxt4710-cli: ",
         ""},
        // A serial port's failure: the port-failure line first.
        {"ComNameLeadsNowhere",
         {"--json", "--port", "COM7", "query"},
         [](FakeSystem& s) { s.routes["COM7"].failure = "COM7 stands for no device"; },
         ExitStatus::Port,
         "{\"result\": \"port\", \"status\": 3, \"message\": \"" + portFailure +
             "\\nCOM7 stands for no device\"}\n",
         portFailure +
             "\nvxt4710-cli: COM7 stands for no device\nvxt4710-cli: to find what keeps the port "
             "from working: vxt4710-cli doctor --port COM7\n",
         ""},
        {"BadBindingHasNoSerialHint",
         {"--json", "--port", "COM2", "query"},
         [](FakeSystem& s) {
             s.routes["COM2"].failure = "COM2: /p/com2: holds no network address";
             s.routes["COM2"].serialHint = false;
         },
         ExitStatus::Port,
         "{\"result\": \"port\", \"status\": 3, \"message\": \"COM2: /p/com2: holds no network "
         "address\"}\n",
         "vxt4710-cli: COM2: /p/com2: holds no network address\n",
         ""},
        {"NoticeBeforeTheSerialPort",
         {"--port", "COM1", "--rate", "19200", "stop"},
         [](FakeSystem& s) {
             s.routes["COM1"] = {"/dev/ttyS0", "/dev/ttyS0", "", "COM1 stands for /dev/ttyS0", ""};
         },
         ExitStatus::Ok,
         "session\n",
         "vxt4710-cli: COM1 stands for /dev/ttyS0\n",
         "serial /dev/ttyS0 19200"},
        {"SerialOpenFails",
         {"--port", "/dev/chip", "query"},
         [](FakeSystem& s) { s.openFailure = "No such file or directory"; },
         ExitStatus::Port,
         "",
         portFailure +
             "\nvxt4710-cli: /dev/chip: No such file or directory\nvxt4710-cli: to find what "
             "keeps the port from working: vxt4710-cli doctor --port /dev/chip\n",
         ""},
        {"NetAddressGiven",
         {"--port", "rfc2217://lab:4000", "query"},
         {},
         ExitStatus::Ok,
         "session\n",
         "",
         "net lab:4000 9600"},
        {"ComNameBoundToAnAddress",
         {"--port", "COM5", "query"},
         [](FakeSystem& s) { s.routes["COM5"].address = "socket://lab:4001"; },
         ExitStatus::Ok,
         "session\n",
         "",
         "net lab:4001 9600"},
        {"NetOpenFails",
         {"--port", "socket://lab:4001", "query"},
         [](FakeSystem& s) { s.openFailure = "Connection refused"; },
         ExitStatus::Port,
         "",
         "vxt4710-cli: network port socket://lab:4001: Connection refused\n",
         ""},
        {"BadNetAddress",
         {"--port", "socket://lab", "query"},
         {},
         ExitStatus::Port,
         "",
         "socket://lab",
         ""},
        {"RawPortCannotChangeRate",
         {"--port", "socket://lab:4001", "rate", "19200"},
         {},
         ExitStatus::Port,
         "",
         std::string("vxt4710-cli: network port socket://lab:4001: ") + kRawRateRefusal + "\n",
         ""},
        {"MonitorPrintsEachItemAndASummary",
         {"monitor", "--host", "COM2", "--chip", "/dev/tap2"},
         [](FakeSystem& s) {
             s.routes["COM2"].device = s.routes["COM2"].path = "/dev/tap1";
             s.watch = [](TapWatch& m) {
                 m.onTurn(std::string("\xFD\x00\x02\x21\xDE", 5), {});
                 m.onTurn({}, "\x4F");
                 m.interrupt(2);
             };
         },
         ExitStatus::Ok,
         "0.000  host  FD 00 02 21 DE  查询  ✓  0 ms\n"
         "0.000  chip  4F  <-0x4F  芯片空闲\n"
         "monitor: frames 1, status bytes 1, findings 0\n",
         "",
         "host /dev/tap1 9600; chip /dev/tap2 9600"},
        {"MonitorFindingsEndWith1",
         {"--json", "--rate", "19200", "monitor", "--chip", "rfc2217://lab:4002", "--host",
          "rfc2217://lab:4001"},
         [](FakeSystem& s) {
             s.watch = [](TapWatch& m) {
                 m.onTurn(std::string("\xFD\x00\x02\x21\x00", 5), {});
                 m.onTurn({}, "\x45");
                 m.interrupt(15);
             };
         },
         ExitStatus::Findings,
         "{\"dir\": \"host\", \"t\": 0.000, \"bytes\": \"FD 00 02 21 00\", \"meaning\": "
         "\"查询\", \"check\": \"✗ 应为 0xDE\", \"reply_ms\": 0, \"findings\": "
         "[\"bad_checksum\"]}\n"
         "{\"dir\": \"chip\", \"t\": 0.000, \"bytes\": \"45\", \"meaning\": \"<-0x45  "
         "接收失败\", \"findings\": []}\n"
         "{\"result\": \"findings\", \"status\": 1, \"frames\": 1, \"status_bytes\": 1, "
         "\"findings\": {\"bad_checksum\": 1}}\n",
         "",
         "host lab 19200; chip lab 19200"},
        {"CaptureRefusedWhenTheFileExists",
         {"--capture", "old.pcapng", "query"},
         [](FakeSystem& s) { s.files["old.pcapng"] = "kept"; },
         ExitStatus::CannotCreate,
         "",
         "vxt4710-cli: cannot create the capture old.pcapng: the file exists (--overwrite "
         "replaces it)\n",
         ""},
        {"CaptureReplacedWhenTheUserSaysSo",
         {"--capture", "old.pcapng", "--overwrite", "query"},
         [](FakeSystem& s) { s.files["old.pcapng"] = "kept"; },
         ExitStatus::Ok,
         "session\n",
         "",
         "serial COM1 9600"},
        {"ReplayShowsACaptureAsTheMonitorDoes",
         {"replay", "talk.pcapng"},
         [](FakeSystem& s) {
             std::string file;
             CaptureWriter w(
                 [&](std::string_view b) {
                     file += b;
                     return true;
                 },
                 {{"COM2", 9600}, {"COM3", 9600}}, "test");
             w.add(5'000'000, CaptureDirection::ToChip, std::string("\xFD\x00\x02\x21\xDE", 5));
             w.add(5'003'000, CaptureDirection::FromChip, "\x4F", 1);
             s.files["talk.pcapng"] = file;
         },
         ExitStatus::Ok,
         "0.000  host  FD 00 02 21 DE  查询  ✓  3 ms\n"
         "0.003  chip  4F  <-0x4F  芯片空闲\n"
         "monitor: frames 1, status bytes 1, findings 0\n",
         "",
         ""},
        {"ReplayOfNoCapture",
         {"replay", "notes.txt"},
         [](FakeSystem& s) { s.files["notes.txt"] = "these are no packets at all"; },
         ExitStatus::DataError,
         "monitor: frames 0, status bytes 0, findings 0\n",
         "vxt4710-cli: notes.txt: this is no pcapng capture file\n",
         ""},
        {"ReplayOfAMissingFile", {"replay", "gone.pcapng"}, nullptr, ExitStatus::NoInput, "",
         "vxt4710-cli: cannot read gone.pcapng: No such file or directory\n", ""},
        {"CaptureWantsATalkingCommand", {"--capture", "x.pcapng", "ports"}, nullptr,
         ExitStatus::Usage, "", "--capture goes with the commands that talk to the chip, not ports",
         ""},
        {"MonitorTapThatFails",
         {"monitor", "--host", "/dev/tap1", "--chip", "/dev/tap2"},
         [](FakeSystem& s) {
             s.watch = [](TapWatch& m) {
                 m.onTurn("\x01", {});
                 m.onLineFailed(TapSide::Chip, "/dev/tap2", {"the device is gone"});
             };
         },
         ExitStatus::Port,
         "0.000  host  01  1 字节不属于任何帧  [stray_bytes: 不属于任何帧的字节]\n"
         "monitor: frames 0, status bytes 0, findings 1 (stray_bytes 1)\n",
         "vxt4710-cli: chip tap: ",
         "host /dev/tap1 9600; chip /dev/tap2 9600"},
        {"MonitorIntoABrokenPipe",
         {"monitor", "--host", "/dev/tap1", "--chip", "/dev/tap2"},
         [](FakeSystem& s) {
             BreakOutput(s);
             s.watch = [](TapWatch& m) {
                 m.onTurn({}, "\x4F");
                 m.interrupt(2);
             };
         },
         ExitStatus::Output,
         "",
         kBrokenOut,
         "host /dev/tap1 9600; chip /dev/tap2 9600"},
        {"MonitorTapThatCannotOpen",
         {"monitor", "--host", "/dev/tap1", "--chip", "/dev/tap2"},
         [](FakeSystem& s) { s.openFailure = "No such file or directory"; },
         ExitStatus::Port,
         "",
         "vxt4710-cli: host tap: ",
         ""},
        {"MonitorWantsBothTaps",
         {"monitor", "--host", "COM2"},
         {},
         ExitStatus::Usage,
         "",
         "monitor wants --host PORT and --chip PORT",
         ""},
        {"MonitorWantsTwoPorts",
         {"monitor", "--host", "COM2", "--chip", "COM2", "--duration", "5"},
         {},
         ExitStatus::Usage,
         "",
         "two different ports",
         ""},
        {"MonitorDurationAboveZero",
         {"monitor", "--host", "COM2", "--chip", "COM3", "--duration", "0"},
         {},
         ExitStatus::Usage,
         "",
         "--duration wants seconds above 0, not '0'",
         ""},
        {"SessionStatusIsTheRunsStatus",
         {"--port", "/dev/chip", "query"},
         [](FakeSystem& s) { s.sessionStatus = ExitStatus::Timeout; },
         ExitStatus::Timeout,
         "session\n",
         "vxt4710-cli: the session ended\n",
         "serial /dev/chip 9600"},
        {"DoctorWithNothingSurveyed",
         {"doctor"},
         {},
         ExitStatus::Ok,
         "could not read this system's ports: not surveyed by this program\nnothing wrong found\n",
         "",
         ""},
        {"DoctorFindsAndEscapes",
         {"doctor"},
         HeldPort,
         ExitStatus::PortTrouble,
         "held: /dev/ttyUSB0 is held open by term\\x1B[2J (pid 77)\n  fix: end it or close the "
         "port there (kill 77), then try again\n",
         "",
         ""},
        {"DoctorJson",
         {"--json", "doctor"},
         HeldPort,
         ExitStatus::PortTrouble,
         "{\"findings\": [{\"kind\": \"held\", \"device\": \"/dev/ttyUSB0\", \"says\": "
         "\"/dev/ttyUSB0 is held open by term\\u001b[2J (pid 77)\", \"fix\": \"end it or close "
         "the port there (kill 77), then try again\"}], \"unread\": [], \"ports\": "
         "[\"/dev/ttyUSB0\"], \"status\": 1}\n",
         "",
         ""},
        {"DoctorIntoABrokenOutput", {"doctor"}, BreakOutput, ExitStatus::Output, "", kBrokenOut, ""},
        {"DoctorTakesNoCapture",
         {"--capture", "x.pcapng", "doctor"},
         {},
         ExitStatus::Usage,
         "",
         "--capture goes with the commands that talk to the chip, not doctor",
         ""},
        {"DoctorTakesNoText", {"doctor", "now"}, {}, ExitStatus::Usage, "", "doctor takes no text", ""},
    };
}

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class CliRun : public ::testing::TestWithParam<Row> {};

TEST_P(CliRun, StatusAndOutput) {
    const Row& row = GetParam();
    FakeSystem system;
    if (row.setUp)
        row.setUp(system);
    const Clock clock;
    EXPECT_EQ(RunCli({row.args, row.undecodable}, system, clock), row.status) << system.err.text;
    EXPECT_EQ(system.out.text, row.out);
    if (row.errHas.empty())
        EXPECT_EQ(system.err.text, "");
    else
        EXPECT_NE(system.err.text.find(row.errHas), std::string::npos) << system.err.text;
    EXPECT_EQ(system.opened, row.opened);
    EXPECT_EQ(system.ran, !row.opened.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, CliRun, ::testing::ValuesIn(Rows()), vxt_test::RowName());

// What a watch printed, its capture replays line for line.
TEST(CliCapture, AMonitorsCaptureReplaysAsItWasWatched) {
    FakeSystem system;
    system.watch = [](TapWatch& m) {
        m.onTurn(std::string("\xFD\x00\x02\x21\x00", 5), "\x45");
        m.onTurn(std::string("\x01\x02", 2), {});
        m.interrupt(2);
    };
    const Clock clock;
    ASSERT_EQ(RunCli({{"--capture", "w.pcapng", "monitor", "--host", "COM2", "--chip", "COM3"}, {}},
                     system, clock),
              ExitStatus::Findings)
        << system.err.text;
    const std::string watched = system.out.text;
    const CaptureContents c = ReadCapture(system.made["w.pcapng"]);
    ASSERT_EQ(c.interfaces.size(), 2u);
    EXPECT_EQ(c.interfaces[1].name, "COM3");
    ASSERT_EQ(c.packets.size(), 3u);
    EXPECT_EQ(c.packets[0].comment, "查询");
    EXPECT_EQ(c.packets[1].direction, CaptureDirection::FromChip);

    FakeSystem again;
    again.files["w.pcapng"] = system.made["w.pcapng"];
    EXPECT_EQ(RunCli({{"replay", "w.pcapng"}, {}}, again, clock), ExitStatus::Findings);
    EXPECT_EQ(again.out.text, watched);
}

} // namespace
