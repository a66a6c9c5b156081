#include "cli/text_input.h"

#include "platform/files.h"

std::optional<std::string> ReadAllOf(const std::string& path, std::string* reason) {
    return SpokenBytes(files::Read, path, reason);
}
