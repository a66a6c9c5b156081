// Control marks: the short ASCII texts in square brackets with which the
// attribute controls tell the chip a new setting, and the frame that carries
// one.
#pragma once

#include <string>
#include <string_view>
#include <cstdint>
#include <optional>

// "[" letter number "]", the number in decimal without leading zeros; no
// number gives "[d]"-style marks.
std::string ControlMark(char letter, std::optional<int> number = std::nullopt);

// The mark of a scroll bar at value v: its number is v - 1 ("[v10]" at 11).
std::string ScrollBarMark(char letter, int value);

// A synthesis frame carrying mark as its whole text, in an array sized exactly
// for it: header, 00, length (mark + 3), command 01, parameter 01 (GBK, no
// background music), the mark, and a last byte left 0 for the checksum.
std::string ControlMarkFrameBody(uint8_t header, std::string_view mark);
