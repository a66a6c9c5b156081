// The parts both Windows windows of rows (the analysis window, the monitor
// window) are made of: a list view's columns, the field-by-field list
// filled for a row, and the CSV export written with its one message.
#pragma once

#include "core/frame_decode.h" // FrameFieldRow
#include "win32/win_text.h"    // WindowObject
#include "win32/win_text_files.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

// The window procedure of a window of rows that the console's window owns:
// gone with it, the window object forgets its handles; every other message
// is its Handle's.
template <class W>
LRESULT CALLBACK RowWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<W>(hwnd, msg, lParam);
    if (self && msg == WM_NCDESTROY) {
        self->hwnd_ = self->table_ = self->fields_ = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self ? self->Handle(msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Registers a window class with the console's icon, arrow and dialog colour
// (again: harmlessly refused).
void RegisterRowWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc);

// Each column's opening width: its sample text in font and the cell's
// padding; *dpi the screen's, *total the widths' sum.
std::vector<int> SampleWidthsWin(HFONT font, int columns,
                                 const std::function<std::u16string_view(int)>& sample, int* dpi,
                                 int* total);

void AddListColumns(HWND list, const std::vector<std::u16string>& headers,
                    const std::vector<int>& widths);

// The field list shows rows (what was there goes).
void ShowFieldList(HWND fields, const std::vector<FrameFieldRow>& rows);

// Asks for the CSV file's name (defaultName offered) and writes it.
void ExportCsvWin(HWND owner, const FileDialogFn& fileDialog, std::u16string_view defaultName,
                  const std::function<bool(const std::wstring& path)>& write);
// Asks for the capture file's name (defaultName offered) and writes it.
void ExportCaptureWin(HWND owner, const FileDialogFn& fileDialog, std::u16string_view defaultName,
                      const std::function<bool(const std::wstring& path)>& write);
// Writes what produce hands over to path; a failure is said through message.
bool WriteCsvWin(const std::wstring& path, const std::function<bool(const ByteSink&)>& produce,
                 const std::function<void(std::u16string_view)>& message);
