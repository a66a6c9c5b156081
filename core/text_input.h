// The text that speak sends: from the command line, a file or standard
// input. Reading the bytes is the platform's (a TextFileReader); how they
// become text is the same everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// A file's bytes as text, by the console's rule (core/text_decode.h);
// standard input is UTF-8 whatever it holds. A text in which anything would
// become U+FFFD is refused, so that the chip never speaks "?" for what the
// file says: nothing, and *reason says what and where (UTF-8).
std::optional<std::u16string> TextOfFile(std::string_view bytes, bool standardInput,
                                         std::string* reason);

// UTF-8 only; nothing when bytes are not valid UTF-8.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes);

// Every line break as the window's text box holds it: CR LF. A lone CR or LF
// becomes CR LF.
std::u16string WithCrLf(std::u16string_view text);

// The most bytes a text file or standard input may hold.
inline constexpr int64_t kMaxTextFileBytes = 64 * 1024 * 1024;

// Reads a whole file ("-": standard input) up to kMaxTextFileBytes. On
// failure returns nothing and sets *reason (UTF-8).
using TextFileReader =
    std::function<std::optional<std::string>(const std::string& path, std::string* reason)>;

// Reads pieces from read (which returns the bytes it put into buf, 0 at the
// end, -1 on failure with *reason set) until the end, refusing more than
// limit bytes: for readers of streams that have no size.
std::optional<std::string>
ReadLimited(const std::function<int64_t(char* buf, std::size_t size, std::string* reason)>& read,
            std::string* reason, int64_t limit = kMaxTextFileBytes);
