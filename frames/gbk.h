// The GBK byte measure: how the console's text goes to the chip, and how many
// bytes it takes there. Plain code, no widgets.
#pragma once

#include <QByteArray>
#include <QStringView>
#include <cstdint>

// The GBK code of one UTF-16 unit of the text: one byte (ASCII, CR and LF
// among them) or two, lead byte first. A unit without a GBK code, and each
// half of a surrogate pair, goes to the chip as '?' and takes one byte.
struct GbkCode {
    uint8_t size = 1; // 1 or 2
    uint8_t bytes[2] = {'?', 0};
};
GbkCode GbkCodeOf(char16_t unit);

// The number of bytes text takes in GBK, by the measure above.
qsizetype GbkByteCount(QStringView text);

// text in GBK, unit by unit by the same measure: GbkBytes(t).size() is
// always GbkByteCount(t).
QByteArray GbkBytes(QStringView text);
