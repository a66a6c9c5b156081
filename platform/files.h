// Files as the system keeps them: a whole file read up to a limit, a save
// that replaces its target only once everything is written, the ports
// folder, and the system's words for an error. Paths are UTF-8 everywhere;
// Windows converts them to UTF-16 for its wide calls. One implementation per
// system: platform/posix/files.cpp, platform/windows/files.cpp.
#pragma once

#include "core/file_read.h"
#include "core/session_io.h" // OutputSink

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// The file at path (UTF-8) whole, as mode says (core/file_read.h). A file
// over limit bytes, by its size or by what a read found, is TooLarge.
FileRead Read(const std::string& path, FileReadMode mode, int64_t limit);

// Hands each piece to write; false once write failed (the save then fails).
using ByteSink = std::function<bool(std::string_view bytes)>;
using ByteProducer = std::function<bool(const ByteSink& write)>;

// Writes what produce hands over into a file beside path, which then
// replaces path: a failed save leaves the old file whole and removes its
// partial copy. Empty on success, else the system's words.
std::string Save(const std::string& path, const ByteProducer& produce);
std::string Save(const std::string& path, std::string_view bytes);

// Creates a file to be written piece by piece as things happen (a capture):
// each piece reaches the system at once, so that what came before a crash
// is on disk. An existing file is replaced only when replace is set; else,
// and when it cannot be made, null with *failure ("exists", the system's
// words).
std::unique_ptr<OutputSink> CreateAppendFile(const std::string& path, bool replace,
                                             std::string* failure);

// The text speak reads (core/text_input.h): the file at path, pipes and
// devices too, or standard input for "-", up to kSpokenTextMaxBytes.
std::optional<std::string> ReadSpoken(const std::string& path, std::string* reason);

// Read and Save as the window's handlers take them (core/file_read.h).
FileService Service();

// Where the links (Linux) or files (Windows) com<n> live:
// $XDG_CONFIG_HOME/vxt4710/ports, by default ~/.config/vxt4710/ports, on
// Linux; %APPDATA%\vxt4710\ports on Windows (empty when APPDATA is unset).
std::string PortsFolder();

// What folder holds under the name com<n> (core/file_read.h): on Linux a
// link, followed to its end, or a file; on Windows a file (COM3 names a
// device in every folder, so a whole path is read as the file's). A file is
// read up to kMaxBindingBytes (core/port_binding_text.h).
PortEntry ReadPortEntry(const std::string& folder, int n);

// The system's one-line text for an errno (Linux) or GetLastError (Windows)
// code; "system error N" when it has none.
std::string ErrorText(unsigned long code);

// Reads pieces from read (which returns the bytes it put into buf, 0 at the
// end, -1 on failure with *reason set) until the end, refusing more than
// limit bytes: for streams that have no size. Read, TooLarge or Unreadable.
FileRead
ReadLimited(const std::function<int64_t(char* buf, std::size_t size, std::string* reason)>& read,
            int64_t limit);

} // namespace files
