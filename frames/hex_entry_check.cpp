#include "frames/hex_entry_check.h"

#include "core/frame_codec.h"
#include "core/frame_decode.h"
#include "core/hex_entry.h"
#include "qt/qt_text.h"

#include <QStringList>

namespace {

// Bytes shown in the tip before it says how many more there are.
constexpr qsizetype kTipBytes = 48;

bool IsHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

QString Shown(QChar c) {
    switch (c.unicode()) {
    case u' ':
        return QStringLiteral("空格");
    case u'\r':
        return QStringLiteral("回车");
    case u'\n':
        return QStringLiteral("换行");
    case u'\t':
        return QStringLiteral("制表符");
    default:
        return QStringLiteral("“%1”").arg(c);
    }
}

QString ShortHex(const QByteArray& bytes) {
    if (bytes.size() <= kTipBytes)
        return ToQString(HexBytes(StdView(bytes)));
    return ToQString(HexBytes(StdView(QByteArrayView(bytes).first(kTipBytes)))) +
           QStringLiteral(" …（另有 %1 字节）").arg(bytes.size() - kTipBytes);
}

} // namespace

qsizetype FirstBadHexDigit(QStringView text) {
    const qsizetype groups = HexGroupCount(text.size());
    for (qsizetype k = 0; k < groups; ++k) {
        if (!IsHexDigit(text[3 * k]))
            return 3 * k;
        if (!IsHexDigit(text[3 * k + 1]))
            return 3 * k + 1;
    }
    return -1;
}

QString HexEntryTip(QStringView text) {
    if (text.isEmpty())
        return QStringLiteral("空：两个播放按钮都不发送");
    if (text.size() > kMaxHexEntryLength)
        return QStringLiteral("超过 %1 个字符，不能发送").arg(kMaxHexEntryLength);
    if (text.size() == 1)
        return QStringLiteral("只有 1 个字符：不成一个字节（每个字节两位16进制数值）");
    const qsizetype bad = FirstBadHexDigit(text);
    if (bad >= 0)
        return QStringLiteral("格式不匹配：第 %1 个字符 %2 不是16进制数字")
            .arg(bad + 1)
            .arg(Shown(text[bad]));
    const std::optional<QByteArray> typed = [&]() -> std::optional<QByteArray> {
        if (auto bytes = ParseHexGroups(ToU16(text)))
            return ToQBytes(*bytes);
        return std::nullopt;
    }();
    if (!typed)
        return QStringLiteral("格式不匹配，不是16进制数值");

    QStringList lines;
    lines << QStringLiteral("%1 字节：%2").arg(typed->size()).arg(ShortHex(*typed));

    QByteArray automatic = *typed;
    automatic += static_cast<char>(XorOf(ToStdBytes(*typed)));
    const FrameDecode a = DecodeFrame(StdView(automatic));
    lines << QStringLiteral("播放--自动加校验：加 0x%1，发送 %2 字节 %3 — %4")
                 .arg(ToQString(HexBytes(StdView(automatic.right(1)))))
                 .arg(automatic.size())
                 .arg(ToQString(a.check), ToQString(a.meaning));

    const FrameDecode m = DecodeFrame(StdView(*typed));
    const QString last = ToQString(HexBytes(StdView(typed->right(1))));
    lines << QStringLiteral("播放--手动加校验：末字节 0x%1 %2 — %3")
                 .arg(last, ToQString(m.check), ToQString(m.meaning));
    return lines.join(QLatin1Char('\n'));
}
