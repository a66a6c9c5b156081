#include "core/text_pieces.h"

#include <algorithm>

namespace {
bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLineEnd(char16_t c) {
    return c == u'\n' || c == u'\r';
}
} // namespace

std::size_t PieceEnd(std::u16string_view text, std::size_t from, std::size_t lineEnd,
                     std::size_t pieceLength) {
    std::size_t end = from + std::max<std::size_t>(pieceLength, 2);
    if (end >= lineEnd)
        return lineEnd;
    const std::size_t back = std::min<std::size_t>(256, (end - from) / 2);
    for (std::size_t at = end; at > end - back; --at) {
        const char16_t before = text[at - 1];
        if ((before == u' ' || before >= 0x2E80) && !IsHighSurrogate(before))
            return at;
    }
    if (IsHighSurrogate(text[end - 1]))
        --end;
    return end;
}

std::u16string PiecedText(std::u16string_view text, std::u16string_view seam,
                          std::size_t pieceLength) {
    std::u16string shown;
    shown.reserve(text.size() + text.size() / pieceLength * seam.size());
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t lineEnd = from;
        while (lineEnd < text.size() && !IsLineEnd(text[lineEnd]))
            ++lineEnd;
        // Only a line longer than kPieceLength is cut, then into pieces of
        // at most pieceLength.
        const std::size_t piece = lineEnd - from > kPieceLength ? pieceLength : kPieceLength;
        for (std::size_t at = from; at < lineEnd;) {
            const std::size_t end = PieceEnd(text, at, lineEnd, piece);
            if (at > from)
                shown += seam;
            shown += text.substr(at, end - at);
            at = end;
        }
        if (lineEnd < text.size())
            shown += text[lineEnd];
        from = lineEnd + 1;
    }
    return shown;
}

std::u16string UnpiecedText(std::u16string_view shown, std::u16string_view seam) {
    std::u16string text;
    text.reserve(shown.size());
    std::size_t from = 0;
    for (std::size_t s = shown.find(seam); s != std::u16string_view::npos;
         s = shown.find(seam, from)) {
        text += shown.substr(from, s - from);
        from = s + seam.size();
    }
    text += shown.substr(from);
    return text;
}

std::size_t ShownPosition(std::u16string_view shown, std::size_t pos, std::u16string_view seam,
                          bool afterSeam) {
    std::size_t counted = 0, from = 0; // text units before `from` in shown
    for (std::size_t s = shown.find(seam); s != std::u16string_view::npos;
         s = shown.find(seam, from)) {
        const std::size_t piece = s - from;
        if (pos < counted + piece)
            return from + (pos - counted);
        if (pos == counted + piece)
            return afterSeam ? s + seam.size() : s;
        counted += piece;
        from = s + seam.size();
    }
    return std::min(from + (pos - counted), shown.size());
}

std::size_t TextPosition(std::u16string_view shown, std::size_t pos, std::u16string_view seam) {
    pos = std::min(pos, shown.size());
    std::size_t text = pos;
    for (std::size_t s = shown.find(seam); s != std::u16string_view::npos && s < pos;
         s = shown.find(seam, s + seam.size()))
        text -= std::min(seam.size(), pos - s);
    return text;
}
