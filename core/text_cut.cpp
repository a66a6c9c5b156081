#include "core/text_cut.h"

#include "core/gbk.h"

#include <algorithm>

namespace {
bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}
} // namespace

TextCut CutTextForFrame(std::u16string_view text, std::ptrdiff_t start, int maxBytes) {
    TextCut cut;
    const auto size = static_cast<std::ptrdiff_t>(text.size());
    if (start < 0 || start >= size)
        return cut;
    if (maxBytes <= 0) {
        cut.trimmed = true; // not even one character fits
        return cut;
    }
    // Every unit takes at least one byte, so the count passes the limit
    // within maxBytes + 1 units: only that much of a long text is looked at.
    const std::u16string_view piece =
        text.substr(static_cast<std::size_t>(start),
                    static_cast<std::size_t>(std::min<std::ptrdiff_t>(size - start, maxBytes + 1)));
    const auto pieceSize = static_cast<std::ptrdiff_t>(piece.size());
    int count = 0;
    for (std::ptrdiff_t i = 1; i <= pieceSize; ++i) {
        const char16_t unit = piece[static_cast<std::size_t>(i - 1)];
        count += GbkCodeOf(unit).size;
        // Never cut between the two halves of one character.
        const bool splitsPair = IsHighSurrogate(unit) && i < pieceSize &&
                                IsLowSurrogate(piece[static_cast<std::size_t>(i)]);
        if ((count == maxBytes - 1 || count == maxBytes) && !splitsPair) {
            cut.units = i;
            cut.bytes = count;
        }
        if (count > maxBytes) {
            cut.trimmed = true;
            return cut;
        }
    }
    cut.units = pieceSize;
    cut.bytes = count;
    return cut;
}
