// Frames typed in hexadecimal, sent with a computed (Command29) or a typed
// (Command30) checksum. Nothing of the typed frame is checked or corrected.
#include "frames/frame_codec.h"
#include "frames/hex_entry.h"
#include "shell/form1.h"

namespace {

const QString kNotHexMessage = QStringLiteral("格式不匹配，不是16进制数值");

// Both buttons: reads the typed groups into FrameBuffer, sized first for the
// groups plus extra trailing bytes. False, with nothing logged or sent, for an
// empty or invalid text; invalid text then gets the message when asked for.
bool ReadTypedFrame(Form1& f, qsizetype extra, bool tellInvalid) {
    f.PlayAllActive = 0;
    f.Checksum = 0;
    const QString text = f.Text5->Text();
    // Too long to count: refused before anything is sized.
    if (text.size() > kMaxHexEntryLength) {
        if (tellInvalid)
            f.MsgBox(kNotHexMessage);
        return false;
    }
    f.FrameBuffer = QByteArray(HexGroupCount(text.size()) + extra, '\0');
    if (text.isEmpty())
        return false;
    const std::optional<QByteArray> typed = ParseHexGroups(text);
    if (!typed) {
        if (tellInvalid)
            f.MsgBox(kNotHexMessage);
        return false;
    }
    for (qsizetype i = 0; i < typed->size(); ++i)
        f.FrameBuffer[i] = (*typed)[i];
    return true;
}

} // namespace

void Form1::Command29_Click() {
    if (!ReadTypedFrame(*this, 1, true))
        return;
    const auto p = static_cast<int16_t>(FrameBuffer.size() - 1);
    LastDataIndex = static_cast<int16_t>(p - 1);
    for (LoopIndex = 0; LoopIndex <= LastDataIndex; ++LoopIndex)
        XorInto(Checksum, static_cast<uint8_t>(FrameBuffer[LoopIndex]));
    FrameBuffer[p] = static_cast<char>(Checksum);
    LogFrame(FrameBuffer);
    SendBytes(FrameBuffer);
}

// The last typed byte stands for the checksum; a single typed byte gives a
// frame of one byte (LastDataIndex -1).
void Form1::Command30_Click() {
    if (!ReadTypedFrame(*this, 0, false))
        return;
    LastDataIndex = static_cast<int16_t>(FrameBuffer.size() - 2);
    LogFrame(FrameBuffer);
    SendBytes(FrameBuffer);
}
