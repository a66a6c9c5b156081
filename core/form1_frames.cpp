// The frame log and the handlers that build text and control frames.
#include "core/frame_builders.h"
#include "core/frame_codec.h"
#include "core/text_cut.h"
#include "core/form1.h"

#include <algorithm>

void Form1::AppendLog(std::u16string_view line) {
    std::u16string entry(line);
    entry += u"\r\n";
    Text4->AppendText(entry);
}

void Form1::LogFrame(std::string_view frame) {
    // Appended at the end: an entry costs the same however long the log is.
    const auto logged = static_cast<std::size_t>(std::max(0, LastDataIndex + 2));
    Text4->AppendText(FrameLogText(frame.substr(0, logged)));
}

// ---------------------------------------------------------------- text frame

void Form1::Command6_Click() {
    PlayAllActive = 0;
    Text3->SetFocus();
    if (Text3->SelLength() == 0) {
        Text3->SetSelStart(0);
        Text3->SetSelLength(Text3->Length());
    }
    const int n = Text3->SelLength();
    // Count and trim: the selection shrinks to what goes out; its start stays.
    // Only as much of it as one frame could carry is looked at.
    const TextCut cut =
        CutTextForFrame(Text3->Mid(Text3->SelStart(), std::min(n, MaxTextBytes + 1)), 0, MaxTextBytes);
    if (cut.trimmed)
        Text3->SetSelLength(static_cast<int>(cut.units));
    TextByteCount = static_cast<int16_t>(cut.bytes);
    FrameBuffer = std::string(static_cast<std::size_t>(std::max(0, TextByteCount + 6)), '\0');
    if (n == 0)
        return; // an empty text: nothing to speak

    const int listIndex = Combo1->ListIndex();
    // No entry picked (the user typed into the list): no background music.
    const int music = listIndex < 0 ? 0 : listIndex;
    // The selection now holds exactly the piece the frame carries.
    FrameBuffer = TextFrame(Text3->SelText(), music);
    ChecksumIndex = static_cast<int16_t>(FrameBuffer.size() - 1);
    SendBuiltFrame(FrameBuffer);
    Text3->SetFocus();
}

// ---------------------------------------------------------------- control frames

// The frame state a built frame leaves: its last data byte, the checksum in
// the byte after it, and the checksum loop run past that byte.
bool Form1::SendBuiltFrame(const std::string& frame) {
    LastDataIndex = static_cast<int16_t>(frame.size() - 2);
    LoopIndex = static_cast<int16_t>(frame.size() - 1);
    Checksum = frame.empty() ? 0 : static_cast<uint8_t>(frame.back());
    LogFrame(frame);
    return SendBytes(frame);
}

// Stop: ends continuous playback too.
void Form1::Command7_Click() {
    PlayAllActive = 0;
    SendBuiltFrame(ControlFrame(FrameCommand::Stop));
}

// Pause and resume leave continuous playback running.
void Form1::Command8_Click() {
    SendBuiltFrame(ControlFrame(FrameCommand::Pause));
}

void Form1::Command9_Click() {
    SendBuiltFrame(ControlFrame(FrameCommand::Resume));
}

// Sleep: ends continuous playback too.
void Form1::Command21_Click() {
    PlayAllActive = 0;
    SendBuiltFrame(ControlFrame(FrameCommand::Sleep));
}

// Status query.
void Form1::Command28_Click() {
    SendBuiltFrame(ControlFrame(FrameCommand::Query));
}

// Sets the chip's rate to the Combo5 entry. The computer's side changes only
// when the chip accepts (the reply handler).
void Form1::Command11_Click() {
    PlayAllActive = 0;
    const int index = Combo5->ListIndex();
    if (index < 0 || index > 2)
        return; // no entry picked: there is no rate to ask for
    // The chip would change its rate and the port could not follow.
    if (!MSComm1->RateChangeable(PortNumber)) {
        MsgBox(kRawRateRefusalText);
        return;
    }
    // A frame that never reached the port has no answer to wait for: a later
    // acceptance of some other frame must not pass for a rate change.
    if (SendBuiltFrame(SetRateFrame(index))) {
        BaudChangePending = 1;
        PendingBaudIndex = static_cast<int16_t>(index);
    }
}
