#include "core/json_writer.h"

#include "core/text_util.h"

#include <cctype>

std::string JsonString(std::string_view utf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string out("\"");
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            // JSON is UTF-8: a byte that is none shows as the text \xNN.
            char32_t code = 0;
            const std::size_t n = Utf8SequenceAt(utf8.substr(i), &code);
            if (n == 0) {
                out += "\\\\x";
                out += static_cast<char>(std::toupper(kHex[u >> 4]));
                out += static_cast<char>(std::toupper(kHex[u & 0xF]));
            } else if (code <= 0x9F) {
                // A C1 control: some terminals act on it.
                out += "\\u00";
                out += kHex[code >> 4];
                out += kHex[code & 0xF];
                i += n - 1;
            } else {
                out.append(utf8.substr(i, n));
                i += n - 1;
            }
            continue;
        }
        switch (u) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

JsonValue::JsonValue(const std::vector<int>& numbers) : text_("[") {
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0)
            text_ += ", ";
        text_ += std::to_string(numbers[i]);
    }
    text_ += ']';
}

JsonValue::JsonValue(const std::vector<std::string>& strings) : text_("[") {
    for (std::size_t i = 0; i < strings.size(); ++i)
        text_ += (i ? ", " : "") + JsonString(strings[i]);
    text_ += ']';
}

std::string JsonObject(const JsonFields& fields) {
    std::string o("{");
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            o += ", ";
        o += JsonString(fields[i].first);
        o += ": ";
        o += fields[i].second.text();
    }
    return o + "}";
}
