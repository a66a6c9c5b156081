// What the file service does alike on every system.
#include "platform/files.h"

#include "core/text_input.h"

#include <vector>

namespace files {

std::string Save(const std::string& path, std::string_view bytes) {
    return Save(path, [bytes](const ByteSink& write) { return write(bytes); });
}

std::optional<std::string> ReadSpoken(const std::string& path, std::string* reason) {
    return SpokenBytes(Read, path, reason);
}

FileService Service() {
    FileService service;
    service.read = Read;
    service.save = [](const std::string& path, std::string_view bytes) { return Save(path, bytes); };
    return service;
}

FileRead
ReadLimited(const std::function<int64_t(char* buf, std::size_t size, std::string* reason)>& read,
            int64_t limit) {
    FileRead result;
    std::vector<char> piece(1 << 20);
    for (;;) {
        const int64_t n = read(piece.data(), piece.size(), &result.reason);
        if (n < 0) {
            result.outcome = FileRead::Outcome::Unreadable;
            result.bytes.clear();
            return result;
        }
        if (n == 0) {
            result.outcome = FileRead::Outcome::Read;
            return result;
        }
        result.bytes.append(piece.data(), std::size_t(n));
        if (int64_t(result.bytes.size()) > limit) {
            result.outcome = FileRead::Outcome::TooLarge;
            result.bytes.clear();
            return result;
        }
    }
}

} // namespace files
