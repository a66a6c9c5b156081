// The command codes of the chip's frames and where each field of a frame
// sits. Shared by the code that builds frames and the code that explains
// them. Plain code, no widgets.
#pragma once

#include <cstdint>

namespace FrameCommand {
constexpr uint8_t Synthesize = 0x01; // parameter: background music x 8 + encoding
constexpr uint8_t Stop = 0x02;
constexpr uint8_t Pause = 0x03;
constexpr uint8_t Resume = 0x04;
constexpr uint8_t Query = 0x21;
constexpr uint8_t SetRate = 0x31; // parameter: 0 = 9600, 1 = 19200, 2 = 38400
constexpr uint8_t Sleep = 0x88;
} // namespace FrameCommand

namespace FrameField {
constexpr int Header = 0;     // always 0xFD
constexpr int LengthHigh = 1; // length: bytes after the length field, big-endian
constexpr int LengthLow = 2;
constexpr int Command = 3;
constexpr int Parameter = 4; // commands 0x01 and 0x31 only
constexpr int Text = 5;      // command 0x01 only
} // namespace FrameField

constexpr uint8_t kFrameHeader = 0xFD;
// Encoding bits (2..0) of a synthesis frame's parameter: the console sends GBK.
constexpr uint8_t kEncodingGbk = 0x01;
// The most text bytes one synthesis frame carries.
constexpr int kMaxTextBytes = 200;
