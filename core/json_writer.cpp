#include "core/json_writer.h"

std::string JsonString(std::string_view utf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string out("\"");
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
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
