// The text that speak sends: from the command line, a file or standard
// input. Reading the bytes is the platform's (a FileReader,
// platform/files.h); how they become text is the same everywhere.
#pragma once

#include "core/file_read.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The most bytes the command line's -f file or standard input may hold.
inline constexpr int64_t kSpokenTextMaxBytes = 64 * 1024 * 1024;

// A file's bytes as text, by the console's rule (core/text_decode.h);
// standard input is UTF-8 whatever it holds. A text in which anything would
// become U+FFFD is refused, so that the chip never speaks "?" for what the
// file says: nothing, and *reason says what and where (UTF-8).
std::optional<std::u16string> SpokenText(std::string_view bytes, bool standardInput,
                                         std::string* reason);

// UTF-8 only; nothing when bytes are not valid UTF-8.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes);

// Every line break as the window's text box holds it: CR LF. A lone CR or LF
// becomes CR LF.
std::u16string WithCrLf(std::u16string_view text);

// Reads a whole file ("-": standard input) up to kSpokenTextMaxBytes. On
// failure returns nothing and sets *reason (UTF-8).
using TextFileReader =
    std::function<std::optional<std::string>(const std::string& path, std::string* reason)>;

// The TextFileReader on the platform's reader: the file at path (UTF-8),
// pipes and devices too, or standard input for "-". On failure nothing, and
// *reason is the system's words or "longer than 64 MiB".
std::optional<std::string> SpokenBytes(const FileReader& read, const std::string& path,
                                       std::string* reason);
