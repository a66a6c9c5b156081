// The command-line program's options, help and text input as the core has
// them for every platform: the parts where a port to plain C++ could drift
// from what the program always accepted.
#include "core/cli_options.h"
#include "core/cli_plan.h"
#include "core/exit_status.h"
#include "core/text_input.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// What a user types for the numbers, accepted or refused as it always was.
TEST(CliOptionsCore, NumbersAsTyped) {
    const struct {
        std::vector<std::string> args;
        const char* error; // empty: accepted
        double timeout;
        int music;
    } cases[] = {
        {{"--timeout", "0.5", "query"}, "", 0.5, 0},
        {{"--timeout", " 5 ", "query"}, "", 5, 0},
        {{"--timeout", "+5", "query"}, "", 5, 0},
        {{"--timeout", "1e1", "query"}, "", 10, 0},
        {{"--timeout", "86400", "query"}, "", 86400, 0},
        {{"--timeout", "86401", "query"},
         "--timeout wants seconds above 0, at most 86400, not '86401'",
         0,
         0},
        {{"--timeout", "5s", "query"},
         "--timeout wants seconds above 0, at most 86400, not '5s'",
         0,
         0},
        {{"--timeout", "0x10", "query"},
         "--timeout wants seconds above 0, at most 86400, not '0x10'",
         0,
         0},
        {{"--timeout", "inf", "query"},
         "--timeout wants seconds above 0, at most 86400, not 'inf'",
         0,
         0},
        {{"--timeout", "+-5", "query"},
         "--timeout wants seconds above 0, at most 86400, not '+-5'",
         0,
         0},
        {{"--timeout", "", "query"},
         "--timeout wants seconds above 0, at most 86400, not ''",
         0,
         0},
        {{"speak", "--music", "07", "a"}, "", 60, 7},
        {{"speak", "--music", "15", "a"}, "", 60, 15},
        {{"speak", "--music", "16", "a"}, "--music wants 0 to 15, not '16'", 0, 0},
        {{"speak", "--music", "007", "a"}, "--music wants 0 to 15, not '007'", 0, 0},
        {{"speak", "--music", "+1", "a"}, "--music wants 0 to 15, not '+1'", 0, 0},
        {{"speak", "--music", "1 ", "a"}, "--music wants 0 to 15, not '1 '", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const CliParse p = ParseCliArguments(c.args);
        EXPECT_EQ(p.error, c.error);
        if (!*c.error) {
            ASSERT_TRUE(p.options);
            EXPECT_EQ(p.options->timeoutSeconds, c.timeout);
            EXPECT_EQ(p.options->music, c.music);
        }
    }
}

TEST(CliOptionsCore, MessagesNameWhatWasTyped) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--port", "com21", "query"},
         "--port com21 is outside COM1 to COM20 (a file of that name: --port ./com21)"},
        {{"query", "--rate"}, "--rate wants a value"},
        {{"stop", "--no-wait"}, "stop: unknown option '--no-wait'"},
        {{"query", "now"}, "query takes no text, not 'now'"},
        {{"hex", "fd", "00"}, "hex wants one TEXT (quote it)"},
        {{"-x"}, "unknown option '-x'"},
        {{"talk"}, "unknown command 'talk'"},
        {{"--json"}, "no command given"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCliArguments(c.args).error, c.error);
}

TEST(CliOptionsCore, JsonAskedBeforeTheDoubleDashOnly) {
    const struct {
        std::vector<std::string> args;
        bool json;
    } cases[] = {
        {{"--json", "talk"}, true},
        {{"talk", "--json"}, true},
        {{"speak", "--", "--json"}, false},
        {{"speak", "a"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonAsked(c.args), c.json);
}

// Each platform's help says what holds there, and nothing of the other's.
TEST(CliOptionsCore, HelpPerPlatform) {
    const std::string onLinux = HelpText(CliPlatform::Linux, "/home/u/.config/vxt4710/ports");
    const std::string onWindows =
        HelpText(CliPlatform::Windows, "C:\\Users\\u\\AppData\\Roaming\\vxt4710\\ports");
    const struct {
        bool windows;
        const char* part;
        bool present;
    } cases[] = {
        {false, "                        /home/u/.config/vxt4710/ports\n", true},
        {false, "71 a closed standard stream", true},
        {false, "SIGHUP, SIGINT (Ctrl+C), SIGTERM", true},
        {false, "--port /dev/ttyUSB0", true},
        {false, "Ctrl+Z", false},
        {true, "(\\\\.\\COM<n>)", true},
        {true, "130 Ctrl+C, 143 Ctrl+Break", true},
        {true, "ended by\nCtrl+Z", true},
        {true, "/dev/", false},
        {true,
         "ports folder:\n                        C:\\Users\\u\\AppData\\Roaming\\vxt4710\\ports\n",
         true},
        {true, "%APPDATA%", false},
        {true, "rfc2217://HOST:PORT and socket://HOST:PORT", true},
        {true, "SIGHUP", false},
    };
    for (const auto& c : cases) {
        const std::string& text = c.windows ? onWindows : onLinux;
        EXPECT_EQ(text.find(c.part) != std::string::npos, c.present)
            << (c.windows ? "Windows: " : "Linux: ") << c.part;
    }
    for (const std::string* text : {&onLinux, &onWindows}) {
        EXPECT_EQ(text->rfind(UsageLine() + "\n\n", 0), 0u);
        for (const char* place : {"<PORT", "<STDIN>", "<SIGNALS>", "<EXAMPLES>"})
            EXPECT_EQ(text->find(place), std::string::npos) << place;
    }
}

// What the platform's reader found, in the words of the command line; the
// file is read as a stream (pipes too) up to 64 MiB, "-" from standard input.
TEST(TextInputCore, SpokenBytesSayWhyNot) {
    using O = FileRead::Outcome;
    const struct {
        const char* path;
        FileRead found;
        std::optional<std::string> bytes;
        const char* reason;
    } cases[] = {
        {"a.txt", {O::Read, "\xC4\xE3", {}}, "\xC4\xE3", ""},
        {"-", {O::Read, "", {}}, "", ""},
        {"big.txt", {O::TooLarge, {}, {}}, std::nullopt, "longer than 64 MiB"},
        {"-", {O::TooLarge, {}, {}}, std::nullopt, "longer than 64 MiB"},
        {"gone.txt",
         {O::Missing, {}, "No such file or directory"},
         std::nullopt,
         "No such file or directory"},
        {"dir", {O::Unreadable, {}, "Is a directory"}, std::nullopt, "Is a directory"},
        {"odd", {O::NotAFile, {}, {}}, std::nullopt, "not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string askedPath = "<none>";
        FileReadMode askedMode{};
        int64_t askedLimit = 0;
        const FileReader read = [&](const std::string& path, FileReadMode mode, int64_t limit) {
            askedPath = path;
            askedMode = mode;
            askedLimit = limit;
            return c.found;
        };
        std::string reason;
        EXPECT_EQ(SpokenBytes(read, c.path, &reason), c.bytes);
        EXPECT_EQ(reason, c.reason);
        const bool standardInput = std::string(c.path) == "-";
        EXPECT_EQ(askedMode, standardInput ? FileReadMode::StandardInput : FileReadMode::AnyFile);
        EXPECT_EQ(askedPath, standardInput ? "" : c.path);
        EXPECT_EQ(askedLimit, kSpokenTextMaxBytes);
    }
}

// speak's text from the words, a file or standard input, through the
// platform's reader.
TEST(TextInputCore, SpeakPlansFromTheReader) {
    const std::map<std::string, std::string> files = {
        {"gbk.txt", "\xC4\xE3\xBA\xC3"},             // 你好 in GBK
        {"bom.txt", "\xEF\xBB\xBF\xE4\xBD\xA0\x0A"}, // 你 LF with a mark
        {"-", "\xC4\xE3"},                           // GBK on standard input: no UTF-8
        {"nul.txt", std::string("a\0b", 3)},
    };
    const TextFileReader read = [&](const std::string& path,
                                    std::string* reason) -> std::optional<std::string> {
        const auto f = files.find(path);
        if (f == files.end()) {
            *reason = "not there";
            return std::nullopt;
        }
        return f->second;
    };
    const struct {
        std::vector<std::string> args;
        int status;
        const char* text;  // the frame's text bytes (GBK), status 0
        const char* error; // the start of the error, otherwise
    } cases[] = {
        {{"speak", "a", "b"}, 0, "a b", ""},
        {{"speak", "--", "-5", "x\ny"}, 0, "-5 x\r\ny", ""},
        {{"speak", "-f", "gbk.txt"}, 0, "\xC4\xE3\xBA\xC3", ""},
        {{"speak", "-f", "bom.txt"}, 0, "\xC4\xE3\r\n", ""},
        {{"speak", "-"}, ExitStatus::DataError, "", "standard input: read as UTF-8, 2 places"},
        {{"speak", "-f", "nul.txt"}, ExitStatus::DataError, "", "nul.txt: read as UTF-8, 1 place "},
        {{"speak", "-f", "gone.txt"}, ExitStatus::NoInput, "", "gone.txt: not there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliParse p = ParseCliArguments(c.args);
        ASSERT_TRUE(p.options) << p.error;
        const FramePlan plan = PlanFrames(*p.options, read);
        ASSERT_EQ(plan.status, c.status) << plan.error;
        if (c.status == 0) {
            ASSERT_EQ(plan.frames.size(), 1u);
            EXPECT_EQ(plan.frames[0].bytes.substr(5, plan.frames[0].bytes.size() - 6), c.text);
        } else {
            EXPECT_EQ(plan.error.rfind(c.error, 0), 0u) << plan.error;
        }
    }
}

} // namespace
