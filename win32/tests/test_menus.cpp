// The context menus' files and the tooltips of the Windows window: what
// each entry reads and writes, and what the window says when it cannot.
#include "core/hex_entry_check.h"
#include "win32/win_port_list.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::string ReadAll(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "<absent>";
    std::string bytes(4096, '\0');
    DWORD n = 0;
    ReadFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(f);
    bytes.resize(n);
    return bytes;
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

// The window (never shown: no port is opened) with its dialogs and message
// boxes answered by the test, in a folder of the test's own.
class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"vxt4710-menus-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        window_ = std::make_unique<Form1Window>(GetModuleHandleW(nullptr));
        window_->SetMessageBox([this](std::u16string_view text) { said_.emplace_back(text); });
        window_->SetFileDialog([this](HWND, const TextFileDialog& d) {
            asked_.push_back(&d);
            return answer_;
        });
    }
    void TearDown() override {
        window_.reset();
        for (const wchar_t* name : {L"a.txt", L"big.txt", L"out.txt"})
            DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    void Answer(const wchar_t* name, int filter = 0) { answer_ = {folder_ + name, filter}; }

    std::wstring folder_;
    std::unique_ptr<Form1Window> window_;
    std::vector<std::u16string> said_;
    std::vector<const TextFileDialog*> asked_;
    FileDialogAnswer answer_;
};

TEST_F(MenuTest, EachBigTextBoxHasItsEntriesAfterTheEditOnes) {
    const auto entries = [this](const char* name) {
        HMENU menu = window_->MakeContextMenu(window_->ControlHandle(name));
        std::vector<std::wstring> texts;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, UINT(i), text, 64, MF_BYPOSITION);
            if (text[0])
                texts.push_back(text);
        }
        DestroyMenu(menu);
        return texts;
    };
    const std::vector<std::wstring> edit{L"撤消(&U)", L"剪切(&T)", L"复制(&C)",
                                         L"粘贴(&P)", L"删除(&D)", L"全选(&L)"};
    auto text3 = edit;
    text3.insert(text3.end(), {L"打开文本文件(&O)…", L"另存为(&A)…"});
    auto text4 = edit;
    text4.insert(text4.end(), {L"通信分析(&I)…", L"保存工作记录(&S)…"});
    EXPECT_EQ(entries("Text3"), text3);
    EXPECT_EQ(entries("Text4"), text4);
}

TEST_F(MenuTest, OpenTextFileLoadsOrSaysWhy) {
    const struct {
        const char* name;
        std::string bytes; // "" with absent: no file
        bool absent;
        std::u16string text; // Text3 afterwards
        std::u16string said;
    } cases[] = {
        {"GBK", "\xC4\xE3\xBA\xC3\n", false, u"你好\r\n", {}},
        {"UTF-8 with mark", "\xEF\xBB\xBF\xE4\xBD\xA0", false, u"你", {}},
        {"bytes that are no text", "\xC4\xE3\xFF", false, u"你\uFFFD",
         u"a.txt 按 GBK 读取，有 1 处字节不成文字（第一处在第 3 字节），已换成 �，发送时为 ?（文件未作任何改动）"},
        {"absent", "", true, u"before", u"a.txt 不存在或不是文件，未载入"},
        {"over 1 MB", std::string(size_t(kOpenTextMaxBytes) + 1, 'x'), false, u"before",
         u"a.txt 超过1MB，未载入（文件未作任何改动）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        said_.clear();
        window_->Text3->SetText(u"before");
        DeleteFileW((folder_ + L"a.txt").c_str());
        if (!c.absent)
            WriteAll(folder_ + L"a.txt", c.bytes);
        Answer(L"a.txt");
        window_->OpenTextFile();
        EXPECT_EQ(window_->Text3->Text(), c.text);
        EXPECT_EQ(said_, c.said.empty() ? std::vector<std::u16string>{} : std::vector{c.said});
    }
    // Cancelled: nothing changes, nothing is said.
    said_.clear();
    answer_ = {};
    window_->OpenTextFile();
    EXPECT_EQ(window_->Text3->Text(), u"before");
    EXPECT_TRUE(said_.empty());
}

TEST_F(MenuTest, SavesWriteTheChosenEncodingAndKeepTheOldFileOnFailure) {
    const struct {
        const char* name;
        void (Form1Window::*save)();
        std::u16string text;
        int filter;
        std::string bytes; // out.txt afterwards (it held "old")
        std::u16string said;
    } cases[] = {
        {"text as GBK", &Form1Window::SaveTextAs, u"你好\n", 0, "\xC4\xE3\xBA\xC3\r\n", {}},
        {"text as UTF-8", &Form1Window::SaveTextAs, u"你好", 1, "\xE4\xBD\xA0\xE5\xA5\xBD", {}},
        {"text GBK lacks", &Form1Window::SaveTextAs, u"한", 0, "old", std::u16string(kUnencodableMessage)},
        {"log as UTF-8", &Form1Window::SaveLog, u"第1行\n", 0, "\xE7\xAC\xAC" "1\xE8\xA1\x8C\r\n", {}},
        {"log as GBK", &Form1Window::SaveLog, u"第1行\n", 1, "\xB5\xDA" "1\xD0\xD0\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        said_.clear();
        WriteAll(folder_ + L"out.txt", "old");
        window_->Text3->SetText(c.text);
        window_->Text4->SetText(u"");
        window_->Text4->AppendText(c.text);
        Answer(L"out.txt", c.filter);
        (window_.get()->*c.save)();
        EXPECT_EQ(ReadAll(folder_ + L"out.txt"), c.bytes);
        EXPECT_EQ(said_, c.said.empty() ? std::vector<std::u16string>{} : std::vector{c.said});
        EXPECT_EQ(ReadAll(folder_ + L"out.txt.vxt4710-part"), "<absent>");
    }
    // A folder that does not exist: the system's reason, nothing written.
    said_.clear();
    answer_ = {folder_ + L"no-such-folder\\out.txt", 0};
    window_->SaveLog();
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_EQ(said_[0].rfind(u"无法写入 out.txt：", 0), 0u) << std::string(said_[0].begin(), said_[0].end());
    EXPECT_GT(said_[0].size(), std::u16string(u"无法写入 out.txt：").size());
}

TEST_F(MenuTest, TheHexEntryTipFollowsItsText) {
    HWND text5 = window_->ControlHandle("Text5");
    for (const char16_t* text : {u"fd 00 02 21", u"fd 00 0g", u""}) {
        window_->Text5->SetText(text);
        EXPECT_EQ(window_->ToolTipText(text5), HexEntryTip(text));
    }
    EXPECT_EQ(window_->ToolTipText(window_->ControlHandle("Text3")), u"");
}

TEST(PortListTip, TheChosenPortFirstThenTheOthers) {
    const std::map<int, std::u16string> two{{1, u"\\Device\\Serial0"}, {3, u"\\Device\\VCP0"}};
    const struct {
        std::u16string chosen;
        std::map<int, std::u16string> ports;
        std::u16string tip;
    } cases[] = {
        {u"COM3", two, u"COM3 → \\Device\\VCP0\r\nCOM1 → \\Device\\Serial0"},
        {u"COM2", two, u"COM2：没有对应的串口设备\r\nCOM1 → \\Device\\Serial0\r\nCOM3 → \\Device\\VCP0"},
        {u"COM12", {}, u"COM12：没有对应的串口设备"},
        {u"com1", two, u"COM1 → \\Device\\Serial0\r\nCOM3 → \\Device\\VCP0"},
        {u"", {}, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortListTip(c.chosen, c.ports), c.tip);
}

} // namespace
