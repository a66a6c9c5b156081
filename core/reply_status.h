// The chip's one-byte status replies and what the work log says about them:
// plain code, no widgets.
#pragma once

#include <cstdint>
#include <string>

namespace ChipStatus {
constexpr uint8_t Received = 0x41; // frame received correctly
constexpr uint8_t Failed = 0x45;   // frame received with an error
constexpr uint8_t InitDone = 0x4A; // chip initialisation finished
constexpr uint8_t Speaking = 0x4E; // busy
constexpr uint8_t Idle = 0x4F;     // idle
} // namespace ChipStatus

// The work-log text for a status byte; baudPending selects the variants of
// 0x41 and 0x45 that answer a rate change. Empty for a byte that is no
// status.
std::u16string ReplyLogText(uint8_t status, bool baudPending);

// What one status byte means to the console: its log line, and what it does
// to a rate change that waits for the chip's answer.
enum class RateChange {
    None,    // no change waits, or the byte does not answer it
    Done,    // 0x41: the chip listens at the new rate from now on
    Refused, // 0x45: the chip keeps its rate
};
struct ReplyExplanation {
    std::u16string log; // empty for a byte that is no status: nothing is logged
    RateChange rate = RateChange::None;
};
ReplyExplanation ExplainReply(uint8_t status, bool ratePending);

// The settings string for an entry of a rate list (0 = 9600, 1 = 19200,
// 2 = 38400), or an empty string for any other index.
std::string SettingsForRateIndex(int index);
