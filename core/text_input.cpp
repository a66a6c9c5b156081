#include "core/text_input.h"

#include "core/text_decode.h"
#include "core/text_util.h"

#include <vector>

std::optional<std::u16string> TextOfFile(std::string_view bytes, bool standardInput,
                                         std::string* reason) {
    const DecodedText decoded =
        standardInput ? DecodeTextAs(bytes, TextEncoding::Utf8) : DecodeTextFile(bytes);
    if (decoded.replaced == 0)
        return decoded.text;
    *reason = "read as " + Utf8FromUtf16(EncodingName(decoded.encoding)) + ", " +
              std::to_string(decoded.replaced) +
              (decoded.replaced == 1 ? " place is" : " places are") +
              " no text (the first at byte " + std::to_string(decoded.firstReplaced + 1) +
              "): invalid bytes, a cut-off character or NUL; nothing sent";
    return std::nullopt;
}

std::optional<std::u16string> DecodeUtf8(std::string_view bytes) {
    DecodedText decoded = DecodeTextAs(bytes, TextEncoding::Utf8);
    if (decoded.replaced)
        return std::nullopt;
    return std::move(decoded.text);
}

std::u16string WithCrLf(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            out += u"\r\n";
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string>
ReadLimited(const std::function<int64_t(char* buf, std::size_t size, std::string* reason)>& read,
            std::string* reason, int64_t limit) {
    std::string bytes;
    std::vector<char> piece(1 << 20);
    for (;;) {
        const int64_t n = read(piece.data(), piece.size(), reason);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.append(piece.data(), std::size_t(n));
        if (int64_t(bytes.size()) > limit) {
            *reason = "longer than " + std::to_string(limit >> 20) + " MiB";
            return std::nullopt;
        }
    }
}
