// ICU's GBK converter as tables (generated into gbk_table.cpp by
// scripts/gen-gbk-table). Lead bytes are 0x81-0xFE, trail bytes 0x40-0xFE
// without 0x7F; 0xFFFD marks a byte or pair without a character.
#pragma once

#include <cstdint>

namespace gbk_table {

constexpr int kLeadCount = 0xFE - 0x81 + 1; // 126
constexpr int kTrailCount = 0xFE - 0x40;    // 190: 0x40-0xFE without 0x7F

// The character of each byte alone (U+FFFD for lead bytes).
extern const char16_t kSingle[256];
// The character of each pair, lead byte by lead byte.
extern const char16_t kPairs[kLeadCount * kTrailCount];

// A unit whose code is not the first byte sequence in byte order that
// decodes to it: size 0 means no code at all.
struct EncodeException {
    char16_t unit;
    uint8_t size;
    uint8_t bytes[2];
};
extern const EncodeException kEncodeExceptions[];
extern const int kEncodeExceptionCount;

} // namespace gbk_table
