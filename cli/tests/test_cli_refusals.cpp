// What vxt4710-cli refuses before it touches the port: typed hex that the
// window would cut short (a lone last digit), and bad usage, which under
// --json ends with a JSON result object like every other refusal.
#include "platform/files.h"
#include "core/cli_options.h"
#include "core/cli_plan.h"
#include "core/hex_entry.h"
#include "qt/qt_text.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct HexCase {
    const char* name;
    QString text;
    const char* frame; // the frame sent, or nullptr when refused
    const char* where; // refused: what the message says about the position
};

void PrintTo(const HexCase& c, std::ostream* os) {
    *os << c.name;
}

class CliHex : public ::testing::TestWithParam<HexCase> {};

TEST_P(CliHex, SendsTheTypedFrameOrRefusesItWithThePlace) {
    const HexCase& c = GetParam();
    CliOptions o;
    o.command = CliCommand::Hex;
    o.argument = c.text.toStdString();
    const FramePlan plan = PlanFrames(o, files::ReadSpoken);
    if (c.frame) {
        ASSERT_EQ(plan.status, 0) << plan.error;
        ASSERT_EQ(plan.frames.size(), 1);
        EXPECT_EQ(ToQBytes(plan.frames[0].bytes), QByteArray::fromHex(c.frame));
        return;
    }
    EXPECT_EQ(plan.status, 64);
    EXPECT_TRUE(plan.frames.empty());
    const QStringList lines = QString::fromStdString(plan.error).split(u'\n');
    ASSERT_EQ(lines.size(), 2) << plan.error;
    EXPECT_EQ(lines[0], QStringLiteral("格式不匹配，不是16进制数值"));
    EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8(c.where))) << lines[1].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CliHex,
    ::testing::Values(
        HexCase{"Query", QStringLiteral("fd 00 02 21"), "fd000221de", nullptr},
        // A trailing separator or line break is no lost digit.
        HexCase{"TrailingBlank", QStringLiteral("fd 00 02 21 "), "fd000221de", nullptr},
        HexCase{"TrailingLineFeed", QStringLiteral("fd 00\n"), "fd00fd", nullptr},
        HexCase{"TrailingCrLf", QStringLiteral("fd 00\r\n"), "fd00fd", nullptr},
        HexCase{"TwoTrailingBlanks", QStringLiteral("fd 00  "), "fd00fd", nullptr},
        // A digit whose partner is missing would be dropped: refused.
        HexCase{"LoneLastDigit", QStringLiteral("fd 00 0"), nullptr,
                "position 7: '0' is a lone digit"},
        HexCase{"LoneLastDigitUpper", QStringLiteral("fd 00 02 21 A"), nullptr,
                "position 13: 'A' is a lone digit"},
        HexCase{"LoneDigitWithoutSeparator", QStringLiteral("fd0002f"), nullptr,
                "position 7: 'f' is a lone digit"},
        HexCase{"SingleDigit", QStringLiteral("f"), nullptr, "position 1: 'f' is a lone digit"},
        HexCase{"LoneLastLetter", QStringLiteral("fd 00 g"), nullptr,
                "position 7: 'g' is no hexadecimal digit"},
        HexCase{"SingleLetter", QStringLiteral("x"), nullptr,
                "position 1: 'x' is no hexadecimal digit"},
        // The first bad digit comes first, also before a lone last digit.
        HexCase{"BadDigitBeforeLoneDigit", QStringLiteral("fd 0g 0"), nullptr,
                "position 5: 'g' is no hexadecimal digit"}),
    [](const auto& info) { return std::string(info.param.name); });

// The window's parsing stays as designed: it ignores the lone last digit.
TEST(CliHex, TheWindowStillIgnoresALoneLastDigit) {
    EXPECT_EQ(ParseHexGroups(u"fd 00 0"), std::string("\xfd\x00", 2));
    EXPECT_EQ(HexLoneTail(u"fd 00 0"), 6);
    EXPECT_EQ(HexLoneTail(u"fd 00 "), -1);
    EXPECT_EQ(HexLoneTail(u"fd 00"), -1);
}

struct UsageCase {
    const char* name;
    QStringList args;
    bool json;
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

// The real program: status 64 and the usage line on standard error; under
// --json also one final result object on standard output, nothing else.
TEST_P(CliUsage, EndsWith64AndUnderJsonWithAResultObject) {
    const UsageCase& c = GetParam();
    QTemporaryDir config;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(VXT_CLI_PATH), c.args);
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 64);
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("\nusage: vxt4710-cli "))) << err.toStdString();
    const QByteArray out = cli.readAllStandardOutput();
    if (!c.json) {
        EXPECT_EQ(out, QByteArray());
        return;
    }
    ASSERT_TRUE(out.endsWith('\n'));
    ASSERT_EQ(out.count('\n'), 1) << out.toStdString();
    QJsonParseError error;
    const QJsonObject result = QJsonDocument::fromJson(out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
    EXPECT_EQ(result.value(QStringLiteral("result")).toString(), QStringLiteral("usage"));
    EXPECT_EQ(result.value(QStringLiteral("status")).toInt(), 64);
    // The message is the one on standard error.
    const QString message = result.value(QStringLiteral("message")).toString();
    EXPECT_FALSE(message.isEmpty());
    EXPECT_TRUE(err.startsWith(QStringLiteral("vxt4710-cli: ") + message)) << err.toStdString();
}

QStringList Args(std::initializer_list<const char*> args) {
    QStringList list;
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CliUsage,
    ::testing::Values(UsageCase{"UnknownCommand", Args({"--json", "talk"}), true},
                      UsageCase{"JsonAfterTheMistake", Args({"talk", "--json"}), true},
                      UsageCase{"BadRate", Args({"--rate", "4800", "--json", "query"}), true},
                      UsageCase{"NoCommand", Args({"--json"}), true},
                      UsageCase{"HexOperands", Args({"--json", "hex", "fd", "00"}), true},
                      UsageCase{"JsonAsAnOperand", Args({"rate", "--", "--json"}), false},
                      UsageCase{"WithoutJson", Args({"talk"}), false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
