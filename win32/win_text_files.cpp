#include "win32/win_text_files.h"

#include "win32/win_text.h"

#include <commdlg.h>

namespace {
struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};
} // namespace

std::u16string SystemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return U16(reason);
}

std::u16string FileNameOf(std::wstring_view path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return U16(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

TextFileRead ReadTextFileWin(const std::wstring& path) {
    TextFileRead read;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return read; // Missing
    Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    LARGE_INTEGER size{};
    if (file.h == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.h, &size)) {
        read.outcome = TextFileRead::Outcome::Unreadable;
        read.reason = SystemReason(GetLastError());
        return read;
    }
    if (size.QuadPart > kTextFileMaxBytes) {
        read.outcome = TextFileRead::Outcome::TooLarge;
        return read;
    }
    // One byte past the limit: a file that grew meanwhile is refused too.
    std::string bytes(size_t(kTextFileMaxBytes + 1), '\0');
    size_t have = 0;
    while (have < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.h, bytes.data() + have, DWORD(bytes.size() - have), &got, nullptr)) {
            read.outcome = TextFileRead::Outcome::Unreadable;
            read.reason = SystemReason(GetLastError());
            return read;
        }
        if (got == 0)
            break;
        have += got;
    }
    bytes.resize(have);
    read.outcome = TextFileRead::Outcome::Read;
    read.bytes = std::move(bytes);
    return read;
}

std::u16string WriteTextFileWin(const std::wstring& path, std::string_view bytes) {
    return WriteFileWin(path, [bytes](const ByteSink& write) { return write(bytes); });
}

std::u16string WriteFileWin(const std::wstring& path,
                            const std::function<bool(const ByteSink&)>& produce) {
    const std::wstring temporary = path + L".vxt4710-part";
    DWORD error = ERROR_SUCCESS;
    {
        Handle file{CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.h == INVALID_HANDLE_VALUE)
            return SystemReason(GetLastError());
        const ByteSink write = [&](std::string_view bytes) {
            while (!bytes.empty()) {
                DWORD wrote = 0;
                const DWORD chunk = DWORD(std::min<size_t>(bytes.size(), 1 << 20));
                if (!WriteFile(file.h, bytes.data(), chunk, &wrote, nullptr) || wrote == 0) {
                    error = GetLastError();
                    return false;
                }
                bytes.remove_prefix(wrote);
            }
            return true;
        };
        if ((!produce(write) || !FlushFileBuffers(file.h)) && error == ERROR_SUCCESS)
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    if (error == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), path.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error == ERROR_SUCCESS)
        return {};
    DeleteFileW(temporary.c_str());
    return SystemReason(error);
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
