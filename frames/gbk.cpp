#include "frames/gbk.h"

#include <QChar>
#include <QStringEncoder>
#include <atomic>

namespace {

// One entry per UTF-16 unit, filled the first time the unit is measured:
// bit 24 set once known, bits 16-17 the size, bits 0-15 the bytes (lead byte
// in bits 8-15). Racing fillers write the same value, so relaxed order will do.
std::atomic<uint32_t> gCodes[0x10000];
constexpr uint32_t kKnown = 1u << 24;

GbkCode Unmapped() {
    return GbkCode{};
}

GbkCode Compute(char16_t unit) {
    if (unit < 0x80)
        return GbkCode{1, {static_cast<uint8_t>(unit), 0}};
    // A lone half has no code, and the converter would hold it back waiting
    // for its partner.
    if (QChar::isSurrogate(unit))
        return Unmapped();
    // A fresh converter per unit: its error flag never clears. Each unit is
    // converted once per process, so this is cheap.
    QStringEncoder encoder("GBK");
    if (!encoder.isValid())
        return Unmapped();
    const QByteArray bytes = encoder.encode(QStringView(&unit, 1));
    if (encoder.hasError() || bytes.isEmpty() || bytes.size() > 2)
        return Unmapped();
    GbkCode code;
    code.size = static_cast<uint8_t>(bytes.size());
    code.bytes[0] = static_cast<uint8_t>(bytes[0]);
    code.bytes[1] = bytes.size() == 2 ? static_cast<uint8_t>(bytes[1]) : 0;
    return code;
}

} // namespace

GbkCode GbkCodeOf(char16_t unit) {
    if (unit < 0x80)
        return GbkCode{1, {static_cast<uint8_t>(unit), 0}};
    std::atomic<uint32_t>& slot = gCodes[unit];
    uint32_t packed = slot.load(std::memory_order_relaxed);
    if (!(packed & kKnown)) {
        const GbkCode code = Compute(unit);
        packed =
            kKnown | (uint32_t(code.size) << 16) | (uint32_t(code.bytes[0]) << 8) | code.bytes[1];
        slot.store(packed, std::memory_order_relaxed);
    }
    GbkCode code;
    code.size = static_cast<uint8_t>((packed >> 16) & 0x3);
    code.bytes[0] = static_cast<uint8_t>(packed >> 8);
    code.bytes[1] = static_cast<uint8_t>(packed);
    return code;
}

qsizetype GbkByteCount(QStringView text) {
    qsizetype count = 0;
    for (QChar c : text)
        count += GbkCodeOf(c.unicode()).size;
    return count;
}

QByteArray GbkBytes(QStringView text) {
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        const GbkCode code = GbkCodeOf(c.unicode());
        out.append(static_cast<char>(code.bytes[0]));
        if (code.size == 2)
            out.append(static_cast<char>(code.bytes[1]));
    }
    return out;
}
