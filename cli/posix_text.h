// Reading speak's text file or standard input on Linux with plain POSIX
// calls (the decoding is the core's: core/text_input.h).
#pragma once

#include <optional>
#include <string>

// A TextFileReader: the whole file ("-": standard input) up to
// kMaxTextFileBytes. On failure returns nothing and sets *reason.
std::optional<std::string> ReadPosixText(const std::string& path, std::string* reason);
