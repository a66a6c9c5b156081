#include "core/text_read.h"

#include "core/initial_text.h"
#include "core/text_files.h"
#include "core/text_input.h"

FileRead ReadSource(const FileReader& read, TextSource source, const std::string& path) {
    switch (source) {
    case TextSource::InitialFile:
        return read(path, FileReadMode::CreateIfAbsent, kInitialTextMaxBytes);
    case TextSource::OpenedFile:
        return read(path, FileReadMode::DiskFile, kOpenTextMaxBytes);
    case TextSource::SpokenFile:
        return read(path, FileReadMode::AnyFile, kSpokenTextMaxBytes);
    case TextSource::StandardInput:
        return read(std::string(), FileReadMode::StandardInput, kSpokenTextMaxBytes);
    }
    return {};
}
