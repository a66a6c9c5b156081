// Frame bytes and their log text: plain code, no widgets.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// accumulator ^= value, over all eight bits.
void XorInto(uint8_t& accumulator, uint8_t value);

// The work-log entry of a frame: the label, two blanks, the byte count, CR LF,
// "---->", each byte as 0x + two upper-case hex digits + one blank, CR LF.
QString FrameLogText(const QByteArray& frame);

// XOR of every byte of bytes.
uint8_t XorOf(const QByteArray& bytes);
