// "监听两条线路" on Windows: opened from the work log's menu, it shows what
// a watch on two taps found as the core's table says, marks findings,
// exports its CSV, and says a tap's failure once, keeping the rows. The taps
// are a fake system's, played on the watch's own thread.
#include "core/capture_file.h"
#include "core/cli_session.h" // PortFailureText
#include "core/frame_builders.h"
#include "core/text_util.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

void PumpFor(int ms) {
    const DWORD end = GetTickCount() + DWORD(ms);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (int(GetTickCount() - end) < 0);
}

template <class Done> bool PumpUntil(Done done, int ms = 5000) {
    for (int waited = 0; waited < ms && !done(); waited += 20)
        PumpFor(20);
    return done();
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
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "<absent>";
    std::string bytes(1 << 16, '\0');
    DWORD n = 0;
    ReadFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(f);
    bytes.resize(n);
    return bytes;
}

// Both taps of a line as a fake system gives them: the turns of a script,
// then, with vanish, the chip's tap fails; otherwise it waits for the stop.
struct Script {
    std::vector<std::pair<std::string, std::string>> turns; // host, chip
    bool vanish = false;
};

const LineError kGone{"the device was removed", false};

class FakeTaps : public CliSystem {
  public:
    explicit FakeTaps(Script script) : script_(std::move(script)) {}
    OutputSink& standardOutput() override { std::abort(); }
    OutputSink& standardError() override { std::abort(); }
    CliPlatform platform() const override { return CliPlatform::Windows; }
    std::string version() const override { return "0"; }
    std::string helpPortsFolder() override { return {}; }
    ListedPort listPort(int) override { return {}; }
    std::optional<std::string> readText(const std::string&, std::string*) override { return {}; }
    std::unique_ptr<OutputSink> createFile(const std::string&, bool, std::string*) override {
        return nullptr;
    }
    PortRoute routePort(const std::string& port) override {
        PortRoute route;
        if (port.rfind("COM", 0) == 0)
            route.device = route.path = port;
        else
            route.failure = "no such port";
        return route;
    }
    bool openSerial(const PortRoute&, int, LineError*) override { return false; }
    bool openNet(const NetAddress&, int, LineError*) override { return false; }
    int runSession(std::vector<PlannedFrame>, TrafficReport&, const MonotonicClock&, int,
                   Complaint) override {
        return 0;
    }
    bool openTap(TapSide, const PortRoute&, const NetAddress*, int, LineError*) override {
        return true;
    }
    int runMonitor(TapWatch& watch, WakeEvent* stop) override {
        for (const auto& [host, chip] : script_.turns) {
            watch.onTurn(host, chip);
            Sleep(30); // a frame's silence ends it
            watch.onTimer();
        }
        if (script_.vanish)
            watch.onLineFailed(TapSide::Chip, "COM3", kGone);
        while (!watch.done()) {
            if (stop->isSet())
                watch.interrupt(0);
            else
                watch.onTimer();
            Sleep(10);
        }
        return watch.status();
    }

    // The doctor's view: a CH340 adapter plugged in without its driver.
    doctor::Survey surveyPorts(const std::string& port) override {
        doctor::Survey survey;
        survey.system = doctor::System::Windows;
        survey.askedName = port;
        survey.usb.push_back({"USB\\VID_1A86&PID_7523\\1", "USB\\VID_1A86&PID_7523\\1", 0x1a86,
                              0x7523, "USB-SERIAL CH340"});
        return survey;
    }

  private:
    Script script_;
};

class MonitorWindowTest : public ::testing::Test {
  protected:
    void Make(Script script) {
        WindowServices services = SystemWindowServices();
        services.monitorSystem = [script] { return std::make_unique<FakeTaps>(script); };
        window_ = std::make_unique<Form1Window>(GetModuleHandleW(nullptr), std::move(services));
        window_->SetMessageBox([this](std::u16string_view text) { said_.emplace_back(text); });
        window_->SetFileDialog([this](HWND, const TextFileDialog& d) {
            named_ = d.fileName;
            return FileDialogAnswer{path_, 0};
        });
        window_->ShowMonitor();
        monitor_ = window_->Monitor();
        ASSERT_NE(monitor_, nullptr);
    }
    void Start(const wchar_t* host = L"COM2", const wchar_t* chip = L"COM3") {
        SetWindowTextW(monitor_->HostBox(), host);
        SetWindowTextW(monitor_->ChipBox(), chip);
        SendMessageW(monitor_->StartButton(), BM_CLICK, 0, 0);
    }
    int ListRows() const { return int(SendMessageW(monitor_->Table(), LVM_GETITEMCOUNT, 0, 0)); }
    bool Idle() const { return IsWindowEnabled(monitor_->StartButton()) && !monitor_->Watching(); }

    std::unique_ptr<Form1Window> window_;
    MonitorWindowWin* monitor_ = nullptr;
    std::vector<std::u16string> said_;
    std::u16string named_;
    std::wstring path_;
};

const std::string kText = TextFrame(u"你好");
const std::string kBadSum = std::string("\xFD\x00\x02\x21\x00", 5);

TEST_F(MonitorWindowTest, TheWorkLogsMenuOpensOneWindowAfterTheAnalysisEntry) {
    Make({});
    HWND log = window_->ControlHandle("Text4");
    HMENU menu = window_->MakeContextMenu(log);
    std::vector<std::u16string> entries;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, UINT(i), text, 128, MF_BYPOSITION);
        entries.push_back(U16(text));
    }
    const auto at = std::find(entries.begin(), entries.end(), kAnalysisEntry);
    ASSERT_NE(at, entries.end());
    ASSERT_NE(at + 1, entries.end());
    EXPECT_EQ(*(at + 1), kMonitorMenu);
    const UINT id = GetMenuItemID(menu, int(at + 1 - entries.begin()));
    DestroyMenu(menu);
    window_->RunMenuCommand(log, int(id));
    EXPECT_EQ(window_->Monitor(), monitor_) << "one window, raised again";
    EXPECT_EQ(WindowText(monitor_->Handle()), kMonitorTitle);
    EXPECT_TRUE(IsWindowVisible(monitor_->Handle()));
    ASSERT_EQ(int(SendMessageW(monitor_->HostBox(), CB_GETCOUNT, 0, 0)), 20);
    EXPECT_EQ(int(SendMessageW(monitor_->RateBox(), CB_GETCOUNT, 0, 0)), 3);

    // The console's window without the services has no such entry.
    Form1Window plain(GetModuleHandleW(nullptr));
    menu = plain.MakeContextMenu(plain.ControlHandle("Text4"));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, UINT(i), text, 128, MF_BYPOSITION);
        EXPECT_NE(U16(text), kMonitorMenu);
    }
    DestroyMenu(menu);
}

// "端口诊断…", the work log's last entry: the findings of the system's
// survey in a window of its own, copied to the clipboard by its button.
TEST_F(MonitorWindowTest, TheWorkLogsLastEntryShowsThePortDoctorsFindings) {
    Make({});
    HWND log = window_->ControlHandle("Text4");
    HMENU menu = window_->MakeContextMenu(log);
    const int last = GetMenuItemCount(menu) - 1;
    wchar_t text[128] = {};
    GetMenuStringW(menu, UINT(last), text, 128, MF_BYPOSITION);
    EXPECT_EQ(U16(text), doctor::kDoctorMenu);
    const UINT id = GetMenuItemID(menu, last);
    DestroyMenu(menu);
    window_->RunMenuCommand(log, int(id));
    PortDoctorWindowWin* w = window_->PortDoctor();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowText(w->Handle()), doctor::kDoctorTitle);
    EXPECT_TRUE(IsWindowVisible(w->Handle()));
    const std::u16string shown = WindowText(w->Findings());
    EXPECT_EQ(shown.find(u"no-driver: the CH340 adapter (1a86:7523, USB-SERIAL CH340)"), 0u)
        << Utf8FromUtf16(shown);
    EXPECT_NE(shown.find(u"\r\n  fix: install the CH340 driver"), std::u16string::npos);

    ASSERT_TRUE(w->Copy());
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* copied = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    const std::u16string clip = copied ? U16(copied) : u"<none>";
    if (copied)
        GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(clip, shown);

    // Shown again: the same one window.
    window_->ShowPortDoctor();
    EXPECT_EQ(window_->PortDoctor(), w);
}

TEST_F(MonitorWindowTest, RowsAsTheCoreTableSaysFindingsMarkedFieldsAndCsv) {
    Make({{{kText, ""}, {"", "\x41"}, {"", "\x4F"}, {kBadSum, ""}, {"", "\x45"}}});
    Start();
    EXPECT_FALSE(IsWindowEnabled(monitor_->StartButton()));
    EXPECT_TRUE(IsWindowEnabled(monitor_->StopButton()));
    EXPECT_EQ(WindowText(monitor_->StatusLine()), MonitorStatusText(true, u"COM2", u"COM3", 0));
    ASSERT_TRUE(PumpUntil([&] { return ListRows() == 5; })) << ListRows();
    const MonitorTable& rows = monitor_->Rows();
    ASSERT_EQ(rows.rowCount(), 5);
    for (int row = 0; row < 5; ++row) {
        for (int c = 0; c < MonitorColumn::Count; ++c)
            EXPECT_EQ(ItemText(monitor_->Table(), row, c), rows.cell(row, c)) << row << "," << c;
        EXPECT_EQ(rows.marked(row), row == 3) << row;
    }
    EXPECT_EQ(WindowText(monitor_->CountsLine()), rows.countsText());

    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(monitor_->Table(), LVM_SETITEMSTATE, 3, LPARAM(&state));
    const std::vector<FrameFieldRow> fields = rows.fields(3);
    ASSERT_EQ(SendMessageW(monitor_->Fields(), LVM_GETITEMCOUNT, 0, 0), LRESULT(fields.size()));
    EXPECT_EQ(ItemText(monitor_->Fields(), int(fields.size()) - 1, 3), fields.back().meaning);

    SendMessageW(monitor_->StopButton(), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(WindowText(monitor_->StatusLine()), kMonitorStopped);
    EXPECT_EQ(ListRows(), 5) << "the rows stay after the stop";

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ =
        std::wstring(temp) + L"vxt4710-monitor-" + std::to_wstring(GetCurrentProcessId()) + L".csv";
    SendMessageW(GetDlgItem(monitor_->Handle(), 8), BM_CLICK, 0, 0); // 导出CSV
    std::string want;
    rows.writeCsv([&](std::string_view bytes) {
        want += bytes;
        return true;
    });
    EXPECT_EQ(named_, kMonitorCsvName);
    EXPECT_EQ(ReadAll(path_), want);
    DeleteFileW(path_.c_str());

    // The capture beside it: one interface per tap, each row a packet.
    path_ = std::wstring(temp) + L"vxt4710-monitor-" + std::to_wstring(GetCurrentProcessId()) +
            L".pcapng";
    SendMessageW(GetDlgItem(monitor_->Handle(), 11), BM_CLICK, 0, 0); // 导出抓包文件
    EXPECT_EQ(named_, kMonitorCaptureName);
    const CaptureContents c = ReadCapture(ReadAll(path_));
    DeleteFileW(path_.c_str());
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.interfaces.size(), 2u);
    EXPECT_EQ(c.interfaces[0].name, "COM2");
    EXPECT_EQ(c.interfaces[1].name, "COM3");
    ASSERT_EQ(int(c.packets.size()), rows.rowCount());
    for (int row = 0; row < rows.rowCount(); ++row) {
        EXPECT_EQ(c.packets[size_t(row)].bytes, rows.item(row).bytes) << row;
        EXPECT_EQ(c.packets[size_t(row)].interface, rows.item(row).side == TapSide::Host ? 0u : 1u);
        EXPECT_EQ(c.packets[size_t(row)].timeUs - c.packets[0].timeUs,
                  rows.item(row).startUs - rows.item(0).startUs);
    }
    EXPECT_TRUE(said_.empty());
}

TEST_F(MonitorWindowTest, AVanishedOrMissingTapIsSaidOnceAndTheRowsStay) {
    Make({{{kText, ""}, {"", "\x41"}}, true});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    const std::u16string said = Utf16FromUtf8("chip tap: " + PortFailureText("COM3", kGone));
    EXPECT_EQ(WindowText(monitor_->StatusLine()), said);
    PumpFor(200);
    EXPECT_EQ(WindowText(monitor_->StatusLine()), said);
    EXPECT_EQ(ListRows(), 2);
    EXPECT_TRUE(said_.empty()) << "no message box";

    // A name that leads nowhere: the watch never starts; the last rows go
    // with the new start.
    Start(L"nowhere");
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(WindowText(monitor_->StatusLine()).rfind(u"host tap: ", 0), 0u)
        << Utf8FromUtf16(WindowText(monitor_->StatusLine()));
    EXPECT_EQ(ListRows(), 0);
}

} // namespace
