#include "core/frame_codec.h"

void XorInto(uint8_t& accumulator, uint8_t value) {
    accumulator ^= value;
}

uint8_t XorOf(std::string_view bytes) {
    uint8_t sum = 0;
    for (char b : bytes)
        XorInto(sum, static_cast<uint8_t>(b));
    return sum;
}

std::u16string FrameLogText(std::string_view frame) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text = u"发出一帧，字节数  ";
    for (char c : std::to_string(frame.size()))
        text += static_cast<char16_t>(c);
    text += u"\r\n---->";
    text.reserve(text.size() + frame.size() * 5 + 2);
    for (char c : frame) {
        const auto b = static_cast<uint8_t>(c);
        text += u"0x";
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
        text += u' ';
    }
    text += u"\r\n";
    return text;
}
