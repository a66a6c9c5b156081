#include "win32/cli/win_cli_io.h"

#include "core/cli_session.h"
#include "core/text_input.h"
#include "core/text_util.h"
#include "platform/files.h"
#include "win32/win_port.h"
#include "win32/win_text.h"

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace

HandleOutput::HandleOutput(HANDLE handle) : handle_(handle), console_(IsConsole(handle)) {}

bool HandleOutput::write(std::string_view bytes, std::string* failure) {
    if (!handle_ || handle_ == INVALID_HANDLE_VALUE) {
        *failure = kNoStandardOutput;
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

std::optional<std::string> ReadHandle(HANDLE handle, std::string* reason, bool standardInput) {
    FileRead read = files::ReadHandle(handle, kSpokenTextMaxBytes, standardInput);
    if (read.outcome == FileRead::Outcome::Read)
        return std::move(read.bytes);
    *reason = read.outcome == FileRead::Outcome::TooLarge
                  ? "longer than " + std::to_string(kSpokenTextMaxBytes >> 20) + " MiB"
                  : read.reason;
    return std::nullopt;
}

