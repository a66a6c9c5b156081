#include "core/gbk.h"

#include "core/gbk_table.h"

#include <array>
#include <memory>

namespace {

constexpr char16_t kNone = 0xFFFD;

bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
int TrailIndex(uint8_t trail) { return trail < 0x7F ? trail - 0x40 : trail - 0x41; }

// The code of every unit: 0 for none, a single byte below 0x100, otherwise
// lead byte * 256 + trail byte. Built from the decoding table on first use,
// the first byte sequence in byte order winning, as the generator assumes.
using CodeTable = std::array<uint16_t, 0x10000>;

std::unique_ptr<CodeTable> BuildCodes() {
    auto codes = std::make_unique<CodeTable>();
    codes->fill(0);
    for (int b = 0x80; b < 0x100; ++b) {
        const char16_t u = gbk_table::kSingle[b];
        if (!IsLead(uint8_t(b)) && u != kNone && (*codes)[u] == 0)
            (*codes)[u] = uint16_t(b);
    }
    int i = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (!IsTrail(uint8_t(trail)))
                continue;
            const char16_t u = gbk_table::kPairs[i++];
            if (u != kNone && (*codes)[u] == 0)
                (*codes)[u] = uint16_t(lead << 8 | trail);
        }
    }
    for (int k = 0; k < gbk_table::kEncodeExceptionCount; ++k) {
        const gbk_table::EncodeException& e = gbk_table::kEncodeExceptions[k];
        (*codes)[e.unit] = e.size == 0   ? 0
                           : e.size == 1 ? e.bytes[0]
                                         : uint16_t(e.bytes[0] << 8 | e.bytes[1]);
    }
    // A lone half of a surrogate pair has no code of its own.
    for (int u = 0xD800; u <= 0xDFFF; ++u)
        (*codes)[u] = 0;
    return codes;
}

const CodeTable& Codes() {
    static const std::unique_ptr<CodeTable> codes = BuildCodes();
    return *codes;
}

} // namespace

GbkCode GbkCodeOf(char16_t unit) {
    if (unit < 0x80)
        return GbkCode{1, {static_cast<uint8_t>(unit), 0}};
    const uint16_t code = Codes()[unit];
    if (code == 0)
        return GbkCode{};
    if (code < 0x100)
        return GbkCode{1, {static_cast<uint8_t>(code), 0}};
    return GbkCode{2, {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)}};
}

std::size_t GbkByteCount(std::u16string_view text) {
    std::size_t count = 0;
    for (char16_t unit : text)
        count += GbkCodeOf(unit).size;
    return count;
}

std::string GbkBytes(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t unit : text) {
        const GbkCode code = GbkCodeOf(unit);
        out.push_back(static_cast<char>(code.bytes[0]));
        if (code.size == 2)
            out.push_back(static_cast<char>(code.bytes[1]));
    }
    return out;
}

std::u16string GbkDecode(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        if (!IsLead(b)) {
            text.push_back(gbk_table::kSingle[b]);
            continue;
        }
        const bool paired = i + 1 < bytes.size() && IsTrail(static_cast<uint8_t>(bytes[i + 1]));
        if (!paired) {
            text.push_back(kNone);
            continue;
        }
        const uint8_t trail = static_cast<uint8_t>(bytes[++i]);
        text.push_back(gbk_table::kPairs[(b - 0x81) * gbk_table::kTrailCount + TrailIndex(trail)]);
    }
    return text;
}
