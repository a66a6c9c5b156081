// The initial text file from the working folder, through the Windows API.
#include "core/gbk.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

InitialFile ReadInitialFileWin() {
    InitialFile result;
    // One open both creates the file, empty, when it is absent and opens an
    // existing one (read-only ones too) for reading.
    HANDLE file = CreateFileW(Wide(kInitialTextFileName).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Perhaps a large file that cannot be opened: it is still said to be too large.
        WIN32_FILE_ATTRIBUTE_DATA info{};
        if (GetFileAttributesExW(Wide(kInitialTextFileName).c_str(), GetFileExInfoStandard,
                                 &info) &&
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ((int64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow) > kInitialTextMaxBytes)
            result.outcome = InitialFile::Outcome::TooLarge;
        return result;
    }
    LARGE_INTEGER size{};
    // Only a file on disk is read: a pipe or device in its place cannot hold start-up.
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return result;
    }
    if (size.QuadPart > kInitialTextMaxBytes) {
        CloseHandle(file);
        result.outcome = InitialFile::Outcome::TooLarge;
        return result;
    }
    std::string bytes(size_t(size.QuadPart), '\0');
    DWORD got = 0;
    const BOOL ok =
        bytes.empty() || ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
    CloseHandle(file);
    if (!ok)
        return result;
    bytes.resize(got);
    result.outcome = InitialFile::Outcome::Read;
    result.bytes = std::move(bytes);
    return result;
}

bool PlaceGreetingWin() {
    // CREATE_NEW: a file of that name, even an empty one, is the user's.
    HANDLE file = CreateFileW(Wide(kInitialTextFileName).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::string bytes = GbkBytes(kFirstStartGreeting);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}
