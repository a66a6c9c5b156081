// The command-line program's parts: its options, how it reads a text file,
// the pieces it cuts a text into, and its JSON.
#include "cli/posix_ports.h"
#include "platform/files.h"
#include "core/cli_options.h"
#include "core/cli_plan.h"
#include "core/cli_session.h"
#include "core/demo_texts.h"
#include "core/exit_status.h"
#include "core/frame_builders.h"
#include "core/json_writer.h"
#include "core/tests/row_name.h"
#include "core/text_decode.h"
#include "core/text_input.h"
#include "qt/qt_text.h"
#include "serial/port_names.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> Args(std::initializer_list<const char*> args) {
    return std::vector<std::string>(args.begin(), args.end());
}

struct GoodCase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(const CliOptions&)> check;
};

void PrintTo(const GoodCase& c, std::ostream* os) {
    *os << c.name;
}

class GoodUsage : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodUsage, Parses) {
    const CliParse p = ParseCliArguments(GetParam().args);
    ASSERT_TRUE(p.options.has_value()) << p.error;
    GetParam().check(*p.options);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GoodUsage,
    ::testing::Values(GoodCase{"Defaults", Args({"query"}),
                               [](const CliOptions& o) {
                                   EXPECT_EQ(o.command, CliCommand::Query);
                                   EXPECT_EQ(o.port, "COM1");
                                   EXPECT_EQ(o.rate, 9600);
                                   EXPECT_EQ(o.timeoutSeconds, 60);
                                   EXPECT_FALSE(o.json);
                               }},
                      GoodCase{"GlobalOptions",
                               Args({"--port", "/dev/ttyUSB0", "--rate", "38400", "--timeout",
                                     "0.5", "--json", "stop"}),
                               [](const CliOptions& o) {
                                   EXPECT_EQ(o.port, "/dev/ttyUSB0");
                                   EXPECT_EQ(o.rate, 38400);
                                   EXPECT_EQ(o.timeoutSeconds, 0.5);
                                   EXPECT_TRUE(o.json);
                                   EXPECT_EQ(o.command, CliCommand::Stop);
                               }},
                      GoodCase{"SpeakWords",
                               Args({"speak", "你好", "世界", "--music", "15", "--no-wait"}),
                               [](const CliOptions& o) {
                                   EXPECT_EQ(o.words, Args({"你好", "世界"}));
                                   EXPECT_FALSE(o.file.has_value());
                                   EXPECT_EQ(o.music, 15);
                                   EXPECT_TRUE(o.noWait);
                               }},
                      GoodCase{"SpeakConfirmIdle", Args({"speak", "--confirm-idle", "a"}),
                               [](const CliOptions& o) { EXPECT_TRUE(o.confirmIdle); }},
                      GoodCase{"SpeakFile", Args({"speak", "-f", "a.txt", "--port", "COM3"}),
                               [](const CliOptions& o) {
                                   EXPECT_EQ(o.file.value_or(""), "a.txt");
                                   EXPECT_EQ(o.port, "COM3");
                               }},
                      GoodCase{"SpeakStandardInput", Args({"speak", "-"}),
                               [](const CliOptions& o) { EXPECT_EQ(o.file.value_or(""), "-"); }},
                      GoodCase{"SpeakDashTextAfterDoubleDash", Args({"speak", "--", "-5度"}),
                               [](const CliOptions& o) { EXPECT_EQ(o.words, Args({"-5度"})); }},
                      GoodCase{"Rate", Args({"rate", "19200"}),
                               [](const CliOptions& o) { EXPECT_EQ(o.newRate, 19200); }},
                      GoodCase{"HexTyped", Args({"hex", "fd 00 02 02 fd", "--typed-checksum"}),
                               [](const CliOptions& o) {
                                   EXPECT_EQ(o.argument, "fd 00 02 02 fd");
                                   EXPECT_TRUE(o.typedChecksum);
                               }},
                      GoodCase{"Mark", Args({"mark", "v10"}),
                               [](const CliOptions& o) { EXPECT_EQ(o.argument, "v10"); }},
                      GoodCase{"HelpWithoutCommand", Args({"--help"}),
                               [](const CliOptions& o) { EXPECT_TRUE(o.help); }}),
    [](const auto& info) { return std::string(info.param.name); });

class BadUsage : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadUsage, IsRefusedWithAMessage) {
    const CliParse p = ParseCliArguments(GetParam());
    EXPECT_FALSE(p.options.has_value()) << ::testing::PrintToString(GetParam());
    EXPECT_FALSE(p.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadUsage,
    ::testing::Values(Args({}), Args({"--json"}), Args({"talk"}), Args({"--bogus", "query"}),
                      Args({"--rate", "115200", "query"}), Args({"--rate"}),
                      Args({"--timeout", "0", "query"}), Args({"--timeout", "x", "query"}),
                      Args({"--timeout", "nan", "query"}), Args({"--port", "", "query"}),
                      Args({"speak"}), Args({"speak", "-f"}), Args({"speak", "-f", "a", "b"}),
                      Args({"speak", "--music", "16", "a"}), Args({"speak", "--music", "-1", "a"}),
                      Args({"speak", "--music", "x", "a"}),
                      Args({"speak", "--typed-checksum", "a"}), Args({"query", "now"}),
                      Args({"rate"}), Args({"rate", "4800"}), Args({"rate", "9600", "19200"}),
                      Args({"mark"}), Args({"hex", "fd", "00"}),
                      Args({"hex", "--music", "1", "fd"}), Args({"stop", "--no-wait"})),
    [](const auto& info) {
        std::string line = "Args";
        for (const std::string& a : info.param)
            line += " " + a;
        return vxt_test::CaseName(line, info.index);
    });

INSTANTIATE_TEST_SUITE_P(ConfirmIdle, BadUsage,
                         ::testing::Values(Args({"speak", "--confirm-idle", "--no-wait", "a"}),
                                           Args({"query", "--confirm-idle"})),
                         [](const auto& info) {
                             std::string line = "Args";
                             for (const std::string& a : info.param)
                                 line += " " + a;
                             return vxt_test::CaseName(line, info.index);
                         });

struct FileCase {
    const char* name;
    QByteArray bytes;
    std::optional<QString> text;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class TextFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(TextFiles, Decode) {
    std::string reason;
    const auto text = SpokenText(StdView(GetParam().bytes), false, &reason);
    EXPECT_EQ(text.has_value(), GetParam().text.has_value());
    if (text && GetParam().text) {
        EXPECT_EQ(ToQString(*text), *GetParam().text);
    }
    EXPECT_EQ(reason.empty(), GetParam().text.has_value());
}

QByteArray Gbk(const QString& s) {
    QStringEncoder e("GBK");
    return e.encode(s);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, TextFiles,
    ::testing::Values(FileCase{"Utf8", QStringLiteral("你好\r\n").toUtf8(),
                               QStringLiteral("你好\r\n")},
                      FileCase{"Utf8WithMark", "\xEF\xBB\xBF" + QStringLiteral("你好").toUtf8(),
                               QStringLiteral("你好")},
                      FileCase{"Gbk", Gbk(QStringLiteral("欢迎使用语音合成芯片")),
                               QStringLiteral("欢迎使用语音合成芯片")},
                      FileCase{"Ascii", QByteArray("hello"), QStringLiteral("hello")},
                      FileCase{"Utf16LE", QByteArray("\xFF\xFE`O}Y", 6), QStringLiteral("你好")},
                      FileCase{"Utf16BE", QByteArray("\xFE\xFFO`Y}", 6), QStringLiteral("你好")},
                      FileCase{"Utf16CutInHalf", QByteArray("\xFF\xFE`O}", 5), std::nullopt},
                      FileCase{"Empty", QByteArray(), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFiles, AMarkBeforeBytesThatAreNoUtf8IsNoUtf8Either) {
    const QString text = ToQString(DecodeTextFile("\xEF\xBB\xBF\xC4\xE3").text);
    EXPECT_TRUE(text.startsWith(QStringLiteral("锘磕"))) << text.toStdString();
}

TEST(TextFiles, LineBreaksBecomeCrLf) {
    EXPECT_EQ(WithCrLf(u"a\nb\r\nc\rd\n\n"), u"a\r\nb\r\nc\r\nd\r\n\r\n");
    EXPECT_EQ(WithCrLf(u""), u"");
}

TEST(TextFiles, CommandLineTextMustBeUtf8) {
    EXPECT_EQ(DecodeUtf8("\xE4\xBD\xA0"), u"你");
    EXPECT_FALSE(DecodeUtf8("\xC4\xE3").has_value());
}

// speak -f takes a file by the console's rule; where anything would become
// "?" it sends nothing, ends with 65 and says what and where.
TEST(TextFiles, SpeakFollowsTheTextFileRule) {
    const struct {
        const char* name;
        QByteArray bytes;
        QString spoken; // empty: refused
        const char* error;
    } cases[] = {
        // "你好" in UTF-8, then E4 B8: GBK text, whole.
        {"UTF-8 cut off at the end", QByteArray::fromHex("e4bda0e5a5bde4b8"),
         QStringLiteral("浣犲ソ涓"), ""},
        {"FF FE FD in GBK",
         QByteArray::fromHex("c4e3fffefd41"),
         {},
         "read as GBK, 2 places are no text (the first at byte 3)"},
        {"a GBK lead byte at the end",
         QByteArray::fromHex("c4e3ba"),
         {},
         "read as GBK, 1 place is no text (the first at byte 3)"},
        {"odd-length UTF-16",
         QByteArray::fromHex("fffe604f7d"),
         {},
         "read as UTF-16, 1 place is no text (the first at byte 5)"},
        {"a lone surrogate",
         QByteArray::fromHex("fffe3dd84100"),
         {},
         "read as UTF-16, 1 place is no text (the first at byte 3)"},
        {"NUL bytes",
         QByteArray::fromHex("61006200"),
         {},
         "read as UTF-8, 2 places are no text (the first at byte 2)"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.txt"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.bytes);
        file.close();
        const CliParse parse = ParseCliArguments({"speak", "-f", path.toStdString()});
        ASSERT_TRUE(parse.options.has_value());
        const FramePlan plan = PlanFrames(*parse.options, files::ReadSpoken);
        if (c.spoken.isEmpty()) {
            EXPECT_EQ(plan.status, ExitStatus::DataError);
            EXPECT_TRUE(plan.frames.empty());
            const QString error = QString::fromStdString(plan.error);
            EXPECT_TRUE(error.startsWith(path + QStringLiteral(": ") + c.error)) << plan.error;
            EXPECT_TRUE(error.endsWith(QStringLiteral("nothing sent")));
        } else {
            EXPECT_EQ(plan.status, ExitStatus::Ok) << plan.error;
            ASSERT_EQ(plan.frames.size(), 1);
            EXPECT_EQ(ToQBytes(plan.frames[0].bytes).toHex(' '),
                      ToQBytes(TextFrame(ToU16(c.spoken))).toHex(' '));
        }
    }
}

TEST(Pieces, ChipIntroductionGoesOutAsTheWindowCutsIt) {
    QList<int> sizes;
    for (const std::string& f : TextPieces(ChipIntroText(), 0))
        sizes << int(f.size()) - 6;
    EXPECT_EQ(sizes, (QList<int>{200, 199, 200, 199, 187}));
}

TEST(Pieces, MusicGoesIntoEveryPiece) {
    const std::vector<std::string> pieces = TextPieces(std::u16string(450, u'a'), 3);
    ASSERT_EQ(pieces.size(), 3);
    for (const std::string& f : pieces)
        EXPECT_EQ(uint8_t(f[4]), 3 * 8 + 1);
}

TEST(PortFailure, MessageReasonAndTheGroupHintOnlyWhenAccessWasDenied) {
    LineError busy{"Device or resource busy", false};
    EXPECT_EQ(QString::fromStdString(PortFailureText("/dev/ttyUSB0", busy)).split(u'\n'),
              (QStringList{QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备"),
                           QStringLiteral("/dev/ttyUSB0: Device or resource busy")}));
    LineError denied{"Permission denied", true};
    const QStringList lines =
        QString::fromStdString(PortFailureText("/dev/ttyUSB0", denied)).split(u'\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].contains(QStringLiteral("dialout")));
}

TEST(Json, StringsSurviveAParser) {
    const QString nasty = QStringLiteral("引号\" 反斜杠\\ 换行\n 回车\r 制表\t 控制\x01 末尾");
    const QByteArray line = "{\"s\": " + ToQBytes(JsonString(nasty.toStdString())) + "}";
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    EXPECT_EQ(doc.object().value(QStringLiteral("s")).toString(), nasty);
}

} // namespace

// Where --port leads, with the ports folder and the system's list given.
TEST(PortOption, ChoosesTheDeviceAndSaysWhenTheSystemsListGaveIt) {
    PortsFolder ports;
    ports.link(2, QStringLiteral("/dev/vxt4710-adapter"));
    const std::vector<std::string> system = {"/dev/ttyUSB0", "/dev/ttyACM0"};
    const std::string folder = ports.path().toStdString();
    const std::string here = QDir::currentPath().toStdString();
    const struct {
        const char* port;
        std::string device;
        std::string notice; // empty: none
        bool asksTheSystem;
    } cases[] = {
        {"COM1", "/dev/ttyUSB0",
         "COM1 stands for /dev/ttyUSB0, the system's serial port 1 of 2 (there is no link com1 "
         "in " +
             folder + ")",
         true},
        {"com02", "/dev/vxt4710-adapter", {}, false},
        {"COM3", {}, {}, true},
        {"/dev/ttyS9", "/dev/ttyS9", {}, false},
        {"pts/0", here + "/pts/0", {}, false},
        {"./COM21", here + "/COM21", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        int asked = 0;
        const PortRoute route = RoutePosixPort(c.port, folder, [&] {
            ++asked;
            return system;
        });
        EXPECT_EQ(route.device, c.device);
        EXPECT_EQ(route.notice, c.notice);
        EXPECT_EQ(asked > 0, c.asksTheSystem);
        EXPECT_EQ(route.failure.empty(), !c.device.empty());
    }
}

// The command-line program's copy of the port rules (cli/posix_ports.h) and
// the window's (serial/port_names.h) lead every COM name to the same place
// and order the system's ports alike.
TEST(PortOption, TheProgramAndTheWindowResolveAlike) {
    PtyPeer peer;
    QTemporaryDir dev;
    const QString byId = dev.path() + QStringLiteral("/usb-Adapter_1234-if00-port0");
    ASSERT_TRUE(QFile::link(peer.devicePath(), byId));
    PortsFolder ports;
    ports.link(1, peer.devicePath());
    ports.link(2, byId);
    ports.link(3, QStringLiteral("/dev/vxt4710-unplugged"));
    ports.link(4, QStringLiteral("rfc2217://lab:4000"));
    ports.link(8, QStringLiteral("../elsewhere/./tty9"));
    const auto plainFile = [&](int n, const QByteArray& content) {
        QFile file(ports.path() + QStringLiteral("/com%1").arg(n));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    plainFile(5, "socket://lab:4001\r\n");
    plainFile(6, "not an address");
    plainFile(7, QByteArray(2000, 'x'));
    const std::vector<std::string> system = {
        "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1",
        "/dev/ttyS2",   "/dev/ttyS3",   "/dev/ttyS4",   "/dev/ttyS5", "/dev/ttyS6"};
    QStringList qtSystem;
    for (const std::string& device : system)
        qtSystem << QString::fromStdString(device);
    const std::string folder = ports.path().toStdString();
    for (int n = -1; n <= 21; ++n) {
        SCOPED_TRACE(n);
        const PortLookup mine = LookUpPort(n, folder, [&] { return system; });
        const PortResolution window = ResolvePort(n, ports.path(), [&] { return qtSystem; });
        EXPECT_EQ(static_cast<int>(mine.source), static_cast<int>(window.source));
        EXPECT_EQ(mine.device, window.device.toStdString());
        EXPECT_EQ(mine.failure, window.failure.toStdString());
        EXPECT_EQ(mine.systemCount, window.systemCount);
    }

    const std::vector<std::vector<std::string>> unsorted = {
        {"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB0"},
        {"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyUSB1", "/dev/ttyACM11", "/dev/ttyACM3"},
        {"/dev/ttyS10", "/dev/ttyAMA0", "/dev/ttyS9", "/dev/rfcomm0", "/dev/ttyS1"},
        {"/dev/ttyX1", "/dev/ttyX"},
        {"/dev/ttyS99999999999999999999", "/dev/ttyS1"},
    };
    for (const auto& devices : unsorted) {
        QStringList qt;
        for (const std::string& device : devices)
            qt << QString::fromStdString(device);
        std::string sorted;
        for (const std::string& device : SortedSystemPorts(devices))
            sorted += device + ' ';
        EXPECT_EQ(sorted, (SortSystemPorts(qt).join(' ') + ' ').toStdString());
    }
}
