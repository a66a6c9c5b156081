// "通信分析" on Windows: the list shows the record as the core's table
// says, follows the traffic, shows a row's fields, clears and exports.
#include "core/traffic_capture.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::u16string ItemText(HWND list, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, row, LPARAM(&item));
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

std::string ReadAll(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "<absent>";
    std::string bytes(1 << 16, '\0');
    DWORD n = 0;
    ReadFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(f);
    bytes.resize(n);
    return bytes;
}

class AnalysisTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<Form1Window>(GetModuleHandleW(nullptr));
        window_->SetMessageBox([this](std::u16string_view text) { said_.emplace_back(text); });
        window_->SetFileDialog([this](HWND, const TextFileDialog& d) {
            caption_ = d.caption;
            return FileDialogAnswer{path_, 0};
        });
        // A text frame, its acceptance and its end, and a byte that is no status.
        auto& t = window_->Traffic;
        t.RecordSent(std::string("\xFD\x00\x07\x01\x01\xC4\xE3\xBA\xC3\xA4", 10));
        t.RecordReply(0x41, false);
        t.RecordReply(0x4F, false);
        t.RecordReply(0x99, false);
        window_->OpenAnalysis();
        Pump();
    }
    std::unique_ptr<Form1Window> window_;
    std::vector<std::u16string> said_;
    std::u16string caption_;
    std::wstring path_;
};

TEST_F(AnalysisTest, EveryCellAsTheCoreTableSaysAndARowsFields) {
    AnalysisWindowWin* a = window_->Analysis();
    ASSERT_NE(a, nullptr);
    const auto& t = window_->Traffic;
    ASSERT_EQ(SendMessageW(a->Table(), LVM_GETITEMCOUNT, 0, 0), t.Count());
    for (int row = 0; row < t.Count(); ++row) {
        for (int c = 0; c < TrafficColumn::Count; ++c)
            EXPECT_EQ(ItemText(a->Table(), row, c), TrafficCell(t, row, c, WinUtcOffset)) << row << "," << c;
    }
    EXPECT_EQ(ItemText(a->Table(), 3, TrafficColumn::Check), u"✗ 不是状态字节");

    // Selecting a row shows its fields.
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(a->Table(), LVM_SETITEMSTATE, 0, LPARAM(&state));
    const std::vector<FrameFieldRow> fields = TrafficFields(t, 0);
    ASSERT_EQ(SendMessageW(a->Fields(), LVM_GETITEMCOUNT, 0, 0), LRESULT(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(ItemText(a->Fields(), int(i), 1), fields[i].field);
        EXPECT_EQ(ItemText(a->Fields(), int(i), 3), fields[i].meaning);
    }
}

TEST_F(AnalysisTest, FollowsTheTrafficUnlessScrolledUpAndClears) {
    AnalysisWindowWin* a = window_->Analysis();
    auto& t = window_->Traffic;
    for (int i = 0; i < 300; ++i)
        t.RecordReply(0x4F, false);
    Pump();
    const auto lastVisible = [&] {
        return SendMessageW(a->Table(), LVM_GETTOPINDEX, 0, 0) +
               SendMessageW(a->Table(), LVM_GETCOUNTPERPAGE, 0, 0) >= t.Count();
    };
    EXPECT_EQ(SendMessageW(a->Table(), LVM_GETITEMCOUNT, 0, 0), t.Count());
    EXPECT_TRUE(lastVisible());
    SendMessageW(a->Table(), LVM_ENSUREVISIBLE, 0, FALSE);
    for (int i = 0; i < 50; ++i)
        t.RecordReply(0x4F, false);
    Pump();
    EXPECT_EQ(SendMessageW(a->Table(), LVM_GETTOPINDEX, 0, 0), 0); // kept its place

    SendMessageW(GetDlgItem(a->Handle(), 1), BM_CLICK, 0, 0); // 清空
    Pump();
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(SendMessageW(a->Table(), LVM_GETITEMCOUNT, 0, 0), 0);
}

// A babbling line: the list keeps pace with the record's newest rows and
// the title says how many older ones were let go; 清空 starts afresh.
TEST_F(AnalysisTest, ShowsThatOlderRecordsWereLetGo) {
    AnalysisWindowWin* a = window_->Analysis();
    auto& t = window_->Traffic;
    for (int i = 0; i < TrafficRecord::kMaxRecords; ++i)
        t.RecordReply(0x4E, false);
    Pump();
    EXPECT_EQ(SendMessageW(a->Table(), LVM_GETITEMCOUNT, 0, 0), t.Count());
    wchar_t title[128] = {};
    GetWindowTextW(a->Handle(), title, 128);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(title)),
              AnalysisTitle(TrafficRecord::kDropBatch));
    SendMessageW(GetDlgItem(a->Handle(), 1), BM_CLICK, 0, 0); // 清空
    GetWindowTextW(a->Handle(), title, 128);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(title)), kAnalysisTitle);
}

TEST_F(AnalysisTest, ExportsTheCoreCsvOrSaysWhyNot) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"vxt4710-analysis-" + std::to_wstring(GetCurrentProcessId()) + L".csv";
    AnalysisWindowWin* a = window_->Analysis();
    SendMessageW(GetDlgItem(a->Handle(), 2), BM_CLICK, 0, 0); // 导出CSV
    EXPECT_EQ(caption_, u"导出CSV");
    std::string expected;
    WriteTrafficCsv(window_->Traffic, WinUtcOffset, [&](std::string_view b) {
        expected += b;
        return true;
    });
    EXPECT_EQ(ReadAll(path_), expected);
    EXPECT_TRUE(said_.empty());
    DeleteFileW(path_.c_str());

    path_ = std::wstring(temp) + L"no-such-folder\\x.csv";
    EXPECT_FALSE(a->WriteCsv(path_));
    ASSERT_EQ(said_.size(), 1u);
    const std::u16string start = u"无法写入 " + std::u16string(path_.begin(), path_.end()) + u"：";
    EXPECT_EQ(said_[0].rfind(start, 0), 0u);
}

} // namespace

namespace {

void WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

std::u16string Title(HWND w) {
    wchar_t title[256] = {};
    GetWindowTextW(w, title, 256);
    return std::u16string(reinterpret_cast<const char16_t*>(title));
}

// The capture buttons: the export reads back as the rows, and opened it
// shows them in a window of its own; a cut file shows what could be read.
TEST_F(AnalysisTest, ExportsACaptureAndOpensItInAWindowOfItsOwn) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring name =
        L"vxt4710-analysis-" + std::to_wstring(GetCurrentProcessId()) + L".pcapng";
    path_ = std::wstring(temp) + name;
    AnalysisWindowWin* a = window_->Analysis();
    SendMessageW(GetDlgItem(a->Handle(), 5), BM_CLICK, 0, 0); // 导出抓包文件
    EXPECT_EQ(caption_, u"导出抓包文件");
    const std::string file = ReadAll(path_);
    const CaptureContents c = ReadCapture(file);
    const auto& t = window_->Traffic;
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.interfaces.size(), 1u);
    EXPECT_EQ(c.interfaces[0].name, "COM1");
    ASSERT_EQ(int(c.packets.size()), t.Count());
    for (int row = 0; row < t.Count(); ++row) {
        EXPECT_EQ(c.packets[size_t(row)].bytes, t.Bytes(row));
        EXPECT_EQ(c.packets[size_t(row)].timeUs, t.TimeUs(row));
    }

    SendMessageW(GetDlgItem(a->Handle(), 6), BM_CLICK, 0, 0); // 打开抓包文件
    EXPECT_EQ(caption_, u"打开抓包文件");
    AnalysisWindowWin* shown = a->ShowCapture(path_);
    ASSERT_NE(shown, nullptr);
    Pump();
    EXPECT_EQ(Title(shown->Handle()), u"通信分析 - " + U16(name));
    EXPECT_EQ(Title(a->Handle()), kAnalysisTitle);
    ASSERT_EQ(SendMessageW(shown->Table(), LVM_GETITEMCOUNT, 0, 0), t.Count());
    for (int row = 0; row < t.Count(); ++row)
        for (int col = 0; col < TrafficColumn::Count; ++col)
            EXPECT_EQ(ItemText(shown->Table(), row, col), ItemText(a->Table(), row, col))
                << row << "," << col;
    EXPECT_TRUE(said_.empty());
    SendMessageW(shown->Handle(), WM_CLOSE, 0, 0); // goes, with its record
    EXPECT_EQ(shown->Handle(), nullptr);

    WriteAll(path_, file.substr(0, file.size() - 3));
    shown = a->ShowCapture(path_);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(SendMessageW(shown->Table(), LVM_GETITEMCOUNT, 0, 0), t.Count() - 1);
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_EQ(said_[0].rfind(u"抓包文件 " + U16(name) + u" 有些内容无法读取：", 0), 0u);
    WriteAll(path_, "hello");
    EXPECT_EQ(a->ShowCapture(path_), nullptr);
    ASSERT_EQ(said_.size(), 2u);
    EXPECT_EQ(said_[1].rfind(u"无法读取抓包文件 ", 0), 0u);
    DeleteFileW(path_.c_str());
}

} // namespace
