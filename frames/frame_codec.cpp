#include "frames/frame_codec.h"

void XorInto(uint8_t& accumulator, uint8_t value) {
    accumulator ^= value;
}

uint8_t XorOf(const QByteArray& bytes) {
    uint8_t sum = 0;
    for (char b : bytes)
        XorInto(sum, static_cast<uint8_t>(b));
    return sum;
}

QString FrameLogText(const QByteArray& frame) {
    static const char kHex[] = "0123456789ABCDEF";
    QString text = QStringLiteral("发出一帧，字节数  ") + QString::number(frame.size()) +
                   QStringLiteral("\r\n---->");
    text.reserve(text.size() + frame.size() * 5 + 2);
    for (char c : frame) {
        const auto b = static_cast<uint8_t>(c);
        text += QLatin1String("0x");
        text += QLatin1Char(kHex[b >> 4]);
        text += QLatin1Char(kHex[b & 0x0F]);
        text += QLatin1Char(' ');
    }
    text += QStringLiteral("\r\n");
    return text;
}
