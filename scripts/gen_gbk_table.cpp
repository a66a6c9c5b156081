// Writes core/gbk_table.cpp: ICU's "GBK" converter as tables, both ways.
// Built and run by scripts/gen-gbk-table; the output is kept in the repository
// so that no platform needs ICU to get the console's bytes.
#include <unicode/ucnv.h>
#include <unicode/uversion.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr char16_t kNone = 0xFFFD;

UConverter* Open() {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = ucnv_open("GBK", &status);
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "gen-gbk-table: ICU has no GBK converter: %s\n", u_errorName(status));
        std::exit(1);
    }
    return c;
}

// bytes decoded in one go, as the console's decoders do, with ICU's default
// substitution (U+FFFD).
std::u16string Decode(UConverter* c, const std::string& bytes) {
    ucnv_reset(c);
    UChar out[64];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(c, out, 64, bytes.data(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "gen-gbk-table: decoding failed: %s\n", u_errorName(status));
        std::exit(1);
    }
    return std::u16string(reinterpret_cast<const char16_t*>(out), n);
}

// The code of one unit, or nothing when it has none (no fallbacks, as ICU
// converts by default).
std::string Encode(UConverter* c, char16_t unit) {
    ucnv_reset(c);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    char out[8];
    const UChar in = unit;
    const int32_t n = ucnv_fromUChars(c, out, sizeof out, &in, 1, &status);
    if (U_FAILURE(status))
        return {};
    return std::string(out, n);
}

void Fail(const char* what, unsigned a, unsigned b) {
    std::fprintf(stderr, "gen-gbk-table: ICU breaks the layout the table assumes: %s %02X %02X\n",
                 what, a, b);
    std::exit(1);
}

bool IsLead(unsigned b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(unsigned b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

void PrintArray(FILE* f, const char* decl, const std::vector<char16_t>& v) {
    std::fprintf(f, "%s = {", decl);
    for (size_t i = 0; i < v.size(); ++i)
        std::fprintf(f, "%s0x%04X,", i % 12 ? " " : "\n    ", unsigned(v[i]));
    std::fprintf(f, "\n};\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_gbk_table OUTPUT.cpp\n");
        return 64;
    }
    UConverter* c = Open();

    // Single bytes, each followed by LF, which is never a trail byte: a lead
    // byte alone decodes to U+FFFD, like any byte without a character.
    std::vector<char16_t> single(256);
    for (unsigned b = 0; b < 256; ++b) {
        const std::u16string s = Decode(c, std::string(1, char(b)) + "\n");
        if (s.size() != 2 || s[1] != u'\n')
            Fail("single byte", b, 0);
        if (IsLead(b) && s[0] != kNone)
            Fail("lead byte", b, 0);
        single[b] = s[0];
    }

    // Pairs: a trail byte makes a character (or U+FFFD for a pair without
    // one); any other byte after a lead leaves the lead as U+FFFD and starts
    // afresh.
    std::vector<char16_t> pairs;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0; trail < 256; ++trail) {
            const std::u16string s = Decode(c, std::string{char(lead), char(trail), '\n'});
            if (IsTrail(trail)) {
                if (s.size() != 2 || s[1] != u'\n')
                    Fail("pair", lead, trail);
                pairs.push_back(s[0]);
            } else {
                const std::u16string rest = Decode(c, std::string{char(trail), '\n'});
                if (s != kNone + rest)
                    Fail("illegal trail", lead, trail);
            }
        }
    }

    // Encoding is the inverse of decoding, the first byte sequence in byte
    // order winning; the units where ICU says otherwise are listed.
    std::vector<std::string> inverse(0x10000);
    for (unsigned b = 0x80; b < 256; ++b)
        if (!IsLead(b) && single[b] != kNone && inverse[single[b]].empty())
            inverse[single[b]] = std::string(1, char(b));
    size_t i = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
            if (IsTrail(trail)) {
                const char16_t u = pairs[i++];
                if (u != kNone && inverse[u].empty())
                    inverse[u] = std::string{char(lead), char(trail)};
            }
    struct Exception {
        unsigned unit;
        std::string code;
    };
    std::vector<Exception> exceptions;
    for (unsigned u = 0x80; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const std::string code = Encode(c, char16_t(u));
        if (code.size() > 2)
            Fail("code longer than two bytes for unit", u >> 8, u & 0xFF);
        if (code != inverse[u])
            exceptions.push_back({u, code});
    }
    UErrorCode status = U_ZERO_ERROR;
    const std::string name = ucnv_getName(c, &status);
    ucnv_close(c);

    FILE* f = std::fopen(argv[1], "w");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(f, "// Generated by scripts/gen-gbk-table from ICU %s's GBK converter (%s).\n",
                 U_ICU_VERSION, name.c_str());
    std::fprintf(f, "// Do not edit: run the script again.\n");
    std::fprintf(f, "#include \"core/gbk_table.h\"\n\nnamespace gbk_table {\n\n");
    PrintArray(f, "const char16_t kSingle[256]", single);
    std::fprintf(f, "\n");
    PrintArray(f, "const char16_t kPairs[kLeadCount * kTrailCount]", pairs);
    std::fprintf(f, "\nconst EncodeException kEncodeExceptions[] = {");
    for (size_t k = 0; k < exceptions.size(); ++k) {
        const Exception& e = exceptions[k];
        const unsigned b0 = e.code.size() > 0 ? uint8_t(e.code[0]) : 0;
        const unsigned b1 = e.code.size() > 1 ? uint8_t(e.code[1]) : 0;
        std::fprintf(f, "%s{0x%04X, %zu, {0x%02X, 0x%02X}},", k % 4 ? " " : "\n    ", e.unit,
                     e.code.size(), b0, b1);
    }
    // The end mark keeps the array from being empty.
    std::fprintf(f, "\n    {0, 0, {0, 0}},\n};\nconst int kEncodeExceptionCount = %zu;\n\n"
                    "} // namespace gbk_table\n",
                 exceptions.size());
    return std::fclose(f) == 0 ? 0 : 1;
}
