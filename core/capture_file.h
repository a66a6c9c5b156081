// Capture files in the pcapng format, the one engineers exchange traffic
// in: one section, one interface per line (its port name and rate), each
// frame and each status byte a packet with its time to the microsecond,
// its direction in the packet's flags and the console's meaning as its
// comment. Written block by block as the traffic comes, so that a capture
// cut short by a crash or a pulled cable keeps what came before; read back
// with a clear word for whatever cannot be read. Plain code: the file is
// the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The link type of the chip's line: the first of the range kept for users.
inline constexpr uint16_t kCaptureLinkType = 147;

enum class CaptureDirection : uint8_t { Unknown, ToChip, FromChip };

struct CapturePacket {
    int64_t timeUs = 0; // µs since 1970-01-01 UTC
    CaptureDirection direction = CaptureDirection::Unknown;
    std::string bytes;
    std::string comment; // UTF-8; empty: none
    uint32_t interface = 0;
};

struct CaptureInterface {
    std::string name; // the port as the user gave it, UTF-8
    int64_t rate = 0; // bit/s; 0: not said
    uint16_t linkType = kCaptureLinkType;
};

// The section header and the interfaces' descriptions: a file's first
// bytes. A packet's interface is its index in lines.
std::string CaptureFileHeader(const std::vector<CaptureInterface>& lines,
                              std::string_view application);
// One enhanced packet block.
std::string CapturePacketBlock(const CapturePacket& packet);
// The console's meaning of a packet's bytes: a frame's decoded line, or a
// status byte's work-log text.
std::string CaptureComment(std::string_view bytes);

// Writes a capture as the traffic comes: the header at once, then each
// packet in one write.
class CaptureWriter {
  public:
    using Write = std::function<bool(std::string_view bytes)>;
    CaptureWriter(Write write, const std::vector<CaptureInterface>& lines,
                  std::string_view application);
    // False once a write has failed (nothing more is written then).
    bool add(const CapturePacket& packet);
    // A packet of bytes with their meaning as its comment.
    bool add(int64_t timeUs, CaptureDirection direction, std::string_view bytes,
             uint32_t interface = 0);
    bool ok() const { return ok_; }

  private:
    Write write_;
    bool ok_ = true;
};

struct CaptureContents {
    std::vector<CaptureInterface> interfaces;
    std::vector<CapturePacket> packets;
    // What could not be read, one message each ("the file is cut off at
    // byte 1234: the rest is not read"); empty when all was read.
    std::vector<std::string> problems;
};

// Reads what can be read of a capture file's bytes. Nothing in the bytes
// can make it loop or take more than a bounded multiple of their size.
CaptureContents ReadCapture(std::string_view file);

// A packet as it lies in the file's bytes (valid while they are).
struct CapturePacketView {
    int64_t timeUs = 0;
    CaptureDirection direction = CaptureDirection::Unknown;
    std::string_view bytes;
    std::string_view comment;
    uint32_t interface = 0;
};
// The same, each packet handed to each in the file's order instead of kept
// (a million packets copy nothing): the contents' packets stay empty.
CaptureContents ReadCapture(std::string_view file,
                            const std::function<void(const CapturePacketView&)>& each);
