// The frame log and the handlers that build text, control and hex frames.
#include "frames/frame_codec.h"
#include "shell/form1.h"

void Form1::AppendLog(const QString& line) { Text4->AppendText(line + QStringLiteral("\r\n")); }

void Form1::LogFrame(const QByteArray& frame) {
    Text4->AppendText(FrameLogText(frame.left(LastDataIndex + 2)));
}

void Form1::Command6_Click() {}
void Form1::PackSelectedText(int16_t) {}
void Form1::Command7_Click() {}
void Form1::Command8_Click() {}
void Form1::Command9_Click() {}
void Form1::Command21_Click() {}
void Form1::Command28_Click() {}
void Form1::Command11_Click() {}
