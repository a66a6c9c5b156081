// Between Qt's strings and the core's: text is UTF-16 on both sides, bytes
// are bytes. Views borrow; they live no longer than what they view.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <string>
#include <string_view>

inline std::string_view StdView(QByteArrayView bytes) {
    return std::string_view(bytes.data(), static_cast<size_t>(bytes.size()));
}

inline QByteArrayView QtView(std::string_view bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline QString QtText(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string StdText(const QString& text) {
    return text.toStdU16String();
}
