#include "win32/win_monitor_window.h"

#include "core/line_rates.h"
#include "core/text_util.h"
#include "core/traffic_capture.h"
#include "core/traffic_table.h" // TrafficFieldHeaders, the CSV dialog's texts
#include "win32/win_row_view.h"
#include "win32/win_text.h"

#include <algorithm>
#include <chrono>
#include <commctrl.h>

namespace {
enum {
    kHostId = 1,
    kChipId,
    kRateId,
    kStartId,
    kStopId,
    kTableId,
    kFieldsId,
    kExportId,
    kCountsId,
    kStatusId,
    kExportCaptureId,
};
constexpr UINT_PTR kTakeTimer = 1;
constexpr int kOfferedPorts = 20; // COM1..COM20, as the console's own list
} // namespace

MonitorWindowWin::MonitorWindowWin(HINSTANCE instance, HWND owner, HFONT font,
                                   MonitorThread::MakeSystem makeSystem, FileDialogFn fileDialog,
                                   std::function<void(std::u16string_view)> message)
    : makeSystem_(std::move(makeSystem)), fileDialog_(std::move(fileDialog)),
      message_(std::move(message)) {
    RegisterRowWindowClass(instance, kClassName, RowWindowProc<MonitorWindowWin>);
    // Each column opens as wide as its widest everyday text.
    int total = 0;
    const std::vector<int> widths = SampleWidthsWin(
        font, MonitorColumn::Count, [](int c) { return MonitorColumnSample(c); }, &dpi_, &total);

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const int margin = MulDiv(8, dpi_, 96);
    RECT frame{
        0, 0,
        std::max(total + GetSystemMetrics(SM_CXVSCROLL) + 4 + 2 * margin, MulDiv(720, dpi_, 96)),
        MulDiv(640, dpi_, 96)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = std::min<int>(frame.right - frame.left, work.right - work.left);
    hwnd_ = CreateWindowExW(0, kClassName, Wide(kMonitorTitle).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, width, frame.bottom - frame.top, owner, nullptr,
                            instance, this);

    const auto child = [&](const wchar_t* cls, const std::u16string_view text, DWORD extra, int id,
                           DWORD exStyle) {
        HWND w = CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | extra, 0,
                                 0, 10, 10, hwnd_, HMENU(INT_PTR(id)), instance, nullptr);
        SendMessageW(w, WM_SETFONT, WPARAM(font), FALSE);
        return w;
    };
    labels_[0] = child(L"STATIC", kMonitorHostLabel, SS_RIGHT | SS_CENTERIMAGE, 0, 0);
    host_ = child(L"COMBOBOX", u"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                  kHostId, 0);
    labels_[1] = child(L"STATIC", kMonitorChipLabel, SS_RIGHT | SS_CENTERIMAGE, 0, 0);
    chip_ = child(L"COMBOBOX", u"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                  kChipId, 0);
    labels_[2] = child(L"STATIC", kMonitorRateLabel, SS_RIGHT | SS_CENTERIMAGE, 0, 0);
    rate_ = child(L"COMBOBOX", u"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kRateId, 0);
    // Any name is taken (COM names, rfc2217://, socket://); COM1..COM20 are offered.
    for (int n = 1; n <= kOfferedPorts; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n);
        SendMessageW(host_, CB_ADDSTRING, 0, LPARAM(name.c_str()));
        SendMessageW(chip_, CB_ADDSTRING, 0, LPARAM(name.c_str()));
    }
    SetWindowTextW(host_, L"COM1");
    SetWindowTextW(chip_, L"COM2");
    for (const LineRate& r : kLineRates)
        SendMessageW(rate_, CB_ADDSTRING, 0, LPARAM(std::to_wstring(r.bitsPerSecond).c_str()));
    SendMessageW(rate_, CB_SETCURSEL, 0, 0);
    start_ = child(L"BUTTON", kMonitorStart, WS_TABSTOP | BS_PUSHBUTTON, kStartId, 0);
    stop_ = child(L"BUTTON", kMonitorStop, WS_TABSTOP | BS_PUSHBUTTON, kStopId, 0);
    // The table holds nothing per row: the list asks for each cell it shows.
    table_ = child(WC_LISTVIEWW, u"",
                   WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                   kTableId, WS_EX_CLIENTEDGE);
    SendMessageW(table_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(table_, MonitorHeaders(), widths);
    fields_ = child(WC_LISTVIEWW, u"", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                    kFieldsId, WS_EX_CLIENTEDGE);
    SendMessageW(fields_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(
        fields_, TrafficFieldHeaders(),
        {MulDiv(50, dpi_, 96), MulDiv(80, dpi_, 96), MulDiv(160, dpi_, 96), MulDiv(400, dpi_, 96)});
    counts_ =
        child(L"STATIC", rows_.countsText(), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kCountsId, 0);
    status_ = child(L"STATIC", u"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kStatusId, 0);
    export_ = child(L"BUTTON", kAnalysisExport, WS_TABSTOP | BS_PUSHBUTTON, kExportId, 0);
    exportCapture_ =
        child(L"BUTTON", kAnalysisExportCapture, WS_TABSTOP | BS_PUSHBUTTON, kExportCaptureId, 0);
    Layout();
    Buttons();
}

MonitorWindowWin::~MonitorWindowWin() {
    thread_.reset(); // stops and waits for the reading thread
    watch_.reset();
    if (hwnd_) {
        KillTimer(hwnd_, kTakeTimer);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void MonitorWindowWin::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetFocus(thread_ ? table_ : start_);
}

void MonitorWindowWin::Layout() {
    RECT r{};
    GetClientRect(hwnd_, &r);
    const auto px = [this](int v) { return MulDiv(v, dpi_, 96); };
    const int m = px(8), rowH = px(24), buttonW = px(80), exportW = px(110);
    const int width = std::max(0, int(r.right) - 2 * m);
    // The ports, the rate and the buttons on one line.
    int x = m;
    const auto place = [&](HWND w, int cx, int height) {
        MoveWindow(w, x, m, cx, height, TRUE);
        x += cx + px(6);
    };
    place(labels_[0], px(72), rowH);
    place(host_, px(170), px(240));
    place(labels_[1], px(60), rowH);
    place(chip_, px(170), px(240));
    place(labels_[2], px(40), rowH);
    place(rate_, px(70), px(160));
    place(start_, buttonW, rowH);
    place(stop_, buttonW, rowH);

    const int lineH = px(18);
    const int top = m + rowH + m;
    const int bottom = int(r.bottom) - m - rowH - m - 2 * lineH;
    const int lists = std::max(0, bottom - top);
    const int tableH = lists * 3 / 4;
    MoveWindow(table_, m, top, width, tableH, TRUE);
    MoveWindow(fields_, m, top + tableH + m / 2, width, std::max(0, lists - tableH - m / 2), TRUE);
    MoveWindow(counts_, m, bottom + m / 2, width, lineH, TRUE);
    MoveWindow(status_, m, bottom + m / 2 + lineH, width, lineH, TRUE);
    MoveWindow(export_, m, int(r.bottom) - m - rowH, exportW, rowH, TRUE);
    MoveWindow(exportCapture_, 2 * m + exportW, int(r.bottom) - m - rowH, px(140), rowH, TRUE);
}

void MonitorWindowWin::Buttons() {
    const bool idle = !thread_;
    EnableWindow(start_, idle);
    EnableWindow(stop_, !idle && !stopping_);
    for (HWND w : {host_, chip_, rate_})
        EnableWindow(w, idle);
}

void MonitorWindowWin::Start() {
    if (thread_ || !makeSystem_)
        return;
    hostName_ = WindowText(host_);
    chipName_ = WindowText(chip_);
    const int rateIndex = std::max(0, int(SendMessageW(rate_, CB_GETCURSEL, 0, 0)));
    rows_.clear();
    SendMessageW(table_, LVM_SETITEMCOUNT, 0, 0);
    ShowFields(-1);
    SetWindowTextW(counts_, Wide(rows_.countsText()).c_str());
    TapMonitor::Options options;
    options.rateIndex = rateIndex;
    // The wall clock at the steady clock's zero: a capture's times.
    epochZeroUs_ = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count() -
                   clock_.nowUs();
    watchRate_ = RateOfIndex(rateIndex);
    watch_ = std::make_unique<WindowWatch>(clock_, options);
    thread_ =
        std::make_unique<MonitorThread>(makeSystem_, Utf8FromUtf16(hostName_),
                                        Utf8FromUtf16(chipName_), RateOfIndex(rateIndex), *watch_);
    stopping_ = failed_ = false;
    rateIndex_ = rateIndex;
    SetWindowTextW(status_, Wide(MonitorStatusText(true, hostName_, chipName_, rateIndex)).c_str());
    SetTimer(hwnd_, kTakeTimer, kTakeMs, nullptr);
    Buttons();
    SetFocus(table_);
}

void MonitorWindowWin::Stop() {
    if (!thread_ || stopping_)
        return;
    // The thread ends at its next turn; the timer lets it go then, so that
    // a network tap still connecting never holds the window.
    thread_->stop();
    stopping_ = true;
    Buttons();
}

void MonitorWindowWin::End() {
    thread_.reset();
    watch_.reset();
    stopping_ = false;
    KillTimer(hwnd_, kTakeTimer);
    if (!failed_)
        SetWindowTextW(status_, Wide(MonitorStatusText(false, hostName_, chipName_, 0)).c_str());
    Buttons();
    if (GetFocus() == nullptr || !IsWindowEnabled(GetFocus()))
        SetFocus(start_);
}

void MonitorWindowWin::Take() {
    if (!watch_)
        return;
    const MonitorUpdate update = watch_->take();
    watchStartUs_ = watch_->startedAtUs();
    const int before = rows_.rowCount();
    std::vector<int> changed;
    const bool dropped = rows_.apply(update, &changed);
    const int count = rows_.rowCount();
    // Follow the traffic while the end is in view; a user who scrolled up
    // keeps their place.
    const int top = int(SendMessageW(table_, LVM_GETTOPINDEX, 0, 0));
    const int page = int(SendMessageW(table_, LVM_GETCOUNTPERPAGE, 0, 0));
    const bool follow = before == 0 || top + page >= before;
    if (dropped) {
        // The rows moved up: the selection would name another row.
        LVITEMW none{};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(table_, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
        SendMessageW(table_, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
        InvalidateRect(table_, nullptr, FALSE);
        ShowFields(-1);
    } else if (count != before || !changed.empty()) {
        if (count != before)
            SendMessageW(table_, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        const int selected = int(SendMessageW(table_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
        for (const int row : changed) {
            if (row < before)
                SendMessageW(table_, LVM_REDRAWITEMS, row, row);
            if (row == selected)
                ShowFields(row);
        }
    }
    if (follow && count > before)
        SendMessageW(table_, LVM_ENSUREVISIBLE, count - 1, FALSE);
    if (count != before || !changed.empty() || dropped)
        SetWindowTextW(counts_, Wide(rows_.countsText()).c_str());
    if (!update.ended && !failed_ && rows_.rateIndex() != rateIndex_) {
        // The chip took a new rate: both taps follow it.
        rateIndex_ = rows_.rateIndex();
        SetWindowTextW(status_,
                       Wide(MonitorStatusText(true, hostName_, chipName_, rateIndex_)).c_str());
    }
    if (!update.failure.empty()) {
        // Said once, and kept until the next start.
        failed_ = true;
        SetWindowTextW(status_, Wide(Utf16FromUtf8(update.failure)).c_str());
    }
    if (update.ended)
        End();
}

void MonitorWindowWin::ShowFields(int row) {
    if (row < 0 || row >= rows_.rowCount()) {
        ShowFieldList(fields_, {});
        return;
    }
    ShowFieldList(fields_, rows_.fields(row));
}

void MonitorWindowWin::ExportCsv() {
    ExportCsvWin(hwnd_, fileDialog_, kMonitorCsvName,
                 [this](const std::wstring& path) { return WriteCsv(path); });
}

bool MonitorWindowWin::WriteCsv(const std::wstring& path) {
    Take(); // what has come so far
    return WriteCsvWin(
        path, [this](const ByteSink& write) { return rows_.writeCsv(write); }, message_);
}

void MonitorWindowWin::ExportCapture() {
    ExportCaptureWin(hwnd_, fileDialog_, kMonitorCaptureName,
                     [this](const std::wstring& path) { return WriteCapture(path); });
}

bool MonitorWindowWin::WriteCapture(const std::wstring& path) {
    Take(); // what has come so far
    return WriteCsvWin(
        path,
        [this](const ByteSink& write) {
            return WriteMonitorCapture(rows_, {Utf8FromUtf16(hostName_), watchRate_},
                                       {Utf8FromUtf16(chipName_), watchRate_},
                                       epochZeroUs_ + watchStartUs_, write);
        },
        message_);
}

LRESULT MonitorWindowWin::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTakeTimer)
            Take();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == kStartId)
                Start();
            else if (LOWORD(wParam) == kStopId)
                Stop();
            else if (LOWORD(wParam) == kExportId)
                ExportCsv();
            else if (LOWORD(wParam) == kExportCaptureId)
                ExportCapture();
        }
        return 0;
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CLOSE:
        // Closed, the watch ends and the window hides: the console's menu
        // shows it again, with the rows it had.
        Stop();
        ShowWindow(hwnd_, SW_HIDE);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT MonitorWindowWin::Notify(const NMHDR& header) {
    if (header.hwndFrom != table_)
        return 0;
    if (header.code == LVN_GETDISPINFOW) {
        auto& info = *reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header));
        if ((info.item.mask & LVIF_TEXT) && info.item.cchTextMax > 0 &&
            info.item.iItem < rows_.rowCount()) {
            cell_ = Wide(rows_.cell(info.item.iItem, info.item.iSubItem));
            const size_t n = std::min<size_t>(cell_.size(), size_t(info.item.cchTextMax - 1));
            std::copy_n(cell_.data(), n, info.item.pszText);
            info.item.pszText[n] = L'\0';
        }
    } else if (header.code == LVN_ITEMCHANGED) {
        const auto& change = *reinterpret_cast<const NMLISTVIEW*>(&header);
        if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED))
            ShowFields(change.iItem);
    } else if (header.code == NM_CUSTOMDRAW) {
        // A row with a finding stands out: dark red on pale red.
        auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header));
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const int row = int(draw.nmcd.dwItemSpec);
            if (row >= 0 && row < rows_.rowCount() && rows_.marked(row)) {
                draw.clrText = RGB(160, 0, 0);
                draw.clrTextBk = RGB(255, 224, 224);
            }
            return CDRF_DODEFAULT;
        }
    }
    return 0;
}
