// Readable gtest output for Qt strings and bytes, and the work-log entry of a
// frame spelled out by hand (independently of the code that writes it).
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << b.toHex(' ').toStdString();
}

inline QString Entry(const QByteArray& frame) {
    QString s = QStringLiteral("发出一帧，字节数 ") + QLatin1Char(' ') +
                QString::number(frame.size()) + QStringLiteral("\r\n---->");
    for (char c : frame)
        s += QStringLiteral("0x") +
             QString::number(uint8_t(c), 16).toUpper().rightJustified(2, QLatin1Char('0')) +
             QLatin1Char(' ');
    return s + QStringLiteral("\r\n");
}
