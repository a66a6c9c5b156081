#include "core/text_input.h"

#include "core/text_decode.h"
#include "core/text_read.h"
#include "core/text_util.h"

std::optional<std::u16string> SpokenText(std::string_view bytes, bool standardInput,
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

std::optional<std::string> SpokenBytes(const FileReader& read, const std::string& path,
                                       std::string* reason) {
    const bool standardInput = path == "-";
    FileRead file =
        ReadSource(read, standardInput ? TextSource::StandardInput : TextSource::SpokenFile, path);
    switch (file.outcome) {
    case FileRead::Outcome::Read:
        return std::move(file.bytes);
    case FileRead::Outcome::TooLarge:
        *reason = "longer than " + std::to_string(kSpokenTextMaxBytes >> 20) + " MiB";
        break;
    case FileRead::Outcome::NotAFile:
        *reason = file.reason.empty() ? "not a file" : file.reason;
        break;
    case FileRead::Outcome::Missing:
    case FileRead::Outcome::Unreadable:
        *reason = file.reason;
        break;
    }
    return std::nullopt;
}
