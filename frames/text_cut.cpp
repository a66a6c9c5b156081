#include "frames/text_cut.h"

#include "frames/gbk.h"

#include <QChar>

TextCut CutTextForFrame(QStringView text, qsizetype start, int maxBytes) {
    TextCut cut;
    if (start < 0 || start >= text.size())
        return cut;
    if (maxBytes <= 0) {
        cut.trimmed = true; // not even one character fits
        return cut;
    }
    // Every unit takes at least one byte, so the count passes the limit
    // within maxBytes + 1 units: only that much of a long text is looked at.
    const QStringView piece = text.mid(start, qMin<qsizetype>(text.size() - start, maxBytes + 1));
    int count = 0;
    for (qsizetype i = 1; i <= piece.size(); ++i) {
        const char16_t unit = piece[i - 1].unicode();
        count += GbkCodeOf(unit).size;
        // Never cut between the two halves of one character.
        const bool splitsPair = QChar::isHighSurrogate(unit) && i < piece.size() &&
                                QChar::isLowSurrogate(piece[i].unicode());
        if ((count == maxBytes - 1 || count == maxBytes) && !splitsPair) {
            cut.units = i;
            cut.bytes = count;
        }
        if (count > maxBytes) {
            cut.trimmed = true;
            return cut;
        }
    }
    cut.units = piece.size();
    cut.bytes = count;
    return cut;
}
