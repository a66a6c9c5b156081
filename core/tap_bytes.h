// The monitor's look at raw bytes: a frame's declared size, which status
// bytes answer which command. Shared by its files (core/tap_monitor.cpp,
// core/tap_order.cpp); not part of its interface.
#pragma once

#include "core/commands.h"
#include "core/reply_status.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tap_bytes {

inline bool KnownCommand(uint8_t command) {
    switch (command) {
    case FrameCommand::Synthesize:
    case FrameCommand::Stop:
    case FrameCommand::Pause:
    case FrameCommand::Resume:
    case FrameCommand::Query:
    case FrameCommand::SetRate:
    case FrameCommand::Sleep:
        return true;
    default:
        return false;
    }
}

inline uint8_t Byte(std::string_view bytes, size_t i) {
    return static_cast<uint8_t>(bytes[i]);
}

// The whole frame's size by its length field; 0 while the field is not in.
inline size_t DeclaredSize(std::string_view frame) {
    if (frame.size() < 3)
        return 0;
    return 3 + ((size_t(Byte(frame, 1)) << 8) | Byte(frame, 2));
}

// Whether status answers a frame of command: 0x41 or 0x45, and a query its
// status byte (0x4E speaking, 0x4F idle).
inline bool Answers(uint8_t status, uint8_t command) {
    if (status == ChipStatus::Received || status == ChipStatus::Failed)
        return true;
    return command == FrameCommand::Query &&
           (status == ChipStatus::Speaking || status == ChipStatus::Idle);
}

inline bool IsStatus(uint8_t b) {
    return b == ChipStatus::Received || b == ChipStatus::Failed || b == ChipStatus::InitDone ||
           b == ChipStatus::Speaking || b == ChipStatus::Idle;
}

} // namespace tap_bytes
