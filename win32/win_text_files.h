// The files of the context menus on Windows: Windows' own open and save
// dialogs, and the file read and written through the Windows API. What the
// dialogs offer and what the files say is the core's (core/text_files.h).
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

// The text of the file at path for "打开文本文件", or in *error what the
// window says instead (core/text_files.h, on the platform's file service).
std::optional<DecodedText> ReadTextFileWin(const std::wstring& path, std::u16string* error);

// Writes bytes made piece by piece to path through the platform's save
// (platform/files.h): produce hands each piece to the sink and returns false
// once the sink did; a failed write leaves the old file whole. Returns the
// system's reason for a failure, empty on success.
using ByteSink = std::function<bool(std::string_view)>;
std::u16string WriteFileWin(const std::wstring& path, const std::function<bool(const ByteSink&)>& produce);
std::u16string WriteTextFileWin(const std::wstring& path, std::string_view bytes);

// The last part of a path, for messages.
std::u16string FileNameOf(std::wstring_view path);
