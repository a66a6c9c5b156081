#include "core/frame_decode.h"

#include "core/commands.h"
#include "core/gbk.h"
#include "core/line_rates.h"
#include "core/text_util.h"

namespace {

using Text = std::u16string;

Text Hex2(uint8_t b) {
    constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    return Text{kDigits[b >> 4], kDigits[b & 0x0F]};
}

uint8_t At(std::string_view f, size_t i) {
    return static_cast<uint8_t>(f[i]);
}

Text Join(const std::vector<Text>& parts, std::u16string_view separator) {
    Text out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += separator;
        out += parts[i];
    }
    return out;
}

// The size of the GBK character at i: 2 for a lead and a trail byte, else 1.
int GbkCharSize(std::string_view t, size_t i) {
    const uint8_t b = At(t, i);
    if (b >= 0x81 && b <= 0xFE && i + 1 < t.size()) {
        const uint8_t trail = At(t, i + 1);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F)
            return 2;
    }
    return 1;
}

// The length of a control mark starting at i ("[v10]" -> 5), or 0.
size_t MarkLength(std::string_view t, size_t i) {
    if (At(t, i) != '[')
        return 0;
    size_t end = i + 1;
    while (end < t.size() && end - i <= 8 && At(t, end) != ']')
        ++end;
    if (end >= t.size() || At(t, end) != ']')
        return 0;
    const size_t length = end - i + 1;
    return ControlMarkMeaning(t.substr(i, length)).empty() ? 0 : length;
}

// Line breaks shown on one line.
Text OneLine(Text s) {
    s = ReplaceAll(std::move(s), u"\r\n", u"↵");
    s = ReplaceAll(std::move(s), u"\r", u"↵");
    return ReplaceAll(std::move(s), u"\n", u"↵");
}

// A byte that starts no GBK character: a lead byte with nothing after it, or
// any other byte GBK does not know.
Text BadByteName(std::string_view t, size_t i) {
    const uint8_t b = At(t, i);
    if (b >= 0x81 && b <= 0xFE && i + 1 == t.size())
        return u"半个 GBK 字符，缺后一字节";
    return u"不是 GBK 字符";
}

Text CharacterName(const Text& c) {
    if (c == u"\r")
        return u"回车 CR";
    if (c == u"\n")
        return u"换行 LF";
    if (c == u" ")
        return u"空格";
    return c;
}

Text CommandName(uint8_t command) {
    switch (command) {
    case FrameCommand::Synthesize:
        return u"合成";
    case FrameCommand::Stop:
        return u"停止";
    case FrameCommand::Pause:
        return u"暂停";
    case FrameCommand::Resume:
        return u"恢复";
    case FrameCommand::Query:
        return u"查询";
    case FrameCommand::Sleep:
        return u"休眠";
    case FrameCommand::SetRate:
        return u"设置芯片";
    default:
        return u"未知命令 0x" + Hex2(command);
    }
}

Text RateName(uint8_t parameter) {
    if (IsRateIndex(parameter))
        return u"波特率 " + Number16(RateOfIndex(parameter));
    return u"波特率 ?（参数 " + Number16(parameter) + u" 无效）";
}

Text MusicName(uint8_t parameter) {
    const int music = parameter >> 3;
    if (music == 0)
        return u"无背景";
    return u"背景音乐" + (music < 10 ? u"0" + Number16(music) : Number16(music));
}

Text EncodingName(uint8_t parameter) {
    const int encoding = parameter & 0x07;
    return encoding == kEncodingGbk ? u"GBK" : u"编码 " + Number16(encoding);
}

// The text of a synthesis frame: plain runs quoted, marks named.
void DecodeText(std::string_view t, bool gbk, FrameDecode& d, bool fields, int base) {
    std::vector<Text> parts;
    std::string run;
    int runChars = 0;
    const auto flushRun = [&] {
        if (run.empty())
            return;
        parts.push_back(u"“" + OneLine(GbkDecode(run)) + u"”");
        run.clear();
    };
    if (!gbk) {
        const Text size = Number16(int64_t(t.size()));
        parts.push_back(size + u" 字节文本（不是 GBK，未解码）");
        if (fields && !t.empty())
            d.fields.push_back(FrameFieldRow{base, u"文本", HexBytes(t), size + u" 字节"});
        d.meaning += u' ' + Join(parts, u" ");
        return;
    }
    for (size_t i = 0; i < t.size();) {
        if (const size_t mark = MarkLength(t, i)) {
            flushRun();
            const std::string_view m = t.substr(i, mark);
            const Text name = ControlMarkMeaning(m);
            parts.push_back(Latin1ToUtf16(m) + u' ' + name);
            if (fields)
                d.fields.push_back(FrameFieldRow{base + int(i), u"控制标记", HexBytes(m),
                                                 Latin1ToUtf16(m) + u' ' + name});
            i += mark;
            continue;
        }
        const int size = GbkCharSize(t, i);
        const std::string_view c = t.substr(i, size);
        const uint8_t b = At(t, i);
        const Text shown = GbkDecode(c);
        if (shown == u"\uFFFD") {
            // Named by its hex value: a replacement character would hide which
            // byte it is, and a lead byte cut off by the end of the text (the
            // typed frame's last byte taken as its checksum) is no error of the
            // bytes before it.
            flushRun();
            d.badText = true;
            const Text what = BadByteName(t, i);
            parts.push_back(u"字节 " + HexBytes(c) + u"（" + what + u"）");
            if (fields)
                d.fields.push_back(FrameFieldRow{base + int(i), u"文本", HexBytes(c), what});
            i += size;
            continue;
        }
        if (b != '\r' && b != '\n')
            ++runChars;
        run += c;
        if (fields)
            d.fields.push_back(
                FrameFieldRow{base + int(i), u"文本", HexBytes(c), CharacterName(shown)});
        i += size;
    }
    flushRun();
    d.textCharacters = runChars;
    if (!parts.empty())
        d.meaning += u' ' + Join(parts, u" ");
}

bool KnownCommand(uint8_t command) {
    return command == FrameCommand::Synthesize || command == FrameCommand::Stop ||
           command == FrameCommand::Pause || command == FrameCommand::Resume ||
           command == FrameCommand::Query || command == FrameCommand::Sleep ||
           command == FrameCommand::SetRate;
}

} // namespace

std::u16string HexBytes(std::string_view bytes) {
    Text s;
    s.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            s += u' ';
        s += Hex2(At(bytes, i));
    }
    return s;
}

std::u16string ControlMarkMeaning(std::string_view mark) {
    if (mark.size() < 3 || mark.front() != '[' || mark.back() != ']')
        return {};
    const char letter = mark[1];
    const std::string_view digits = mark.substr(2, mark.size() - 3);
    for (char c : digits)
        if (c < '0' || c > '9')
            return {};
    // Numbers are written without leading zeros.
    if (digits.size() > 1 && digits.front() == '0')
        return {};
    const Text number = Latin1ToUtf16(digits);
    switch (letter) {
    case 'v':
        return digits.empty() ? Text() : u"前景音量 " + number;
    case 't':
        return digits.empty() ? Text() : u"词语语速 " + number;
    case 'm':
        return digits.empty() ? Text() : u"背景音量 " + number;
    case 'o':
        if (number == u"0")
            return u"自然";
        if (number == u"1")
            return u"Word-By-Word";
        return {};
    case 'd':
        return digits.empty() ? Text(u"恢复默认值") : Text();
    default:
        return {};
    }
}

FrameDecode DecodeFrame(std::string_view f, bool fields) {
    FrameDecode d;
    std::vector<Text> wrong;
    const size_t n = f.size();
    if (n == 0) {
        d.meaning = u"空帧";
        d.check = u"✗ 帧不完整（0 字节）";
        return d;
    }
    if (At(f, 0) != kFrameHeader)
        wrong.push_back(u"帧头 0x" + Hex2(At(f, 0)) + u"，应为 0xFD");
    if (fields)
        d.fields.push_back(FrameFieldRow{0, u"帧头", Hex2(At(f, 0)),
                                         At(f, 0) == kFrameHeader ? u"✓" : u"✗ 应为 FD"});
    // Shortest whole frame: header, length, command, checksum.
    if (n < 5) {
        wrong.push_back(u"帧不完整（" + Number16(int64_t(n)) + u" 字节）");
        d.meaning =
            n > FrameField::Command ? CommandName(At(f, FrameField::Command)) : Text(u"不完整的帧");
        if (fields)
            for (size_t i = 1; i < n; ++i)
                d.fields.push_back(FrameFieldRow{int(i), u"字节", Hex2(At(f, i)), Text()});
        d.check = u"✗ " + Join(wrong, u"；");
        return d;
    }

    const int lengthField = (At(f, FrameField::LengthHigh) << 8) | At(f, FrameField::LengthLow);
    const int actual = int(n) - 3;
    const Text lengthWrong = u"长度字段 " + Number16(lengthField) + u"，实有 " + Number16(actual);
    if (lengthField != actual)
        wrong.push_back(lengthWrong);
    const uint8_t command = At(f, FrameField::Command);
    const size_t last = n - 1;
    uint8_t sum = 0;
    for (size_t i = 0; i < last; ++i)
        sum ^= At(f, i);
    if (sum != At(f, last)) {
        d.rightChecksum = sum;
        wrong.insert(wrong.begin(), u"应为 0x" + Hex2(sum));
    }
    if (fields) {
        d.fields.push_back(FrameFieldRow{FrameField::LengthHigh, u"长度", HexBytes(f.substr(1, 2)),
                                         lengthField == actual
                                             ? u"其后 " + Number16(lengthField) + u" 字节 ✓"
                                             : u"✗ " + lengthWrong});
        d.fields.push_back(
            FrameFieldRow{FrameField::Command, u"命令", Hex2(command), CommandName(command)});
    }

    d.meaning = CommandName(command);
    const size_t payloadEnd = last; // the checksum is the last byte
    size_t next = FrameField::Parameter;
    if (command == FrameCommand::Synthesize && payloadEnd > FrameField::Parameter) {
        const uint8_t p = At(f, FrameField::Parameter);
        const bool gbk = (p & 0x07) == kEncodingGbk;
        d.text = true;
        d.meaning += u' ' + MusicName(p) + u' ' + EncodingName(p);
        if (fields)
            d.fields.push_back(FrameFieldRow{FrameField::Parameter, u"参数", Hex2(p),
                                             MusicName(p) + u"，" + EncodingName(p)});
        DecodeText(f.substr(FrameField::Text, payloadEnd - FrameField::Text), gbk, d, fields,
                   FrameField::Text);
        next = payloadEnd;
    } else if (command == FrameCommand::SetRate && payloadEnd > FrameField::Parameter) {
        const uint8_t p = At(f, FrameField::Parameter);
        d.meaning += u' ' + RateName(p);
        if (fields)
            d.fields.push_back(FrameFieldRow{FrameField::Parameter, u"参数", Hex2(p), RateName(p)});
        next = FrameField::Parameter + 1;
    }
    if (next < payloadEnd) {
        const std::string_view extra = f.substr(next, payloadEnd - next);
        const Text what = KnownCommand(command) ? u"多余字节" : u"数据";
        const Text size = Number16(int64_t(extra.size()));
        d.meaning += u"（" + what + u' ' + size + u" 字节）";
        if (fields)
            d.fields.push_back(FrameFieldRow{int(next), what, HexBytes(extra), size + u" 字节"});
    }
    if (fields)
        d.fields.push_back(FrameFieldRow{int(last), u"校验", Hex2(At(f, last)),
                                         sum == At(f, last) ? u"✓" : u"✗ 应为 0x" + Hex2(sum)});
    d.ok = wrong.empty();
    d.check = d.ok ? Text(u"✓") : u"✗ " + Join(wrong, u"；");
    return d;
}
