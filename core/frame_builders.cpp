#include "core/frame_builders.h"

#include "core/control_marks.h"
#include "core/frame_codec.h"
#include "core/gbk.h"
#include "core/text_cut.h"

namespace {

// Appends the XOR of every byte so far.
std::string WithChecksum(std::string body) {
    body += static_cast<char>(XorOf(body));
    return body;
}

} // namespace

std::string TextFrame(std::u16string_view text, int music) {
    const TextCut cut = CutTextForFrame(text);
    if (cut.units == 0)
        return {};
    if (music < 0 || music > 15)
        music = 0;
    const std::string payload = GbkBytes(text.substr(0, static_cast<std::size_t>(cut.units)));
    std::string body;
    body.reserve(payload.size() + 6);
    body += static_cast<char>(kFrameHeader);
    body += '\0';
    body += static_cast<char>(payload.size() + 3);
    body += static_cast<char>(FrameCommand::Synthesize);
    body += static_cast<char>(music * 8 + kEncodingGbk);
    body += payload;
    return WithChecksum(std::move(body));
}

std::string ControlFrame(uint8_t command) {
    const char body[] = {static_cast<char>(kFrameHeader), 0x00, 0x02, static_cast<char>(command)};
    return WithChecksum(std::string(body, sizeof body));
}

std::string SetRateFrame(int rateIndex) {
    if (!IsRateIndex(rateIndex))
        return {};
    const char body[] = {static_cast<char>(kFrameHeader), 0x00, 0x03,
                         static_cast<char>(FrameCommand::SetRate), static_cast<char>(rateIndex)};
    return WithChecksum(std::string(body, sizeof body));
}

std::optional<std::string> MarkFrame(std::u16string_view name) {
    // The brackets take two of the frame's text bytes.
    if (name.empty() || name.size() > std::size_t(kMaxTextBytes - 2))
        return std::nullopt;
    std::string mark("[");
    for (char16_t u : name) {
        if (u < 0x20 || u > 0x7E || u == u'[' || u == u']')
            return std::nullopt;
        mark += static_cast<char>(u);
    }
    mark += ']';
    return ControlMarkFrame(mark);
}

std::string ControlMarkFrame(std::string_view mark) {
    std::string frame = ControlMarkFrameBody(kFrameHeader, mark);
    frame.pop_back(); // the checksum goes in the last byte
    return WithChecksum(std::move(frame));
}

std::string HexFrame(std::string_view typed, ChecksumMode mode) {
    if (typed.empty())
        return {};
    return mode == ChecksumMode::Automatic ? WithChecksum(std::string(typed)) : std::string(typed);
}
