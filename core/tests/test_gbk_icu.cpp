// The generated GBK table held to ICU's own converter, both ways, for every
// unit of the Basic Multilingual Plane and every byte sequence.
#include "core/gbk.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

struct Closer {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, Closer>;

Converter Open() {
    UErrorCode status = U_ZERO_ERROR;
    Converter c(ucnv_open("GBK", &status));
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    return c;
}

// ICU's code for one unit, '?' when it has none (the console's measure).
std::string IcuCode(UConverter* c, char16_t unit) {
    ucnv_reset(c);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    char out[8];
    const UChar in = unit;
    const int32_t n = ucnv_fromUChars(c, out, sizeof out, &in, 1, &status);
    if (U_FAILURE(status) || n == 0)
        return "?";
    return std::string(out, n);
}

// ICU's text for bytes, with its default substitution and a lead byte last
// flushed (U+FFFD).
std::u16string IcuText(UConverter* c, const std::string& bytes) {
    ucnv_reset(c);
    UChar out[16];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(c, out, 16, bytes.data(), int32_t(bytes.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    return std::u16string(reinterpret_cast<const char16_t*>(out), n);
}

std::string Hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char b : s) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    return out;
}

TEST(GbkIcu, EveryUnitEncodesAsIcuDoes) {
    Converter c = Open();
    ASSERT_TRUE(c);
    int differences = 0;
    for (int u = 0; u <= 0xFFFF; ++u) {
        const GbkCode code = GbkCodeOf(char16_t(u));
        const std::string ours(reinterpret_cast<const char*>(code.bytes), code.size);
        const std::string icu = u >= 0xD800 && u <= 0xDFFF ? "?" : IcuCode(c.get(), char16_t(u));
        if (ours != icu && ++differences <= 20)
            ADD_FAILURE() << "U+" << std::hex << u << ": " << Hex(ours) << "ICU " << Hex(icu);
    }
    EXPECT_EQ(differences, 0);
}

// Every byte alone, every lead byte with every byte after it, each followed
// by LF (never a trail byte) and alone at the end.
TEST(GbkIcu, EveryByteSequenceDecodesAsIcuDoes) {
    Converter c = Open();
    ASSERT_TRUE(c);
    int differences = 0;
    auto check = [&](const std::string& bytes) {
        const std::u16string icu = IcuText(c.get(), bytes);
        if (GbkDecode(bytes) != icu && ++differences <= 20)
            ADD_FAILURE() << "bytes " << Hex(bytes);
    };
    for (int b = 0; b < 256; ++b) {
        check(std::string(1, char(b)));
        check(std::string{char(b), '\n'});
        for (int t = 0; b >= 0x81 && b <= 0xFE && t < 256; ++t) {
            check(std::string{char(b), char(t)});
            check(std::string{char(b), char(t), '\n'});
        }
    }
    EXPECT_EQ(differences, 0);
}

} // namespace
