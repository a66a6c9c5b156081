// The frame log and the handlers that build text and control frames.
#include "frames/frame_builders.h"
#include "frames/frame_codec.h"
#include "frames/gbk.h"
#include "frames/text_cut.h"
#include "shell/form1.h"

void Form1::AppendLog(const QString& line) {
    Text4->AppendText(line + QStringLiteral("\r\n"));
}

void Form1::LogFrame(const QByteArray& frame) {
    // Appended at the end: an entry costs the same however long the log is.
    Text4->AppendText(FrameLogText(frame.left(LastDataIndex + 2)));
}

// ---------------------------------------------------------------- text frame

void Form1::Command6_Click() {
    PlayAllActive = 0;
    Text3->setFocus();
    if (Text3->SelLength() == 0) {
        Text3->SetSelStart(0);
        Text3->SetSelLength(Text3->Length());
    }
    const int n = Text3->SelLength();
    // Count and trim: the selection shrinks to what goes out; its start stays.
    const TextCut cut =
        CutTextForFrame(QStringView(Text3->Text()).mid(Text3->SelStart(), n), 0, MaxTextBytes);
    if (cut.trimmed)
        Text3->SetSelLength(static_cast<int>(cut.units));
    TextByteCount = static_cast<int16_t>(cut.bytes);
    FrameBuffer = QByteArray(TextByteCount + 6, '\0');
    if (n == 0)
        return; // an empty text: nothing to speak

    Checksum = 0;
    ChecksumIndex = 5; // where the checksum goes when nothing was packed
    PackSelectedText(5);
    const int listIndex = Combo1->ListIndex();
    // No entry picked (the user typed into the list): no background music.
    const int music = listIndex < 0 ? 0 : listIndex;
    FrameBuffer[0] = static_cast<char>(FrameHeader);
    FrameBuffer[1] = 0;
    FrameBuffer[2] = static_cast<char>(ChecksumIndex - 2);
    FrameBuffer[3] = 0x01;
    FrameBuffer[4] = static_cast<char>(music * 8 + 1);
    LastDataIndex = static_cast<int16_t>(ChecksumIndex - 1);
    for (LoopIndex = 0; LoopIndex <= LastDataIndex; ++LoopIndex)
        XorInto(Checksum, static_cast<uint8_t>(FrameBuffer[LoopIndex]));
    FrameBuffer[LastDataIndex + 1] = static_cast<char>(Checksum);
    LogFrame(FrameBuffer);
    SendBytes(FrameBuffer);
    Text3->setFocus();
}

void Form1::PackSelectedText(int16_t start) {
    const QString selected = Text3->SelText();
    if (selected.isEmpty())
        return;
    const int stop = MaxTextBytes + 4;
    // Never into the frame's last element: the checksum goes there.
    const int last = static_cast<int>(FrameBuffer.size()) - 2;
    int write = qMax<int>(start, 0) - 1;
    bool full = false;
    for (QChar c : selected) {
        const GbkCode code = GbkCodeOf(c.unicode());
        for (int k = 0; k < code.size && !full; ++k) {
            if (write + 1 > last) {
                full = true;
                break;
            }
            FrameBuffer[++write] = static_cast<char>(code.bytes[k]);
            full = write >= stop;
        }
        if (full)
            break;
    }
    ChecksumIndex = static_cast<int16_t>(write + 1);
}

// ---------------------------------------------------------------- control frames

namespace {

// Logs and sends one control frame, leaving the frame state as a builder
// leaves it. Returns whether it was handed to the port.
bool SendFixedFrame(Form1& f, const QByteArray& frame) {
    f.LastDataIndex = static_cast<int16_t>(frame.size() - 2);
    f.LoopIndex = static_cast<int16_t>(frame.size() - 1);
    f.Checksum = static_cast<uint8_t>(frame.back());
    f.LogFrame(frame);
    return f.SendBytes(frame);
}

} // namespace

// Stop: ends continuous playback too.
void Form1::Command7_Click() {
    PlayAllActive = 0;
    SendFixedFrame(*this, ControlFrame(FrameCommand::Stop));
}

// Pause and resume leave continuous playback running.
void Form1::Command8_Click() {
    SendFixedFrame(*this, ControlFrame(FrameCommand::Pause));
}

void Form1::Command9_Click() {
    SendFixedFrame(*this, ControlFrame(FrameCommand::Resume));
}

// Sleep: ends continuous playback too.
void Form1::Command21_Click() {
    PlayAllActive = 0;
    SendFixedFrame(*this, ControlFrame(FrameCommand::Sleep));
}

// Status query.
void Form1::Command28_Click() {
    SendFixedFrame(*this, ControlFrame(FrameCommand::Query));
}

// Sets the chip's rate to the Combo5 entry. The computer's side changes only
// when the chip accepts (the reply handler).
void Form1::Command11_Click() {
    PlayAllActive = 0;
    const int index = Combo5->ListIndex();
    if (index < 0 || index > 2)
        return; // no entry picked: there is no rate to ask for
    // A frame that never reached the port has no answer to wait for: a later
    // acceptance of some other frame must not pass for a rate change.
    if (SendFixedFrame(*this, SetRateFrame(index))) {
        BaudChangePending = 1;
        PendingBaudIndex = static_cast<int16_t>(index);
    }
}
