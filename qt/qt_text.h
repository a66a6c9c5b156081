// Between the core's strings and Qt's: text is UTF-16 on both sides (the
// same units), bytes are bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <string>
#include <string_view>
#include <vector>

inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16(QStringView text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

inline QByteArray ToQBytes(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToStdBytes(QByteArrayView bytes) {
    return std::string(bytes.data(), static_cast<std::size_t>(bytes.size()));
}

// Views borrow: they live no longer than what they view.
inline std::string_view StdView(QByteArrayView bytes) {
    return std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size()));
}

inline QByteArrayView QtView(std::string_view bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline QStringList ToQStringList(const std::vector<std::u16string>& texts) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::u16string& t : texts)
        list << ToQString(t);
    return list;
}
