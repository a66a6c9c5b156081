#include "win32/win_text_files.h"

#include "win32/win_text.h"

#include "core/text_util.h"
#include "platform/files.h"

#include <commdlg.h>

std::u16string FileNameOf(std::wstring_view path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return U16(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::u16string WriteFileWin(const std::wstring& path,
                            const std::function<bool(const ByteSink&)>& produce) {
    return Utf16FromUtf8(files::Save(Utf8FromUtf16(U16(path)), produce));
}

FileDialogAnswer RunFileDialogWin(HWND owner, const TextFileDialog& dialog) {
    // "label\0pattern\0...\0\0"; an open dialog also offers every file.
    std::wstring filters;
    for (const TextFileFilter& f : dialog.filters) {
        filters += Wide(f.label) + L'\0' + Wide(f.pattern) + L'\0';
    }
    if (!dialog.save)
        filters += std::wstring(L"所有文件 (*.*)") + L'\0' + L"*.*" + L'\0';
    filters += L'\0';
    std::wstring file(32768, L'\0');
    const std::wstring suggested = Wide(dialog.fileName);
    file.replace(0, suggested.size(), suggested);
    const std::wstring title = Wide(dialog.caption);
    // A name typed without an extension gets the filter's (the CSV export's
    // "csv"); Explorer-style dialogs follow a filter chosen later too.
    const std::wstring extension = Wide(DefaultExtension(dialog));

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = DWORD(dialog.filter + 1);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                (dialog.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = dialog.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen)
        return {};
    FileDialogAnswer answer;
    answer.path = file.c_str();
    answer.filter = ofn.nFilterIndex > 0 ? int(ofn.nFilterIndex) - 1 : 0;
    return answer;
}
