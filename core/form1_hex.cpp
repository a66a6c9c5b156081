// Frames typed in hexadecimal, sent with a computed (Command29) or a typed
// (Command30) checksum. Nothing of the typed frame is checked or corrected.
#include "core/frame_builders.h"
#include "core/form1.h"
#include "core/hex_entry.h"

#include <optional>

namespace {

const std::u16string kNotHexMessage = u"格式不匹配，不是16进制数值";

// Both buttons: sizes FrameBuffer, zero-filled, for the typed groups plus
// extra trailing bytes and reads the typed bytes. Nothing, with nothing logged
// or sent, for an empty or invalid text; invalid text then gets the message
// when asked for.
std::optional<std::string> ReadTypedFrame(Form1& f, std::ptrdiff_t extra, bool tellInvalid) {
    f.PlayAllActive = 0;
    f.Checksum = 0;
    const std::u16string text = f.Text5->Text();
    // Too long to count: refused before anything is sized.
    if (static_cast<std::ptrdiff_t>(text.size()) > kMaxHexEntryLength) {
        if (tellInvalid)
            f.MsgBox(kNotHexMessage);
        return std::nullopt;
    }
    f.FrameBuffer = std::string(
        static_cast<std::size_t>(HexGroupCount(static_cast<std::ptrdiff_t>(text.size())) + extra), '\0');
    if (text.empty())
        return std::nullopt;
    std::optional<std::string> typed = ParseHexGroups(text);
    if (!typed && tellInvalid)
        f.MsgBox(kNotHexMessage);
    return typed;
}

} // namespace

void Form1::Command29_Click() {
    const std::optional<std::string> typed = ReadTypedFrame(*this, 1, true);
    if (!typed)
        return;
    FrameBuffer = HexFrame(*typed, ChecksumMode::Automatic);
    SendBuiltFrame(FrameBuffer);
}

// The last typed byte stands for the checksum; a single typed byte gives a
// frame of one byte (LastDataIndex -1).
void Form1::Command30_Click() {
    const std::optional<std::string> typed = ReadTypedFrame(*this, 0, false);
    if (!typed)
        return;
    FrameBuffer = HexFrame(*typed, ChecksumMode::Typed);
    LastDataIndex = static_cast<int16_t>(FrameBuffer.size() - 2);
    LogFrame(FrameBuffer);
    SendBytes(FrameBuffer);
}
