#include "win32/cli/win_cli_io.h"

#include "core/cli_session.h"
#include "core/text_input.h"
#include "core/text_util.h"
#include "win32/win_port.h"
#include "win32/win_text.h"

#include <utility>

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::optional<std::string> ReadConsoleText(HANDLE handle, std::string* reason) {
    std::u16string typed;
    bool ended = false;
    while (!ended) {
        wchar_t buf[1024];
        DWORD n = 0;
        if (!ReadConsoleW(handle, buf, 1024, &n, nullptr)) {
            *reason = WinPort::ErrorText(GetLastError());
            return std::nullopt;
        }
        if (n == 0)
            break;
        typed += TypedBeforeEnd(U16(std::wstring_view(buf, n)), &ended);
        if (int64_t(typed.size()) * 3 > kMaxTextFileBytes) {
            *reason = "longer than " + std::to_string(kMaxTextFileBytes >> 20) + " MiB";
            return std::nullopt;
        }
    }
    return Utf8FromUtf16(typed);
}

} // namespace

HandleOutput::HandleOutput(HANDLE handle) : handle_(handle), console_(IsConsole(handle)) {}

bool HandleOutput::write(std::string_view bytes, std::string* failure) {
    if (!handle_ || handle_ == INVALID_HANDLE_VALUE) {
        *failure = "there is no standard output";
        return false;
    }
    if (console_) {
        // The console shows characters, not bytes: UTF-8 is no code page of
        // every console.
        const std::wstring text = Wide(Utf16FromUtf8(bytes));
        for (size_t done = 0; done < text.size();) {
            DWORD n = 0;
            const DWORD chunk = DWORD(std::min<size_t>(text.size() - done, 8192));
            if (!WriteConsoleW(handle_, text.data() + done, chunk, &n, nullptr) || n == 0) {
                *failure = WinPort::ErrorText(GetLastError());
                return false;
            }
            done += n;
        }
        return true;
    }
    for (size_t done = 0; done < bytes.size();) {
        DWORD n = 0;
        if (!WriteFile(handle_, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr) ||
            n == 0) {
            *failure = WinPort::ErrorText(GetLastError());
            return false;
        }
        done += n;
    }
    return true;
}

void WriteStandardError(std::string_view text) {
    HandleOutput err(GetStdHandle(STD_ERROR_HANDLE));
    std::string failure;
    err.write(text, &failure);
}

void ComplainOnWindowsStandardError(std::string_view message) {
    WriteStandardError(ComplaintText(message));
}

bool IsWholeUtf16(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::optional<std::vector<std::string>> ArgumentsOf(int argc, wchar_t** argv, int* bad) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::u16string arg = U16(argv[i]);
        if (!IsWholeUtf16(arg)) {
            *bad = i;
            return std::nullopt;
        }
        args.push_back(Utf8FromUtf16(arg));
    }
    return args;
}

std::u16string TypedBeforeEnd(std::u16string_view typed, bool* ended) {
    const size_t end = typed.find(u'\x1a');
    *ended = end != std::u16string_view::npos;
    return std::u16string(typed.substr(0, end));
}

std::optional<std::string> ReadHandle(HANDLE handle, std::string* reason, bool standardInput) {
    if (IsConsole(handle))
        return ReadConsoleText(handle, reason);
    bool first = true;
    return ReadLimited(
        [handle, standardInput, &first](char* buf, size_t size, std::string* why) -> int64_t {
            DWORD n = 0;
            const bool wasFirst = std::exchange(first, false);
            if (ReadFile(handle, buf, DWORD(size), &n, nullptr))
                return n;
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF)
                return 0; // the writer has closed its end
            // A closed standard input (a handle that reads nothing at all) is
            // empty, as Linux reads /dev/null in its place: one meaning on
            // both systems.
            if (standardInput && wasFirst &&
                (error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION))
                return 0;
            *why = WinPort::ErrorText(error);
            return -1;
        },
        reason);
}

std::optional<std::string> ReadWindowsText(const std::string& path, std::string* reason) {
    if (path == "-") {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        if (!in || in == INVALID_HANDLE_VALUE)
            return std::string(); // closed: empty, as on Linux
        return ReadHandle(in, reason, true);
    }
    const HANDLE file =
        CreateFileW(Wide(Utf16FromUtf8(path)).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = WinPort::ErrorText(GetLastError());
        return std::nullopt;
    }
    auto bytes = ReadHandle(file, reason);
    CloseHandle(file);
    return bytes;
}
