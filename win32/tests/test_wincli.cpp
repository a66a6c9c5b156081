// vxt4710-cli.exe's Windows parts: its arguments, standard streams and
// files in UTF-16 and UTF-8, and the port names.
#include "core/exit_status.h"
#include "core/text_util.h"
#include "platform/files.h"
#include "win32/cli/win_cli_io.h"
#include "win32/cli/win_cli_run.h"
#include "win32/cli/win_cli_session.h"
#include "win32/win_port.h"
#include "win32/win_text.h"

#include <gtest/gtest.h>

namespace {

TEST(WinCliText, WholeUtf16) {
    const struct {
        std::u16string text;
        bool whole;
    } cases[] = {
        {u"", true},
        {u"你好", true},
        {u"\U0001F600", true},                                       // a pair
        {std::u16string(1, char16_t(0xD83D)), false},                // a lead alone
        {std::u16string(1, char16_t(0xDE00)), false},                // a trail alone
        {std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, false}, // the wrong order
        {std::u16string{u'a', char16_t(0xD83D), u'b'}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWholeUtf16(c.text), c.whole) << Utf8FromUtf16(c.text);
}

TEST(WinCliText, ArgumentsBecomeUtf8OrNameTheBadOne) {
    wchar_t program[] = L"vxt4710-cli.exe";
    wchar_t speak[] = L"speak";
    wchar_t chinese[] = L"你好，世界";
    wchar_t bad[] = {wchar_t(0xD800), L'x', 0};
    const struct {
        std::vector<wchar_t*> argv;
        std::optional<std::vector<std::string>> args;
        int bad;
    } cases[] = {
        {{program}, std::vector<std::string>{}, 0},
        {{program, speak, chinese}, std::vector<std::string>{"speak", "你好，世界"}, 0},
        {{program, speak, bad}, std::nullopt, 2},
        {{program, bad, speak}, std::nullopt, 1},
    };
    for (const auto& c : cases) {
        int which = 0;
        std::vector<wchar_t*> argv = c.argv;
        EXPECT_EQ(ArgumentsOf(int(argv.size()), argv.data(), &which), c.args);
        EXPECT_EQ(which, c.bad);
    }
}

TEST(WinCliText, TypedTextEndsAtCtrlZ) {
    const struct {
        std::u16string typed, kept;
        bool ended;
    } cases[] = {
        {u"你好\r\n", u"你好\r\n", false}, {u"\x1a\r\n", u"", true}, {u"ab\x1a\r\n", u"ab", true},
        {u"a\x1a b\x1a", u"a", true},      {u"", u"", false},
    };
    for (const auto& c : cases) {
        bool ended = false;
        EXPECT_EQ(files::TypedBeforeEnd(c.typed, &ended), c.kept);
        EXPECT_EQ(ended, c.ended);
    }
}

TEST(WinCliPorts, ComNamesAreThePortsThemselves) {
    const struct {
        const char* port;
        const wchar_t* path;
        const char* name;
    } cases[] = {
        {"COM1", L"\\\\.\\COM1", "COM1"},    {"com07", L"\\\\.\\COM7", "COM7"},
        {"Com20", L"\\\\.\\COM20", "COM20"}, {"\\\\.\\COM25", L"\\\\.\\COM25", "\\\\.\\COM25"},
        {"串口", L"串口", "串口"},
    };
    for (const auto& c : cases) {
        const WinPortChoice choice = ChooseWinPort(c.port, L"");
        EXPECT_EQ(choice.path, c.path) << c.port;
        EXPECT_EQ(choice.name, c.name);
    }
}

TEST(WinCliPorts, ErrorTextsAreOneLineOrTheNumber) {
    const struct {
        DWORD error;
        bool numbered;
    } cases[] = {{ERROR_FILE_NOT_FOUND, false}, {ERROR_ACCESS_DENIED, false}, {0x2FFFFFFF, true}};
    for (const auto& c : cases) {
        const std::string text = WinPort::ErrorText(c.error);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
        EXPECT_EQ(text == "system error " + std::to_string(c.error), c.numbered) << text;
    }
}

// What a user reads: a port another program holds and a device that is gone
// say so before the system's own words.
TEST(WinCliPorts, HeldAndGoneSaySo) {
    const struct {
        std::string text;
        const char* starts;
    } cases[] = {
        {WinPort::OpenFailureText(ERROR_ACCESS_DENIED), "the port is held by another program ("},
        {WinPort::OpenFailureText(ERROR_SHARING_VIOLATION),
         "the port is held by another program ("},
        {WinPort::OpenFailureText(ERROR_FILE_NOT_FOUND), ""},
        {WinPort::LostText(0), "the device is gone"},
        {WinPort::LostText(ERROR_GEN_FAILURE), "the device is gone ("},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text.rfind(c.starts, 0), 0u) << c.text;
    EXPECT_EQ(WinPort::OpenFailureText(ERROR_FILE_NOT_FOUND),
              WinPort::ErrorText(ERROR_FILE_NOT_FOUND));
}

// A standard input that cannot be read at all (closed) is empty, as Linux
// reads /dev/null in its place; any other handle's failure stays one.
TEST(WinCliPipes, AClosedStandardInputReadsAsEmpty) {
    std::string reason;
    EXPECT_EQ(ReadHandle(INVALID_HANDLE_VALUE, &reason, true), std::string()) << reason;
    EXPECT_EQ(ReadHandle(INVALID_HANDLE_VALUE, &reason), std::nullopt);
}

// A folder of the test's own, removed after it.
class Scratch : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"vxt4710-wincli-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::wstring& f : made_)
            DeleteFileW(f.c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    std::string Make(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = dir_ + L"\\" + name;
        const HANDLE h =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr);
        CloseHandle(h);
        made_.push_back(path);
        return Utf8FromUtf16(U16(path));
    }
    std::wstring dir_;
    std::vector<std::wstring> made_;
};

using WinCliFiles = Scratch;

TEST_F(WinCliFiles, FilesByTheirUtf16NamesAndTheSystemsReason) {
    const std::string gbk = Make(L"介绍.txt", "\xC4\xE3\xBA\xC3");
    const std::string empty = Make(L"空.txt", "");
    const struct {
        std::string path;
        std::optional<std::string> bytes;
    } cases[] = {
        {gbk, "\xC4\xE3\xBA\xC3"},
        {empty, ""},
        {gbk + ".missing", std::nullopt},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(files::ReadSpoken(c.path, &reason), c.bytes) << c.path;
        EXPECT_EQ(reason.empty(), c.bytes.has_value()) << reason;
    }
}

// Output into a file or pipe is the UTF-8 bytes as they are: no CR added,
// no code page.
TEST_F(WinCliFiles, OutputIntoAFileIsTheBytesAndReadsBack) {
    const std::string path = Make(L"out.txt", "");
    const HANDLE h = CreateFileW(Wide(Utf16FromUtf8(path)).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
    HandleOutput out(h);
    EXPECT_FALSE(out.console());
    std::string failure;
    const std::string lines = "->发出一帧 FD 00 02 21 DE\n<-0x4F  芯片空闲\n";
    EXPECT_TRUE(out.write(lines, &failure)) << failure;
    CloseHandle(h);
    std::string reason;
    EXPECT_EQ(files::ReadSpoken(path, &reason), lines);
}

TEST(WinCliPipes, StandardInputFromAPipeEndsWhenTheWriterCloses) {
    const struct { std::string bytes; } cases[] = {{""}, {"你好\r\n"}, {std::string(100000, 'a')}};
    for (const auto& c : cases) {
        HANDLE read = nullptr, write = nullptr;
        ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 20));
        HandleOutput out(write);
        std::string failure;
        EXPECT_TRUE(out.write(c.bytes, &failure)) << failure;
        CloseHandle(write);
        std::string reason;
        EXPECT_EQ(ReadHandle(read, &reason), c.bytes) << reason;
        CloseHandle(read);
    }
}

TEST(WinCliPipes, WritingIntoAPipeNobodyReadsFailsWithAReason) {
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    CloseHandle(read);
    HandleOutput out(write);
    std::string failure;
    EXPECT_FALSE(out.write("line\n", &failure));
    EXPECT_FALSE(failure.empty());
    CloseHandle(write);
}

TEST(WinCliRun, RefusalsBeforeThePortIsTouched) {
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"talk"}, ExitStatus::Usage},
        {{"--port", "COM1", "hex", "fd zz"}, ExitStatus::Usage},
        {{"--port", "COM1", "speak", "-f", "C:\\no\\such\\file.txt"}, ExitStatus::NoInput},
        {{"--port", "\\\\.\\NoSuchPortAnywhere", "query"}, ExitStatus::Port},
        {{"--version"}, ExitStatus::Ok},
    };
    for (const auto& c : cases) {
        SteadyClock clock;
        EXPECT_EQ(RunWinCli(c.args, clock), c.status) << c.args.back();
    }
}

} // namespace
