#include "frames/hex_entry.h"

// A UTF-16 unit of any other kind, surrogates included, is simply not a digit.
int HexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

qsizetype HexGroupCount(qsizetype length) {
    return length < 0 ? 0 : (length + 1) / 3;
}

std::optional<QByteArray> ParseHexGroups(QStringView text) {
    return ParseHexGroups(text, nullptr);
}

std::optional<QByteArray> ParseHexGroups(QStringView text, qsizetype* firstBad) {
    qsizetype unused = 0;
    qsizetype& bad = firstBad ? *firstBad : unused;
    const qsizetype length = text.size();
    bad = -1;
    if (length > kMaxHexEntryLength)
        return std::nullopt;
    if (length == 0)
        return QByteArray();
    const qsizetype groups = HexGroupCount(length);
    // One character: its pair would run past the end of the text.
    if (groups == 0) {
        bad = HexDigitValue(text[0]) < 0 ? 0 : length;
        return std::nullopt;
    }
    QByteArray bytes(groups, '\0');
    for (qsizetype k = 0; k < groups; ++k) {
        // 3k + 1 <= 3 * groups - 2 <= length - 1: both digits lie inside.
        const int high = HexDigitValue(text[3 * k]);
        const int low = HexDigitValue(text[3 * k + 1]);
        if (high < 0 || low < 0) {
            bad = high < 0 ? 3 * k : 3 * k + 1;
            return std::nullopt;
        }
        bytes[k] = static_cast<char>(high * 16 + low);
    }
    return bytes;
}

qsizetype HexLoneTail(QStringView text) {
    return text.size() % 3 == 1 ? text.size() - 1 : -1;
}
