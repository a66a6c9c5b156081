// Where the console's texts come from, and how each is read: the one reader
// of the initial text file, of "打开文本文件", of the command line's -f and
// of its standard input. The file itself is the platform's (a FileReader,
// platform/files.h); what each caller makes of it is the core's:
// core/initial_text.h, core/text_files.h, core/text_input.h.
#pragma once

#include "core/file_read.h"

#include <string>

enum class TextSource {
    InitialFile,   // 初始默认文本.txt at start-up: created when absent, 1 MB at most
    OpenedFile,    // 打开文本文件: a file on disk, 1 MB at most
    SpokenFile,    // the command line's -f: any file, pipes too, 64 MiB at most
    StandardInput, // the command line's "-": 64 MiB at most
};

// The source's bytes at path (UTF-8; not looked at for standard input),
// read as the source wants it read and up to its limit.
FileRead ReadSource(const FileReader& read, TextSource source, const std::string& path);
