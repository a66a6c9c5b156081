// vxt4710-cli.exe's standard streams and files: UTF-8 bytes into a file or a
// pipe, the console's own characters (WriteConsoleW) on a console; standard
// input as UTF-8 unless it is the console, whose typed text is taken as
// typed; file names and the command line in UTF-16, as Windows has them.
#pragma once

#include "core/session_io.h"
#include "platform/windows/handle_read.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

// One of the standard output handles (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE),
// or any handle written to.
class HandleOutput : public OutputSink {
  public:
    explicit HandleOutput(HANDLE handle);
    bool write(std::string_view bytes, std::string* failure) override;
    bool console() const { return console_; }

  private:
    HANDLE handle_;
    bool console_;
};

// Writes text (UTF-8) to standard error; messages go through ComplaintText.
void WriteStandardError(std::string_view text);
void ComplainOnWindowsStandardError(std::string_view message);

// Whether text is whole UTF-16: no surrogate without its partner.
bool IsWholeUtf16(std::u16string_view text);

// The command line's arguments (without the program's name) in UTF-8; when
// one of them is no whole UTF-16, its number (from 1) in *bad and nothing.
std::optional<std::vector<std::string>> ArgumentsOf(int argc, wchar_t** argv, int* bad);

// Reads from handle to its end (platform/windows/handle_read.h), up to
// kSpokenTextMaxBytes: the console's typed text as UTF-8 when it is a
// console, else its bytes. standardInput: a handle that cannot be read at
// all (a closed standard input) reads as empty.
std::optional<std::string> ReadHandle(HANDLE handle, std::string* reason,
                                      bool standardInput = false);
