// Attribute controls and their control marks. Every change goes to the chip at
// once as a mark in a synthesis frame of its own; the window keeps no
// attribute values besides the controls themselves.
#include "core/control_marks.h"
#include "core/frame_builders.h"
#include "core/form1.h"

namespace {

// Logs and sends the frame of one mark, in an array of its own.
void SendControlMark(Form1& f, const std::string& mark) {
    f.SendBuiltFrame(ControlMarkFrame(mark));
}

void ScrollBarChanged(Form1& f, const ui::HScrollBar* bar, char letter) {
    // Any attribute change ends a continuous playback, frame or not.
    f.PlayAllActive = 0;
    if (!f.AttributeFramesEnabled)
        return;
    SendControlMark(f, ScrollBarMark(letter, bar->Value()));
}

} // namespace

void Form1::HScroll1_Change() {
    ScrollBarChanged(*this, HScroll1, 'v');
}
void Form1::HScroll2_Change() {
    ScrollBarChanged(*this, HScroll2, 't');
}
void Form1::HScroll3_Change() {
    ScrollBarChanged(*this, HScroll3, 'm');
}

// Selecting the button from here raises its Click when it was not selected, so
// a call from the program while the other button is selected runs this handler
// once more from inside, and the mark goes out twice.
void Form1::Option1_Click() {
    PlayAllActive = 0;
    Option1->SetValue(true);
    Option2->SetValue(false);
    if (!AttributeFramesEnabled)
        return;
    SendControlMark(*this, ControlMark('o', 0));
}

void Form1::Option2_Click() {
    PlayAllActive = 0;
    Option1->SetValue(false);
    Option2->SetValue(true);
    if (!AttributeFramesEnabled)
        return;
    SendControlMark(*this, ControlMark('o', 1));
}

// Back to the design values. The controls' own handlers run while frames are
// off, so only "[d]" goes out; the chip restores its defaults from it.
void Form1::Command34_Click() {
    PlayAllActive = 0;
    AttributeFramesEnabled = 0;
    HScroll1->SetValue(11);
    HScroll3->SetValue(5);
    HScroll2->SetValue(5);
    Option1->SetValue(true);
    Option2->SetValue(false);
    AttributeFramesEnabled = -1;
    SendControlMark(*this, ControlMark('d'));
}
