#include "win32/win_analysis_window.h"

#include "core/text_util.h"
#include "core/traffic_capture.h"
#include "platform/files.h"
#include "win32/win_row_view.h"
#include "win32/win_text.h"

#include <algorithm>
#include <commctrl.h>

namespace {
enum {
    kClearId = 1,
    kExportId = 2,
    kTableId = 3,
    kFieldsId = 4,
    kExportCaptureId = 5,
    kOpenCaptureId = 6
};
} // namespace

int64_t WinUtcOffset(int64_t epochMs) {
    // FILETIME counts 100 ns from 1601.
    ULARGE_INTEGER utc;
    utc.QuadPart = uint64_t(epochMs + 11644473600000LL) * 10000;
    const FILETIME file{utc.LowPart, utc.HighPart};
    SYSTEMTIME u{}, l{};
    FILETIME local{};
    if (!FileTimeToSystemTime(&file, &u) || !SystemTimeToTzSpecificLocalTime(nullptr, &u, &l) ||
        !SystemTimeToFileTime(&l, &local))
        return 0;
    const ULARGE_INTEGER t{{local.dwLowDateTime, local.dwHighDateTime}};
    return (int64_t(t.QuadPart) - int64_t(utc.QuadPart)) / 10000;
}

AnalysisWindowWin::AnalysisWindowWin(HINSTANCE instance, HWND owner, TrafficRecord& record,
                                     HFONT font, FileDialogFn fileDialog,
                                     std::function<void(std::u16string_view)> message)
    : record_(record), fileDialog_(std::move(fileDialog)), message_(std::move(message)),
      instance_(instance), font_(font) {
    RegisterRowWindowClass(instance, kClassName, RowWindowProc<AnalysisWindowWin>);
    // Each column opens as wide as its widest everyday text.
    int total = 0;
    const std::vector<int> widths = SampleWidthsWin(
        font, TrafficColumn::Count, [](int c) { return TrafficColumnSample(c); }, &dpi_, &total);

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const int margin = MulDiv(8, dpi_, 96);
    RECT frame{0, 0,
               std::max(total + GetSystemMetrics(SM_CXVSCROLL) + 4 + 2 * margin, MulDiv(640, dpi_, 96)),
               MulDiv(640, dpi_, 96)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = std::min<int>(frame.right - frame.left, work.right - work.left);
    hwnd_ = CreateWindowExW(0, kClassName, Wide(kAnalysisTitle).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, width, frame.bottom - frame.top, owner, nullptr, instance,
                            this);

    const auto child = [&](const wchar_t* cls, const std::u16string_view text, DWORD extra, int id,
                           DWORD exStyle) {
        HWND w = CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra,
                                 0, 0, 10, 10, hwnd_, HMENU(INT_PTR(id)), instance, nullptr);
        SendMessageW(w, WM_SETFONT, WPARAM(font), FALSE);
        return w;
    };
    // The table holds nothing per row: the list asks for each cell it shows.
    table_ = child(WC_LISTVIEWW, u"", LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                   kTableId, WS_EX_CLIENTEDGE);
    SendMessageW(table_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(table_, TrafficHeaders(), widths);
    fields_ = child(WC_LISTVIEWW, u"", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kFieldsId,
                    WS_EX_CLIENTEDGE);
    SendMessageW(fields_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(fields_, TrafficFieldHeaders(),
               {MulDiv(50, dpi_, 96), MulDiv(80, dpi_, 96), MulDiv(160, dpi_, 96), MulDiv(400, dpi_, 96)});
    clear_ = child(L"BUTTON", kAnalysisClear, BS_PUSHBUTTON, kClearId, 0);
    export_ = child(L"BUTTON", kAnalysisExport, BS_PUSHBUTTON, kExportId, 0);
    exportCapture_ = child(L"BUTTON", kAnalysisExportCapture, BS_PUSHBUTTON, kExportCaptureId, 0);
    openCapture_ = child(L"BUTTON", kAnalysisOpenCapture, BS_PUSHBUTTON, kOpenCaptureId, 0);
    Layout();
    record_.AddListener(this);
    Sync();
}

AnalysisWindowWin::~AnalysisWindowWin() {
    record_.RemoveListener(this);
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void AnalysisWindowWin::Show() {
    Sync();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetFocus(table_);
}

void AnalysisWindowWin::Layout() {
    RECT r{};
    GetClientRect(hwnd_, &r);
    const int m = MulDiv(8, dpi_, 96), buttonH = MulDiv(26, dpi_, 96), buttonW = MulDiv(110, dpi_, 96);
    const int width = std::max(0, int(r.right) - 2 * m);
    const int lists = std::max(0, int(r.bottom) - 3 * m - buttonH);
    const int tableH = lists * 3 / 4;
    MoveWindow(table_, m, m, width, tableH, TRUE);
    MoveWindow(fields_, m, m + tableH + m / 2, width, lists - tableH - m / 2, TRUE);
    const int y = int(r.bottom) - m - buttonH;
    MoveWindow(clear_, m, y, buttonW, buttonH, TRUE);
    MoveWindow(export_, 2 * m + buttonW, y, buttonW, buttonH, TRUE);
    const int wide = MulDiv(140, dpi_, 96);
    MoveWindow(exportCapture_, 3 * m + 2 * buttonW, y, wide, buttonH, TRUE);
    MoveWindow(openCapture_, 4 * m + 2 * buttonW + wide, y, wide, buttonH, TRUE);
}

void AnalysisWindowWin::Appended(int) {
    Schedule();
}

void AnalysisWindowWin::Changed(int row) {
    if (row < rows_) {
        SendMessageW(table_, LVM_REDRAWITEMS, row, row);
        if (int(SendMessageW(table_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)) == row)
            ShowFields(row);
    }
}

void AnalysisWindowWin::Retitle() {
    // A capture's window names its file; the live one says when older
    // records were let go.
    SetWindowTextW(hwnd_, Wide(fileName_.empty() ? AnalysisTitle(record_.Dropped())
                                                 : CaptureWindowTitle(fileName_))
                              .c_str());
}

void AnalysisWindowWin::Cleared() {
    rows_ = 0;
    Retitle();
    SendMessageW(table_, LVM_SETITEMCOUNT, 0, 0);
    ShowFields(-1);
}

// The rows moved up: the selection would name another record, so it goes,
// and the title says how many records were let go.
void AnalysisWindowWin::DroppedFront(int count) {
    rows_ = std::max(0, rows_ - count);
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table_, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
    SendMessageW(table_, LVM_SETITEMCOUNT, rows_, LVSICF_NOSCROLL);
    ShowFields(-1);
    Retitle();
    Schedule();
}

void AnalysisWindowWin::Schedule() {
    // Many records at once join in one go, at the next turn of the loop.
    if (!scheduled_)
        scheduled_ = PostMessageW(hwnd_, kSyncMessage, 0, 0) != 0;
}

void AnalysisWindowWin::Sync() {
    scheduled_ = false;
    const int count = record_.Count();
    if (count == rows_)
        return;
    // Follow the traffic while the end is in view; a user who scrolled up
    // keeps their place.
    const int top = int(SendMessageW(table_, LVM_GETTOPINDEX, 0, 0));
    const int page = int(SendMessageW(table_, LVM_GETCOUNTPERPAGE, 0, 0));
    const bool follow = rows_ == 0 || top + page >= rows_;
    rows_ = count;
    SendMessageW(table_, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (follow && count > 0)
        SendMessageW(table_, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

void AnalysisWindowWin::ShowFields(int row) {
    if (row < 0 || row >= record_.Count()) {
        ShowFieldList(fields_, {});
        return;
    }
    ShowFieldList(fields_, TrafficFields(record_, row));
}

void AnalysisWindowWin::ExportCsv() {
    ExportCsvWin(hwnd_, fileDialog_, kAnalysisCsvName,
                 [this](const std::wstring& path) { return WriteCsv(path); });
}

bool AnalysisWindowWin::WriteCsv(const std::wstring& path) {
    Sync();
    return WriteCsvWin(
        path,
        [this](const ByteSink& write) { return WriteTrafficCsv(record_, WinUtcOffset, write); },
        message_);
}

void AnalysisWindowWin::ExportCapture() {
    ExportCaptureWin(hwnd_, fileDialog_, kAnalysisCaptureName,
                     [this](const std::wstring& path) { return WriteCapture(path); });
}

bool AnalysisWindowWin::WriteCapture(const std::wstring& path) {
    Sync();
    const CaptureInterface line = line_ ? line_() : CaptureInterface{};
    return WriteCsvWin(
        path, [&](const ByteSink& write) { return WriteTrafficCapture(record_, line, write); },
        message_);
}

void AnalysisWindowWin::OpenCapture() {
    const TextFileDialog dialog{false,
                                kAnalysisOpenCaptureCaption,
                                {{kAnalysisCaptureFilter, u"*.pcapng", TextEncoding::Utf8}},
                                0,
                                {}};
    const FileDialogAnswer answer =
        fileDialog_ ? fileDialog_(hwnd_, dialog) : RunFileDialogWin(hwnd_, dialog);
    if (!answer.path.empty())
        if (AnalysisWindowWin* shown = ShowCapture(answer.path))
            shown->Show();
}

AnalysisWindowWin* AnalysisWindowWin::ShowCapture(const std::wstring& path) {
    const auto tell = [this](std::u16string_view text) {
        if (message_)
            message_(text);
    };
    const std::u16string name = FileNameOf(path);
    const FileRead file =
        files::Read(Utf8FromUtf16(U16(path)), FileReadMode::DiskFile, kMaxCaptureFileBytes);
    if (file.outcome != FileRead::Outcome::Read) {
        tell(
            u"无法读取 " + U16(path) + u"：" +
            (file.outcome == FileRead::Outcome::TooLarge
                 ? u"文件大于 " + Utf16FromUtf8(std::to_string(kMaxCaptureFileBytes >> 20)) + u" MB"
                 : Utf16FromUtf8(file.reason)));
        return nullptr;
    }
    auto record = std::make_unique<TrafficRecord>();
    const CaptureRecorded read = RecordCapture(file.bytes, *record);
    const std::u16string problems = CaptureProblemsText(name, read);
    AnalysisWindowWin* shown = nullptr;
    if (record->Count() > 0) {
        // The windows closed meanwhile go.
        std::erase_if(captures_, [](const auto& w) { return w->Handle() == nullptr; });
        HWND owner = GetWindow(hwnd_, GW_OWNER);
        auto window = std::make_unique<AnalysisWindowWin>(instance_, owner, *record, font_,
                                                          fileDialog_, message_);
        window->owned_ = std::move(record);
        window->line_ = line_;
        window->fileName_ = name;
        window->Retitle();
        shown = window.get();
        captures_.push_back(std::move(window));
    }
    if (!problems.empty())
        tell(problems);
    return shown;
}

LRESULT AnalysisWindowWin::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kSyncMessage:
        Sync();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kClearId && HIWORD(wParam) == BN_CLICKED) {
            record_.Clear();
            ShowFields(-1);
        } else if (LOWORD(wParam) == kExportId && HIWORD(wParam) == BN_CLICKED) {
            ExportCsv();
        } else if (LOWORD(wParam) == kExportCaptureId && HIWORD(wParam) == BN_CLICKED) {
            ExportCapture();
        } else if (LOWORD(wParam) == kOpenCaptureId && HIWORD(wParam) == BN_CLICKED) {
            OpenCapture();
        }
        return 0;
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CLOSE:
        // Closed, the live window only hides: the console's menu shows it
        // again. A capture's window goes, with its record.
        if (owned_)
            DestroyWindow(hwnd_);
        else
            ShowWindow(hwnd_, SW_HIDE);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT AnalysisWindowWin::Notify(const NMHDR& header) {
    if (header.hwndFrom != table_)
        return 0;
    if (header.code == LVN_GETDISPINFOW) {
        auto& info = *reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header));
        if ((info.item.mask & LVIF_TEXT) && info.item.cchTextMax > 0 && info.item.iItem < record_.Count()) {
            cell_ = Wide(TrafficCell(record_, info.item.iItem, info.item.iSubItem, WinUtcOffset));
            const size_t n = std::min<size_t>(cell_.size(), size_t(info.item.cchTextMax - 1));
            std::copy_n(cell_.data(), n, info.item.pszText);
            info.item.pszText[n] = L'\0';
        }
    } else if (header.code == LVN_ITEMCHANGED) {
        const auto& change = *reinterpret_cast<const NMLISTVIEW*>(&header);
        if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED))
            ShowFields(change.iItem);
    }
    return 0;
}
