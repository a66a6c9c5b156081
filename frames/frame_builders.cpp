#include "frames/frame_builders.h"

#include "attributes/control_marks.h"
#include "frames/frame_codec.h"
#include "frames/gbk.h"
#include "frames/text_cut.h"

namespace {

// Appends the XOR of every byte so far.
QByteArray WithChecksum(QByteArray body) {
    body.append(static_cast<char>(XorOf(body)));
    return body;
}

} // namespace

QByteArray TextFrame(QStringView text, int music) {
    const TextCut cut = CutTextForFrame(text);
    if (cut.units == 0)
        return {};
    if (music < 0 || music > 15)
        music = 0;
    const QByteArray payload = GbkBytes(text.left(cut.units));
    QByteArray body;
    body.reserve(payload.size() + 6);
    body.append(static_cast<char>(kFrameHeader));
    body.append('\0');
    body.append(static_cast<char>(payload.size() + 3));
    body.append(static_cast<char>(FrameCommand::Synthesize));
    body.append(static_cast<char>(music * 8 + kEncodingGbk));
    body.append(payload);
    return WithChecksum(body);
}

QByteArray ControlFrame(uint8_t command) {
    const char body[] = {static_cast<char>(kFrameHeader), 0x00, 0x02, static_cast<char>(command)};
    return WithChecksum(QByteArray(body, sizeof body));
}

QByteArray SetRateFrame(int rateIndex) {
    if (!IsRateIndex(rateIndex))
        return {};
    const char body[] = {static_cast<char>(kFrameHeader), 0x00, 0x03,
                         static_cast<char>(FrameCommand::SetRate), static_cast<char>(rateIndex)};
    return WithChecksum(QByteArray(body, sizeof body));
}

std::optional<QByteArray> MarkFrame(QStringView name) {
    // The brackets take two of the frame's text bytes.
    if (name.isEmpty() || name.size() > kMaxTextBytes - 2)
        return std::nullopt;
    QByteArray mark("[");
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7E || u == u'[' || u == u']')
            return std::nullopt;
        mark.append(static_cast<char>(u));
    }
    mark.append(']');
    return ControlMarkFrame(mark);
}

QByteArray ControlMarkFrame(const QByteArray& mark) {
    QByteArray frame = ControlMarkFrameBody(kFrameHeader, mark);
    frame.chop(1); // the checksum goes in the last byte
    return WithChecksum(frame);
}

QByteArray HexFrame(const QByteArray& typed, ChecksumMode mode) {
    if (typed.isEmpty())
        return {};
    return mode == ChecksumMode::Automatic ? WithChecksum(typed) : typed;
}
