#include "frames/text_decode.h"

#include <QChar>
#include <QStringDecoder>
#include <array>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The text being built, with its record of the places that are no text.
struct Builder {
    DecodedText out;

    explicit Builder(TextEncoding encoding, qsizetype size) {
        out.encoding = encoding;
        out.text.reserve(size);
    }
    void Bad(qsizetype offset) {
        out.text.append(QChar(kReplacement));
        if (out.replaced++ == 0)
            out.firstReplaced = offset;
    }
    // A character, unless it is a NUL.
    void Put(char32_t c, qsizetype offset) {
        if (c == 0)
            Bad(offset);
        else if (QChar::requiresSurrogates(c))
            out.text.append(QChar(QChar::highSurrogate(c))).append(QChar(QChar::lowSurrogate(c)));
        else
            out.text.append(QChar(static_cast<char16_t>(c)));
    }
};

// --- GBK ---------------------------------------------------------------------

constexpr int kLeadFirst = 0x81, kLeadLast = 0xFE, kTrailFirst = 0x40, kTrailLast = 0xFE;
constexpr int kTrails = kTrailLast - kTrailFirst + 1;
using PairTable = std::array<char16_t, (kLeadLast - kLeadFirst + 1) * kTrails>;

bool IsTrail(uint8_t b) {
    return b >= kTrailFirst && b <= kTrailLast && b != 0x7F;
}

bool IsPrivateUse(char16_t c) {
    return c >= 0xE000 && c <= 0xF8FF;
}

// Every two-byte code once, through the system's converter: each pair is
// followed by LF, which is never a trail byte, so that pair by pair what
// comes out between the LFs is that pair's character. 0 marks no character.
PairTable MakePairTable() {
    PairTable table{};
    QByteArray all;
    all.reserve(table.size() * 3);
    for (int lead = kLeadFirst; lead <= kLeadLast; ++lead)
        for (int trail = kTrailFirst; trail <= kTrailLast; ++trail)
            all.append(char(lead)).append(char(trail)).append('\n');
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return table;
    const QString text = decoder.decode(all);
    qsizetype at = 0;
    for (char16_t& entry : table) {
        const qsizetype end = text.indexOf(u'\n', at);
        if (end < 0)
            break;
        if (end - at == 1) {
            const char16_t c = text[at].unicode();
            if (c != kReplacement && !QChar::isSurrogate(c) && !IsPrivateUse(c))
                entry = c;
        }
        at = end + 1;
    }
    return table;
}

char16_t PairCharacter(uint8_t lead, uint8_t trail) {
    static const PairTable table = MakePairTable();
    return table[(lead - kLeadFirst) * kTrails + (trail - kTrailFirst)];
}

void DecodeGbk(QByteArrayView bytes, Builder& b) {
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        if (byte < 0x80) {
            b.Put(byte, i);
        } else if (byte == 0x80) {
            b.Put(0x20AC, i); // the euro sign, as the chip's code page has it
        } else if (byte == 0xFF || i + 1 == n || !IsTrail(static_cast<uint8_t>(bytes[i + 1]))) {
            b.Bad(i); // the next byte, if any, stands for itself
        } else {
            const char16_t c = PairCharacter(byte, static_cast<uint8_t>(bytes[i + 1]));
            if (c)
                b.Put(c, i);
            else
                b.Bad(i);
            ++i;
        }
    }
}

// --- UTF-8 -------------------------------------------------------------------

// One character from bytes[i]: its code and length, or length 0 when the
// bytes there are no valid UTF-8 (then one byte is replaced).
struct Utf8Char {
    char32_t code = 0;
    int length = 0;
};

Utf8Char NextUtf8(QByteArrayView bytes, qsizetype i) {
    const auto at = [&](qsizetype k) { return static_cast<uint8_t>(bytes[k]); };
    const uint8_t first = at(i);
    if (first < 0x80)
        return {first, 1};
    int length = 0;
    char32_t code = 0, least = 0;
    if (first >= 0xC2 && first <= 0xDF)
        length = 2, code = first & 0x1F, least = 0x80;
    else if (first >= 0xE0 && first <= 0xEF)
        length = 3, code = first & 0x0F, least = 0x800;
    else if (first >= 0xF0 && first <= 0xF4)
        length = 4, code = first & 0x07, least = 0x10000;
    else
        return {};
    if (i + length > bytes.size())
        return {}; // cut off at the end
    for (int k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (at(i + k) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {}; // overlong, beyond Unicode, or a surrogate
    return {code, length};
}

// Whether all of bytes is valid UTF-8 (NULs included: they are valid UTF-8,
// and the rule replaces them in whichever encoding).
bool IsUtf8(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        const Utf8Char c = NextUtf8(bytes, i);
        if (c.length == 0)
            return false;
        i += c.length;
    }
    return true;
}

void DecodeUtf8(QByteArrayView bytes, qsizetype base, Builder& b) {
    for (qsizetype i = 0; i < bytes.size();) {
        const Utf8Char c = NextUtf8(bytes, i);
        if (c.length == 0) {
            b.Bad(base + i);
            ++i;
        } else {
            b.Put(c.code, base + i);
            i += c.length;
        }
    }
}

// --- UTF-16 ------------------------------------------------------------------

void DecodeUtf16(QByteArrayView bytes, qsizetype base, bool littleEndian, Builder& b) {
    const auto unit = [&](qsizetype k) -> char16_t {
        const auto lo = static_cast<uint8_t>(bytes[k + (littleEndian ? 0 : 1)]);
        const auto hi = static_cast<uint8_t>(bytes[k + (littleEndian ? 1 : 0)]);
        return static_cast<char16_t>(hi << 8 | lo);
    };
    const qsizetype whole = bytes.size() & ~qsizetype(1);
    for (qsizetype i = 0; i < whole; i += 2) {
        const char16_t u = unit(i);
        if (QChar::isHighSurrogate(u) && i + 2 < whole && QChar::isLowSurrogate(unit(i + 2))) {
            b.Put(QChar::surrogateToUcs4(u, unit(i + 2)), base + i);
            i += 2;
        } else if (QChar::isSurrogate(u)) {
            b.Bad(base + i);
        } else {
            b.Put(u, base + i);
        }
    }
    if (whole < bytes.size())
        b.Bad(base + whole); // half a unit: the file was cut short
}

} // namespace

DecodedText DecodeTextAs(QByteArrayView bytes, TextEncoding encoding) {
    Builder b(encoding, bytes.size());
    switch (encoding) {
    case TextEncoding::Gbk:
        DecodeGbk(bytes, b);
        break;
    case TextEncoding::Utf8: {
        const qsizetype mark = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        DecodeUtf8(bytes.sliced(mark), mark, b);
        break;
    }
    case TextEncoding::Utf16: {
        const bool little = bytes.startsWith("\xFF\xFE");
        const qsizetype mark = little || bytes.startsWith("\xFE\xFF") ? 2 : 0;
        DecodeUtf16(bytes.sliced(mark), mark, little, b);
        break;
    }
    }
    return std::move(b.out);
}

DecodedText DecodeTextFile(QByteArrayView bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return DecodeTextAs(bytes, TextEncoding::Utf16);
    if (IsUtf8(bytes))
        return DecodeTextAs(bytes, TextEncoding::Utf8);
    return DecodeTextAs(bytes, TextEncoding::Gbk);
}

QString EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Gbk:
        return QStringLiteral("GBK");
    case TextEncoding::Utf16:
        return QStringLiteral("UTF-16");
    }
    return QString();
}
