#include "core/hex_entry_check.h"

#include "core/frame_codec.h"
#include "core/frame_decode.h"
#include "core/hex_entry.h"
#include "core/text_util.h"

namespace {

// Bytes shown in the tip before it says how many more there are.
constexpr std::size_t kTipBytes = 48;

bool IsHexDigit(char16_t u) {
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

std::u16string Shown(char16_t c) {
    switch (c) {
    case u' ':
        return u"空格";
    case u'\r':
        return u"回车";
    case u'\n':
        return u"换行";
    case u'\t':
        return u"制表符";
    default:
        return u"“" + std::u16string(1, c) + u"”";
    }
}

std::u16string ShortHex(const std::string& bytes) {
    if (bytes.size() <= kTipBytes)
        return HexBytes(bytes);
    return HexBytes(std::string_view(bytes).substr(0, kTipBytes)) + u" …（另有 " +
           Number16(static_cast<int64_t>(bytes.size() - kTipBytes)) + u" 字节）";
}

} // namespace

std::ptrdiff_t FirstBadHexDigit(std::u16string_view text) {
    const std::ptrdiff_t groups = HexGroupCount(static_cast<std::ptrdiff_t>(text.size()));
    for (std::ptrdiff_t k = 0; k < groups; ++k) {
        if (!IsHexDigit(text[static_cast<std::size_t>(3 * k)]))
            return 3 * k;
        if (!IsHexDigit(text[static_cast<std::size_t>(3 * k + 1)]))
            return 3 * k + 1;
    }
    return -1;
}

std::u16string HexEntryTip(std::u16string_view text) {
    const auto size = static_cast<std::ptrdiff_t>(text.size());
    if (text.empty())
        return u"空：两个播放按钮都不发送";
    if (size > kMaxHexEntryLength)
        return u"超过 " + Number16(kMaxHexEntryLength) + u" 个字符，不能发送";
    if (size == 1)
        return u"只有 1 个字符：不成一个字节（每个字节两位16进制数值）";
    const std::ptrdiff_t bad = FirstBadHexDigit(text);
    if (bad >= 0)
        return u"格式不匹配：第 " + Number16(bad + 1) + u" 个字符 " +
               Shown(text[static_cast<std::size_t>(bad)]) + u" 不是16进制数字";
    const std::optional<std::string> typed = ParseHexGroups(text);
    if (!typed)
        return u"格式不匹配，不是16进制数值";

    std::u16string tip = Number16(static_cast<int64_t>(typed->size())) + u" 字节：" + ShortHex(*typed);

    std::string automatic = *typed;
    automatic += static_cast<char>(XorOf(*typed));
    const FrameDecode a = DecodeFrame(automatic);
    tip += u"\n播放--自动加校验：加 0x" + HexBytes(std::string_view(automatic).substr(automatic.size() - 1)) +
           u"，发送 " + Number16(static_cast<int64_t>(automatic.size())) + u" 字节 " + a.check + u" — " +
           a.meaning;

    const FrameDecode m = DecodeFrame(*typed);
    tip += u"\n播放--手动加校验：末字节 0x" + HexBytes(std::string_view(*typed).substr(typed->size() - 1)) +
           u" " + m.check + u" — " + m.meaning;
    return tip;
}
