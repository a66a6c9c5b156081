// The exact bytes of every frame the console sends, checksum included.
// The window's handlers and the command-line program
// build their frames here.
#pragma once

#include "core/line_rates.h"
#include "core/commands.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A synthesis frame for text in GBK with background music 0-15 (anything else
// counts as none). Only the piece that fits one frame goes in: text longer
// than 200 GBK bytes is cut like CutTextForFrame cuts it. An empty text gives
// no bytes: there is nothing to send.
std::string TextFrame(std::u16string_view text, int music = 0);

// A frame without parameter: stop, pause, resume, query or sleep.
std::string ControlFrame(uint8_t command);

// The set-rate frame for rate index 0 (9600), 1 (19200) or 2 (38400); empty
// for any other index.
std::string SetRateFrame(int rateIndex);

// The synthesis frame carrying the control mark "[" name "]" (parameter 01).
// Nothing when name is empty, longer than a frame carries, or holds anything
// but printable ASCII other than the brackets.
std::optional<std::string> MarkFrame(std::u16string_view name);

// The synthesis frame carrying mark, already in its brackets, as its whole
// text (parameter 01), as the attribute controls send it.
std::string ControlMarkFrame(std::string_view mark);

// A frame from typed bytes: with the checksum appended (automatic), or the
// bytes as they are, the last one standing for the checksum (typed).
enum class ChecksumMode { Automatic, Typed };
std::string HexFrame(std::string_view typed, ChecksumMode mode);
