// The files of the context menus on Windows: Windows' own open and save
// dialogs, and the file read and written through the Windows API. What the
// dialogs offer and what the files say is the core's (core/text_files.h).
#pragma once

#include "core/text_files.h"

#include <functional>
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

// At most kTextFileMaxBytes + 1 bytes of the file.
TextFileRead ReadTextFileWin(const std::wstring& path);

// Writes bytes to path through a file beside it that then replaces path, so
// that a failed write leaves the old file whole. Returns the system's reason
// for a failure, empty on success.
std::u16string WriteTextFileWin(const std::wstring& path, std::string_view bytes);

// The same for bytes made piece by piece: produce hands each piece to the
// sink and returns false once the sink did.
using ByteSink = std::function<bool(std::string_view)>;
std::u16string WriteFileWin(const std::wstring& path, const std::function<bool(const ByteSink&)>& produce);

// The last part of a path, for messages.
std::u16string FileNameOf(std::wstring_view path);

// The system's text for an error code.
std::u16string SystemReason(DWORD error);
