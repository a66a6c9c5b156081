// The core's GBK measure for Qt's strings, as the tests spell their
// expectations.
#pragma once

#include "core/gbk.h"
#include "qt/qt_text.h"

#include <QByteArray>
#include <QStringView>

inline qsizetype GbkByteCount(QStringView text) {
    return static_cast<qsizetype>(GbkByteCount(std::u16string_view(ToU16(text))));
}

inline QByteArray GbkBytes(QStringView text) {
    return ToQBytes(GbkBytes(std::u16string_view(ToU16(text))));
}
