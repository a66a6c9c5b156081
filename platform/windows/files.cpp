// The file service on Windows: wide paths, the Windows API.
#include "platform/files.h"
#include "platform/windows/handle_read.h"

#include "core/port_binding_text.h"

#include <algorithm>
#include <utility>
#include <windows.h>

namespace files {

namespace {

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE && h)
            CloseHandle(h);
    }
};

std::string Utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

FileRead Failed(FileRead::Outcome outcome, DWORD error) {
    FileRead result;
    result.outcome = outcome;
    result.reason = ErrorText(error);
    result.error = error;
    return result;
}

FileRead WithOutcome(FileRead::Outcome outcome) {
    FileRead result;
    result.outcome = outcome;
    return result;
}

FileRead ReadConsoleText(HANDLE handle, int64_t limit) {
    std::u16string typed;
    bool ended = false;
    while (!ended) {
        wchar_t buf[1024];
        DWORD n = 0;
        if (!ReadConsoleW(handle, buf, 1024, &n, nullptr))
            return Failed(FileRead::Outcome::Unreadable, GetLastError());
        if (n == 0)
            break;
        typed +=
            TypedBeforeEnd(std::u16string_view(reinterpret_cast<const char16_t*>(buf), n), &ended);
        // Three UTF-8 bytes at most for each unit typed.
        if (int64_t(typed.size()) * 3 > limit)
            return WithOutcome(FileRead::Outcome::TooLarge);
    }
    FileRead result;
    result.outcome = FileRead::Outcome::Read;
    result.bytes =
        Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(typed.data()), typed.size()));
    return result;
}

// An open file on disk of the given size, read up to one byte past limit: a
// file that grew meanwhile is refused too.
FileRead ReadDiskFile(HANDLE file, int64_t size, int64_t limit) {
    if (size > limit)
        return WithOutcome(FileRead::Outcome::TooLarge);
    std::string bytes(size_t(limit + 1), '\0');
    size_t have = 0;
    while (have < bytes.size()) {
        DWORD got = 0;
        const DWORD want = DWORD(std::min<size_t>(bytes.size() - have, 1 << 30));
        if (!ReadFile(file, bytes.data() + have, want, &got, nullptr))
            return Failed(FileRead::Outcome::Unreadable, GetLastError());
        if (got == 0)
            break;
        have += got;
    }
    if (int64_t(have) > limit)
        return WithOutcome(FileRead::Outcome::TooLarge);
    bytes.resize(have);
    FileRead result;
    result.outcome = FileRead::Outcome::Read;
    result.bytes = std::move(bytes);
    return result;
}

} // namespace

std::wstring WidePath(const std::string& path) {
    if (path.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), nullptr, 0);
    std::wstring out(size_t(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), out.data(), n);
    return out;
}

std::u16string TypedBeforeEnd(std::u16string_view typed, bool* ended) {
    const size_t end = typed.find(u'\x1a');
    *ended = end != std::u16string_view::npos;
    return std::u16string(typed.substr(0, end));
}

FileRead ReadHandle(void* handle, int64_t limit, bool standardInput) {
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode))
        return ReadConsoleText(handle, limit);
    bool first = true;
    return ReadLimited(
        [handle, standardInput, &first](char* buf, size_t size, std::string* why) -> int64_t {
            DWORD n = 0;
            const bool wasFirst = std::exchange(first, false);
            if (ReadFile(handle, buf, DWORD(std::min<size_t>(size, 1 << 30)), &n, nullptr))
                return n;
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF)
                return 0; // the writer has closed its end
            if (standardInput && wasFirst &&
                (error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION))
                return 0;
            *why = ErrorText(error);
            return -1;
        },
        limit);
}

FileRead Read(const std::string& path, FileReadMode mode, int64_t limit) {
    const std::wstring wide = WidePath(path);
    switch (mode) {
    case FileReadMode::StandardInput: {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        if (!in || in == INVALID_HANDLE_VALUE)
            return WithOutcome(FileRead::Outcome::Read); // closed: empty, as on Linux
        return ReadHandle(in, limit, true);
    }
    case FileReadMode::AnyFile: {
        const Handle file{CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr)};
        if (file.h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return Failed(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                              ? FileRead::Outcome::Missing
                              : FileRead::Outcome::Unreadable,
                          error);
        }
        return ReadHandle(file.h, limit, false);
    }
    case FileReadMode::DiskFile: {
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Failed(FileRead::Outcome::Missing, GetLastError());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return WithOutcome(FileRead::Outcome::NotAFile);
        const Handle file{CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        LARGE_INTEGER size{};
        if (file.h == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.h, &size))
            return Failed(FileRead::Outcome::Unreadable, GetLastError());
        return ReadDiskFile(file.h, size.QuadPart, limit);
    }
    case FileReadMode::CreateIfAbsent: {
        // One open both creates the file, empty, when it is absent and opens
        // an existing one (read-only ones too) for reading.
        const Handle file{CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // Perhaps a large file that cannot be opened: still said to be too large.
            WIN32_FILE_ATTRIBUTE_DATA info{};
            if (GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info) &&
                !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                ((int64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow) > limit)
                return WithOutcome(FileRead::Outcome::TooLarge);
            return Failed(FileRead::Outcome::Unreadable, error);
        }
        // Only a file on disk is read: a pipe or device in its place cannot hold the caller.
        if (GetFileType(file.h) != FILE_TYPE_DISK)
            return WithOutcome(FileRead::Outcome::NotAFile);
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.h, &size))
            return Failed(FileRead::Outcome::Unreadable, GetLastError());
        return ReadDiskFile(file.h, size.QuadPart, limit);
    }
    }
    return {};
}

std::string Save(const std::string& path, const ByteProducer& produce) {
    const std::wstring target = WidePath(path);
    const std::wstring temporary = target + L".vxt4710-part";
    DWORD error = ERROR_SUCCESS;
    {
        const Handle file{CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.h == INVALID_HANDLE_VALUE)
            return ErrorText(GetLastError());
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
    if (error == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), target.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error == ERROR_SUCCESS)
        return {};
    DeleteFileW(temporary.c_str());
    return ErrorText(error);
}

namespace {

class AppendFile : public OutputSink {
  public:
    explicit AppendFile(HANDLE h) : h_(h) {}
    ~AppendFile() override { CloseHandle(h_); }
    bool write(std::string_view bytes, std::string* failure) override {
        while (!bytes.empty()) {
            DWORD wrote = 0;
            const DWORD chunk = DWORD(std::min<size_t>(bytes.size(), 1 << 20));
            if (!WriteFile(h_, bytes.data(), chunk, &wrote, nullptr) || wrote == 0) {
                *failure = ErrorText(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
                return false;
            }
            bytes.remove_prefix(wrote);
        }
        return true;
    }

  private:
    HANDLE h_;
};

} // namespace

std::unique_ptr<OutputSink> CreateAppendFile(const std::string& path, bool replace,
                                             std::string* failure) {
    const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *failure = error == ERROR_FILE_EXISTS ? "the file exists"
                                              : ErrorText(error);
        return nullptr;
    }
    return std::make_unique<AppendFile>(h);
}

std::string PortsFolder() {
    wchar_t appData[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return Utf8(std::wstring_view(appData, n)) + "\\vxt4710\\ports";
}

PortEntry ReadPortEntry(const std::string& folder, int n) {
    PortEntry entry;
    if (folder.empty())
        return entry;
    entry.path = folder + "\\com" + std::to_string(n);
    // COM3 is a device's name in every folder, unless the path says it is a
    // file's (\\?\, which takes only whole paths).
    const bool whole = entry.path.size() > 2 && entry.path[1] == ':' && entry.path[2] == '\\';
    const FileRead read =
        Read(whole ? "\\\\?\\" + entry.path : entry.path, FileReadMode::AnyFile, kMaxBindingBytes);
    if (read.outcome == FileRead::Outcome::Missing)
        return entry;
    entry.kind = PortEntry::Kind::File;
    entry.content = read;
    return entry;
}

std::string ErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty())
        return "system error " + std::to_string(code);
    return Utf8(message);
}

} // namespace files
