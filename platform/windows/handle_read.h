// Reading an open handle to its end on Windows: the console's typed text
// (as UTF-8) when it is a console, else its bytes. For the file service and
// for the command-line program's standard input.
#pragma once

#include "core/file_read.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace files {

// handle (a HANDLE) to its end, refusing more than limit bytes.
// standardInput: a handle that cannot be read at all (a closed standard
// input) reads as empty, as Linux reads /dev/null in its place.
FileRead ReadHandle(void* handle, int64_t limit, bool standardInput);

// What was typed on the console before Ctrl+Z, the end of typed input, and
// whether the end has come.
std::u16string TypedBeforeEnd(std::u16string_view typed, bool* ended);

// path (UTF-8) as Windows' wide calls take it.
std::wstring WidePath(const std::string& path);

} // namespace files
