// What reading a whole file found, as the platform's file service
// (platform/files.h) reports it; the core decides what each caller makes of
// it (core/text_read.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct FileRead {
    enum class Outcome {
        Read,       // bytes holds the whole file
        Missing,    // no such file (reason: the system's words)
        NotAFile,   // a folder, or a pipe or device where a file on disk is wanted
        TooLarge,   // over the limit: not read, bytes empty
        Unreadable, // could not be opened or read: reason says why
    };
    Outcome outcome = Outcome::Missing;
    std::string bytes;
    std::string reason;      // UTF-8; empty for Read and TooLarge
    unsigned long error = 0; // the system's code behind reason (errno, GetLastError)
};

enum class FileReadMode {
    DiskFile,       // only a file on disk is read; anything else is NotAFile
    CreateIfAbsent, // the same, an absent file made empty first; a pipe never holds it up
    AnyFile,        // pipes and devices too, read to their end
    StandardInput,  // the path is not looked at; a closed standard input reads as empty
};

// Reads the file at path (UTF-8) whole, refusing more than limit bytes.
using FileReader =
    std::function<FileRead(const std::string& path, FileReadMode mode, int64_t limit)>;

// The platform's file service as the window's handlers use it; the platform
// makes it (files::Service(), platform/files.h).
struct FileService {
    FileReader read;
    // Writes bytes to a file beside path that then replaces path, so that a
    // failed save leaves the old file whole: empty on success, else the
    // system's words (UTF-8).
    std::function<std::string(const std::string& path, std::string_view bytes)> save;
};

// What the ports folder holds under the name com<n>, as the platform found
// it (core/port_names.h makes a port of it).
struct PortEntry {
    enum class Kind {
        None, // nothing of that name, or a folder
        Link, // a symbolic link (Linux)
        File, // anything else: read as a file that binds the name to an address
    };
    Kind kind = Kind::None;
    std::string path;   // the folder's path and com<n>
    std::string target; // Link: where it points, its own bytes
    std::string device; // Link: what the chain of links ends at, or its target when nowhere
    FileRead content;   // File: what reading it found, up to kMaxBindingBytes
};
