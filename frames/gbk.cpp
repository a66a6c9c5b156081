#include "frames/gbk.h"

#include <string_view>

namespace {

std::u16string_view Units(QStringView text) {
    return {text.utf16(), static_cast<std::size_t>(text.size())};
}

} // namespace

qsizetype GbkByteCount(QStringView text) {
    return static_cast<qsizetype>(GbkByteCount(Units(text)));
}

QByteArray GbkBytes(QStringView text) {
    return QByteArray::fromStdString(GbkBytes(Units(text)));
}
