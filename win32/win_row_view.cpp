#include "win32/win_row_view.h"

#include "core/text_files.h"    // UnwritableFileMessage
#include "core/text_util.h"     // Number16
#include "core/traffic_table.h" // the CSV dialog's texts
#include "win32/win_text.h"

#include <commctrl.h>

void RegisterRowWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc); // fails harmlessly when already registered
}

std::vector<int> SampleWidthsWin(HFONT font, int columns,
                                 const std::function<std::u16string_view(int)>& sample, int* dpi,
                                 int* total) {
    HDC screen = GetDC(nullptr);
    *dpi = GetDeviceCaps(screen, LOGPIXELSY);
    HGDIOBJ old = SelectObject(screen, font);
    std::vector<int> widths;
    *total = 0;
    for (int c = 0; c < columns; ++c) {
        const std::u16string_view text = sample(c);
        SIZE size{};
        GetTextExtentPoint32W(screen, reinterpret_cast<const wchar_t*>(text.data()),
                              int(text.size()), &size);
        widths.push_back(int(size.cx) + MulDiv(16, *dpi, 96));
        *total += widths.back();
    }
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return widths;
}

void AddListColumns(HWND list, const std::vector<std::u16string>& headers,
                    const std::vector<int>& widths) {
    for (size_t c = 0; c < headers.size(); ++c) {
        std::wstring text = Wide(headers[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = text.data();
        column.cx = widths[c];
        column.iSubItem = int(c);
        SendMessageW(list, LVM_INSERTCOLUMNW, c, LPARAM(&column));
    }
}

void ShowFieldList(HWND fields, const std::vector<FrameFieldRow>& rows) {
    SendMessageW(fields, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        const FrameFieldRow& f = rows[i];
        const std::u16string cells[] = {Number16(f.offset), f.field, f.value, f.meaning};
        for (int c = 0; c < 4; ++c) {
            std::wstring text = Wide(cells[c]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = int(i);
            item.iSubItem = c;
            item.pszText = text.data();
            SendMessageW(fields, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, c == 0 ? 0 : i,
                         LPARAM(&item));
        }
    }
}

namespace {

// Asks for a file to save (defaultName offered) and writes it.
void ExportWin(HWND owner, const FileDialogFn& fileDialog, std::u16string_view caption,
               std::u16string_view filter, std::u16string_view pattern,
               std::u16string_view defaultName,
               const std::function<bool(const std::wstring& path)>& write) {
    const TextFileDialog dialog{
        true, caption, {{filter, pattern, TextEncoding::Utf8}}, 0, defaultName};
    const FileDialogAnswer answer =
        fileDialog ? fileDialog(owner, dialog) : RunFileDialogWin(owner, dialog);
    if (!answer.path.empty())
        write(answer.path);
}

} // namespace

void ExportCsvWin(HWND owner, const FileDialogFn& fileDialog, std::u16string_view defaultName,
                  const std::function<bool(const std::wstring& path)>& write) {
    ExportWin(owner, fileDialog, kAnalysisExportCaption, kAnalysisCsvFilter, u"*.csv", defaultName,
              write);
}

void ExportCaptureWin(HWND owner, const FileDialogFn& fileDialog, std::u16string_view defaultName,
                      const std::function<bool(const std::wstring& path)>& write) {
    ExportWin(owner, fileDialog, kAnalysisExportCaptureCaption, kAnalysisCaptureFilter, u"*.pcapng",
              defaultName, write);
}

bool WriteCsvWin(const std::wstring& path, const std::function<bool(const ByteSink&)>& produce,
                 const std::function<void(std::u16string_view)>& message) {
    const std::u16string reason = WriteFileWin(path, produce);
    if (reason.empty())
        return true;
    if (message)
        message(UnwritableFileMessage(U16(path), reason));
    return false;
}
