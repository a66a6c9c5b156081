// What a text typed for the hex entry would send: shown while it is typed.
// Plain code, no widgets.
#pragma once

#include <QString>
#include <QStringView>

// Where the typed text stops being hexadecimal: the 0-based position of the
// first digit position that holds no hex digit, or -1 when every group is
// whole. Groups are read as the send buttons read them.
qsizetype FirstBadHexDigit(QStringView text);

// The tooltip of the hex entry for its current text: the bytes it parses to,
// what the frame means, and whether the last typed byte is the checksum the
// hand-made-checksum button needs; for invalid text, where the first bad
// digit stands and what it is.
QString HexEntryTip(QStringView text);
