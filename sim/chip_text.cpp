// The text side of the simulated chip: marks taken out, GBK made readable,
// bytes shown in hexadecimal.
#include "sim/chip_model.h"

#include <cerrno>
#include <iconv.h>

namespace chipsim {

std::string ChipModel::StripMarks(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size());
    for (size_t i = 0; i < gbk.size();) {
        if (const size_t mark = MarkAt(gbk, i)) {
            i += mark;
            continue;
        }
        // A lead byte takes its trail byte along, so that a trail byte equal
        // to '[' never starts a mark.
        const size_t n = (static_cast<uint8_t>(gbk[i]) >= 0x81 && i + 1 < gbk.size()) ? 2 : 1;
        out.append(gbk.substr(i, n));
        i += n;
    }
    return out;
}

int64_t ChipModel::SpeechMs(std::string_view gbk) {
    Attributes defaults;
    return ReadText(gbk, defaults).ms;
}

std::string ChipModel::GbkToUtf8(std::string_view gbk) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (char c : gbk)
            out += (static_cast<uint8_t>(c) < 0x80) ? c : '?';
        return out;
    }
    std::string in(gbk);
    char* inp = in.data();
    size_t inLeft = in.size();
    char buf[1024];
    while (inLeft > 0) {
        char* outp = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buf, sizeof buf - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An undecodable or cut-off byte: mark it and go on after it.
            out += "\xEF\xBF\xBD";
            ++inp;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::string ChipModel::HexOf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += kDigits[static_cast<uint8_t>(bytes[i]) >> 4];
        out += kDigits[static_cast<uint8_t>(bytes[i]) & 0x0F];
    }
    return out;
}

} // namespace chipsim
