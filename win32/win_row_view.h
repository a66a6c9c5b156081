// The parts both Windows windows of rows (the analysis window, the monitor
// window) are made of: a list view's columns, the field-by-field list
// filled for a row, and the CSV export written with its one message.
#pragma once

#include "core/frame_decode.h" // FrameFieldRow
#include "win32/win_text_files.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

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
// Writes what produce hands over to path; a failure is said through message.
bool WriteCsvWin(const std::wstring& path, const std::function<bool(const ByteSink&)>& produce,
                 const std::function<void(std::u16string_view)>& message);
