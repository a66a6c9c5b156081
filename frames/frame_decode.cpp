#include "frames/frame_decode.h"

#include "core/line_rates.h"
#include "core/commands.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

QString Hex2(uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

uint8_t At(QByteArrayView f, qsizetype i) {
    return static_cast<uint8_t>(f[i]);
}

// GBK bytes to text; a byte that starts no valid character becomes U+FFFD.
QString Gbk(QByteArrayView bytes) {
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes.data(), bytes.size());
    // A lead byte at the very end would wait for its trail byte: LF behind
    // the text turns it into U+FFFD.
    QByteArray padded(bytes.data(), bytes.size());
    padded += '\n';
    QString text = decoder.decode(padded);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// The size of the GBK character at i: 2 for a lead and a trail byte, else 1.
int GbkCharSize(QByteArrayView t, qsizetype i) {
    const uint8_t b = At(t, i);
    if (b >= 0x81 && b <= 0xFE && i + 1 < t.size()) {
        const uint8_t trail = At(t, i + 1);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F)
            return 2;
    }
    return 1;
}

// The length of a control mark starting at i ("[v10]" -> 5), or 0.
qsizetype MarkLength(QByteArrayView t, qsizetype i) {
    if (At(t, i) != '[')
        return 0;
    qsizetype end = i + 1;
    while (end < t.size() && end - i <= 8 && At(t, end) != ']')
        ++end;
    if (end >= t.size() || At(t, end) != ']')
        return 0;
    const qsizetype length = end - i + 1;
    return ControlMarkMeaning(t.sliced(i, length)).isEmpty() ? 0 : length;
}

// Line breaks shown on one line.
QString OneLine(QString s) {
    s.replace(QLatin1String("\r\n"), QStringLiteral("↵"));
    s.replace(QLatin1Char('\r'), QStringLiteral("↵"));
    s.replace(QLatin1Char('\n'), QStringLiteral("↵"));
    return s;
}

// A byte that starts no GBK character: a lead byte with nothing after it, or
// any other byte GBK does not know.
QString BadByteName(QByteArrayView t, qsizetype i) {
    const uint8_t b = At(t, i);
    if (b >= 0x81 && b <= 0xFE && i + 1 == t.size())
        return QStringLiteral("半个 GBK 字符，缺后一字节");
    return QStringLiteral("不是 GBK 字符");
}

QString CharacterName(const QString& c) {
    if (c == QLatin1String("\r"))
        return QStringLiteral("回车 CR");
    if (c == QLatin1String("\n"))
        return QStringLiteral("换行 LF");
    if (c == QLatin1String(" "))
        return QStringLiteral("空格");
    return c;
}

QString CommandName(uint8_t command) {
    switch (command) {
    case FrameCommand::Synthesize:
        return QStringLiteral("合成");
    case FrameCommand::Stop:
        return QStringLiteral("停止");
    case FrameCommand::Pause:
        return QStringLiteral("暂停");
    case FrameCommand::Resume:
        return QStringLiteral("恢复");
    case FrameCommand::Query:
        return QStringLiteral("查询");
    case FrameCommand::Sleep:
        return QStringLiteral("休眠");
    case FrameCommand::SetRate:
        return QStringLiteral("设置芯片");
    default:
        return QStringLiteral("未知命令 0x%1").arg(Hex2(command));
    }
}

QString RateName(uint8_t parameter) {
    if (IsRateIndex(parameter))
        return QStringLiteral("波特率 %1").arg(RateOfIndex(parameter));
    return QStringLiteral("波特率 ?（参数 %1 无效）").arg(parameter);
}

QString MusicName(uint8_t parameter) {
    const int music = parameter >> 3;
    return music == 0 ? QStringLiteral("无背景")
                      : QStringLiteral("背景音乐%1").arg(music, 2, 10, QLatin1Char('0'));
}

QString EncodingName(uint8_t parameter) {
    const int encoding = parameter & 0x07;
    return encoding == kEncodingGbk ? QStringLiteral("GBK")
                                    : QStringLiteral("编码 %1").arg(encoding);
}

// The text of a synthesis frame: plain runs quoted, marks named.
void DecodeText(QByteArrayView t, bool gbk, FrameDecode& d, bool fields, int base) {
    QStringList parts;
    QByteArray run;
    int runChars = 0;
    const auto flushRun = [&] {
        if (run.isEmpty())
            return;
        parts << QStringLiteral("“%1”").arg(OneLine(Gbk(run)));
        run.clear();
    };
    if (!gbk) {
        parts << QStringLiteral("%1 字节文本（不是 GBK，未解码）").arg(t.size());
        if (fields && !t.isEmpty())
            d.fields << FrameFieldRow{base, QStringLiteral("文本"), HexBytes(t),
                                      QStringLiteral("%1 字节").arg(t.size())};
        d.meaning += QLatin1Char(' ') + parts.join(QLatin1Char(' '));
        return;
    }
    for (qsizetype i = 0; i < t.size();) {
        if (const qsizetype mark = MarkLength(t, i)) {
            flushRun();
            const QByteArrayView m = t.sliced(i, mark);
            const QString name = ControlMarkMeaning(m);
            parts << QStringLiteral("%1 %2").arg(QString::fromLatin1(m.data(), m.size()), name);
            if (fields)
                d.fields << FrameFieldRow{base + int(i), QStringLiteral("控制标记"), HexBytes(m),
                                          QString::fromLatin1(m.data(), m.size()) +
                                              QLatin1Char(' ') + name};
            i += mark;
            continue;
        }
        const int size = GbkCharSize(t, i);
        const QByteArrayView c = t.sliced(i, size);
        const uint8_t b = At(t, i);
        const QString shown = Gbk(c);
        if (shown == QStringLiteral("\uFFFD")) {
            // Named by its hex value: a replacement character would hide which
            // byte it is, and a lead byte cut off by the end of the text (the
            // typed frame's last byte taken as its checksum) is no error of the
            // bytes before it.
            flushRun();
            const QString what = BadByteName(t, i);
            parts << QStringLiteral("字节 %1（%2）").arg(HexBytes(c), what);
            if (fields)
                d.fields << FrameFieldRow{base + int(i), QStringLiteral("文本"), HexBytes(c),
                                          what};
            i += size;
            continue;
        }
        if (b != '\r' && b != '\n')
            ++runChars;
        run.append(c.data(), c.size());
        if (fields)
            d.fields << FrameFieldRow{base + int(i), QStringLiteral("文本"), HexBytes(c),
                                      CharacterName(shown)};
        i += size;
    }
    flushRun();
    d.textCharacters = runChars;
    if (!parts.isEmpty())
        d.meaning += QLatin1Char(' ') + parts.join(QLatin1Char(' '));
}

} // namespace

QString HexBytes(QByteArrayView bytes) {
    QString s;
    s.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            s += QLatin1Char(' ');
        s += Hex2(At(bytes, i));
    }
    return s;
}

QString ControlMarkMeaning(QByteArrayView mark) {
    if (mark.size() < 3 || mark.front() != '[' || mark.back() != ']')
        return QString();
    const char letter = mark[1];
    const QByteArrayView digits = mark.sliced(2, mark.size() - 3);
    for (char c : digits)
        if (c < '0' || c > '9')
            return QString();
    // Numbers are written without leading zeros.
    if (digits.size() > 1 && digits.front() == '0')
        return QString();
    const QString number = QString::fromLatin1(digits.data(), digits.size());
    switch (letter) {
    case 'v':
        return digits.isEmpty() ? QString() : QStringLiteral("前景音量 ") + number;
    case 't':
        return digits.isEmpty() ? QString() : QStringLiteral("词语语速 ") + number;
    case 'm':
        return digits.isEmpty() ? QString() : QStringLiteral("背景音量 ") + number;
    case 'o':
        if (number == QLatin1String("0"))
            return QStringLiteral("自然");
        if (number == QLatin1String("1"))
            return QStringLiteral("Word-By-Word");
        return QString();
    case 'd':
        return digits.isEmpty() ? QStringLiteral("恢复默认值") : QString();
    default:
        return QString();
    }
}

FrameDecode DecodeFrame(QByteArrayView f, bool fields) {
    FrameDecode d;
    QStringList wrong;
    const qsizetype n = f.size();
    if (n == 0) {
        d.meaning = QStringLiteral("空帧");
        d.check = QStringLiteral("✗ 帧不完整（0 字节）");
        return d;
    }
    if (At(f, 0) != kFrameHeader)
        wrong << QStringLiteral("帧头 0x%1，应为 0xFD").arg(Hex2(At(f, 0)));
    if (fields)
        d.fields << FrameFieldRow{0, QStringLiteral("帧头"), Hex2(At(f, 0)),
                                  At(f, 0) == kFrameHeader ? QStringLiteral("✓")
                                                           : QStringLiteral("✗ 应为 FD")};
    // Shortest whole frame: header, length, command, checksum.
    if (n < 5) {
        wrong << QStringLiteral("帧不完整（%1 字节）").arg(n);
        d.meaning = n > FrameField::Command ? CommandName(At(f, FrameField::Command))
                                            : QStringLiteral("不完整的帧");
        if (fields)
            for (qsizetype i = 1; i < n; ++i)
                d.fields << FrameFieldRow{int(i), QStringLiteral("字节"), Hex2(At(f, i)),
                                          QString()};
        d.check = QStringLiteral("✗ ") + wrong.join(QStringLiteral("；"));
        return d;
    }

    const int lengthField = (At(f, FrameField::LengthHigh) << 8) | At(f, FrameField::LengthLow);
    const int actual = int(n) - 3;
    if (lengthField != actual)
        wrong << QStringLiteral("长度字段 %1，实有 %2").arg(lengthField).arg(actual);
    const uint8_t command = At(f, FrameField::Command);
    const qsizetype last = n - 1;
    uint8_t sum = 0;
    for (qsizetype i = 0; i < last; ++i)
        sum ^= At(f, i);
    if (sum != At(f, last)) {
        d.rightChecksum = sum;
        wrong.prepend(QStringLiteral("应为 0x%1").arg(Hex2(sum)));
    }
    if (fields) {
        d.fields << FrameFieldRow{
            FrameField::LengthHigh, QStringLiteral("长度"), HexBytes(f.sliced(1, 2)),
            lengthField == actual
                ? QStringLiteral("其后 %1 字节 ✓").arg(lengthField)
                : QStringLiteral("✗ 长度字段 %1，实有 %2").arg(lengthField).arg(actual)};
        d.fields << FrameFieldRow{FrameField::Command, QStringLiteral("命令"), Hex2(command),
                                  CommandName(command)};
    }

    d.meaning = CommandName(command);
    const qsizetype payloadEnd = last; // the checksum is the last byte
    qsizetype next = FrameField::Parameter;
    if (command == FrameCommand::Synthesize && payloadEnd > FrameField::Parameter) {
        const uint8_t p = At(f, FrameField::Parameter);
        const bool gbk = (p & 0x07) == kEncodingGbk;
        d.text = true;
        d.meaning += QLatin1Char(' ') + MusicName(p) + QLatin1Char(' ') + EncodingName(p);
        if (fields)
            d.fields << FrameFieldRow{FrameField::Parameter, QStringLiteral("参数"), Hex2(p),
                                      MusicName(p) + QStringLiteral("，") + EncodingName(p)};
        DecodeText(f.sliced(FrameField::Text, payloadEnd - FrameField::Text), gbk, d, fields,
                   FrameField::Text);
        next = payloadEnd;
    } else if (command == FrameCommand::SetRate && payloadEnd > FrameField::Parameter) {
        const uint8_t p = At(f, FrameField::Parameter);
        d.meaning += QLatin1Char(' ') + RateName(p);
        if (fields)
            d.fields << FrameFieldRow{FrameField::Parameter, QStringLiteral("参数"), Hex2(p),
                                      RateName(p)};
        next = FrameField::Parameter + 1;
    }
    if (next < payloadEnd) {
        const QByteArrayView extra = f.sliced(next, payloadEnd - next);
        const bool known = command == FrameCommand::Synthesize || command == FrameCommand::Stop ||
                           command == FrameCommand::Pause || command == FrameCommand::Resume ||
                           command == FrameCommand::Query || command == FrameCommand::Sleep ||
                           command == FrameCommand::SetRate;
        const QString what = known ? QStringLiteral("多余字节") : QStringLiteral("数据");
        d.meaning += QStringLiteral("（%1 %2 字节）").arg(what).arg(extra.size());
        if (fields)
            d.fields << FrameFieldRow{int(next), what, HexBytes(extra),
                                      QStringLiteral("%1 字节").arg(extra.size())};
    }
    if (fields)
        d.fields << FrameFieldRow{int(last), QStringLiteral("校验"), Hex2(At(f, last)),
                                  sum == At(f, last)
                                      ? QStringLiteral("✓")
                                      : QStringLiteral("✗ 应为 0x%1").arg(Hex2(sum))};
    d.ok = wrong.isEmpty();
    d.check = d.ok ? QStringLiteral("✓") : QStringLiteral("✗ ") + wrong.join(QStringLiteral("；"));
    return d;
}
