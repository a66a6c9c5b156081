// Frame bytes and their log text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// accumulator ^= value, over all eight bits.
void XorInto(uint8_t& accumulator, uint8_t value);

// The work-log entry of a frame: the label, two blanks, the byte count, CR LF,
// "---->", each byte as 0x + two upper-case hex digits + one blank, CR LF.
std::u16string FrameLogText(std::string_view frame);

// XOR of every byte of bytes.
uint8_t XorOf(std::string_view bytes);
