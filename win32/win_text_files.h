// The file dialogs on Windows: Windows' own open and save dialogs, and the
// analysis window's export written through the platform's save. What the
// dialogs offer is the core's (core/text_files.h); the menus' files are read
// and written by the core (core/form1.h).
#pragma once

#include "core/text_files.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <windows.h>

struct FileDialogAnswer {
    std::wstring path; // empty: cancelled
    int filter = 0;    // the filter chosen, from 0
};
using FileDialogFn = std::function<FileDialogAnswer(HWND owner, const TextFileDialog& dialog)>;

// GetOpenFileNameW or GetSaveFileNameW (asking before replacing a file).
FileDialogAnswer RunFileDialogWin(HWND owner, const TextFileDialog& dialog);

// Writes bytes made piece by piece to path through the platform's save
// (platform/files.h): produce hands each piece to the sink and returns false
// once the sink did; a failed write leaves the old file whole. Returns the
// system's reason for a failure, empty on success.
using ByteSink = std::function<bool(std::string_view)>;
std::u16string WriteFileWin(const std::wstring& path, const std::function<bool(const ByteSink&)>& produce);

// The last part of a path, for messages.
std::u16string FileNameOf(std::wstring_view path);
