// Reading speak's text file or standard input on Linux: the core's reader
// (core/text_input.h) on the platform's file service.
#pragma once

#include "core/text_input.h"

#include <optional>
#include <string>

// A TextFileReader: the whole file ("-": standard input) up to
// kSpokenTextMaxBytes. On failure returns nothing and sets *reason.
std::optional<std::string> ReadAllOf(const std::string& path, std::string* reason);
