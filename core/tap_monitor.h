// Watching a tapped line: what the user's controller sends (the host side)
// and what the chip answers (the chip side), read on two ports and fed here
// in arrival order. The host's bytes are cut into frames and the bytes that
// belong to no frame; the chip's into status bytes. Each frame is decoded as
// the analysis window decodes it and checked against the chip's rules; what
// breaks a rule becomes a finding on the item it concerns. Plain code: the
// ports, the clock and the display are the caller's.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum class TapSide : uint8_t { Host, Chip };

enum class TapFinding : uint8_t {
    BadChecksum,     // the frame's last byte is not the XOR of the others
    BadLength,       // the length field does not match the bytes of the frame
    UnknownCommand,  // a command byte the chip does not know
    StrayBytes,      // bytes that belong to no frame (host) or are no status (chip)
    BadText,         // a GBK text holding bytes that are no GBK character
    CutsSpeech,      // a text frame while the chip still speaks: it cuts the speech
    NoAnswer,        // no answer within the timeout (0x41 or 0x45; a query's status byte)
    EarlyFrame,      // sent before the previous frame was answered
    RateNotFollowed, // after an accepted rate change, the next bytes make no frame
};
inline constexpr int kTapFindingKinds = 9;

// "bad_checksum", …: stable keys for --json and the summary line.
std::string_view TapFindingKey(TapFinding finding);
// "校验错误", …: what the monitor window shows.
std::u16string_view TapFindingText(TapFinding finding);

// Bytes that belong to no frame make rows of at most this many (a line
// that never pauses still gives rows); so do the bytes past a frame's
// declared length.
inline constexpr size_t kMaxStrayBytes = 4096;
// The longest length field taken for a frame's; beyond it an FD starts no
// frame (a watch that begins mid-frame finds the next one).
inline constexpr size_t kMaxFrameLength = 4096;

// One row of the stream: a frame, a status byte, or bytes of no frame.
struct TapItem {
    enum class Kind : uint8_t { Frame, Status, Stray };
    TapSide side = TapSide::Host;
    Kind kind = Kind::Frame;
    int64_t startUs = 0; // the first byte's arrival, µs since the start
    int64_t endUs = 0;   // the last byte's
    std::string bytes;
    std::vector<TapFinding> findings;
    bool ratePending = false; // a status byte read while a rate change waited
    // A host frame: the rows of its 0x41/0x45 and of the 0x4F that ended its
    // speech (-1: none yet); µs from the chip's previous byte (or, before
    // any, the previous frame's end) to its start (-1: nothing before it).
    int64_t answer = -1;
    int64_t idle = -1;
    int64_t gapUs = -1;
    // A status byte: the row of the frame it answers or whose speech it ends.
    int64_t answers = -1;
};

// About the memory a row takes, for the bound on what is kept.
int64_t TapItemBytes(const TapItem& item);

class TapMonitor {
  public:
    struct Options {
        // A frame answered by neither 0x41 nor 0x45 within this gets NoAnswer.
        int64_t answerTimeoutUs = 1'000'000;
        // A frame (or bytes of no frame) ends when its side stays silent this long.
        int64_t silenceUs = 20'000;
        // Rows kept, and about the memory they may take; the oldest go
        // first (a line that babbles for days).
        int64_t maxRows = 100'000;
        int64_t maxBytes = 16 << 20;
        // The rate the line runs at when the watch starts (an index of the
        // rate table).
        int rateIndex = 0;
        // How long an answer whose frame has not come yet waits for the
        // controller's side (two adapters or servers deliver with delays of
        // their own).
        int64_t reorderUs = 50'000;
    };

    TapMonitor();
    explicit TapMonitor(Options options);

    // Bytes read on one side at tUs (µs since the start). Calls come in
    // arrival order across both sides. An answer of the chip's whose frame
    // has not come yet waits up to reorderUs for it.
    void Feed(TapSide side, int64_t tUs, std::string_view bytes);
    // Bytes of both sides read in the same turn, whose order the reads cannot
    // tell: each of the controller's frames goes just before the chip's byte
    // that answers it (0x41 or 0x45 with no older frame waiting; a query's
    // status), bytes of no frame at once, the chip's other bytes before.
    void FeedTogether(int64_t tUs, std::string_view host, std::string_view chip);
    // Time passed without bytes: a frame cut short ends; an unanswered frame
    // gets NoAnswer once its timeout is over.
    void Advance(int64_t nowUs);
    // The end of the watch: what is pending becomes rows.
    void Finish(int64_t nowUs);

    // Row numbers count from the start; rows below First() were let go.
    int64_t First() const { return first_; }
    int64_t End() const { return first_ + static_cast<int64_t>(rows_.size()); }
    const TapItem& At(int64_t row) const { return rows_[static_cast<size_t>(row - first_)]; }
    bool Has(int64_t row) const { return row >= first_ && row < End(); }

    // Rows changed since the last call (appended, or given an answer or a
    // finding later), in ascending order; the display's cue.
    std::vector<int64_t> TakeChanged();

    // The rate both ports should listen at: an index of the rate table,
    // changed when the chip accepts a rate change (0x41 to a 0x31 frame).
    int RateIndex() const { return rateIndex_; }
    // How many times each finding was made, frames and status bytes seen.
    int64_t Count(TapFinding finding) const { return counts_[static_cast<int>(finding)]; }
    int64_t FindingTotal() const;
    int64_t Frames() const { return frames_; }
    int64_t StatusBytes() const { return statusBytes_; }

  private:
    struct Pending {
        bool active = false;
        TapItem::Kind kind = TapItem::Kind::Frame;
        std::string bytes;
        int64_t startUs = 0;
        int64_t lastUs = 0;
        bool overlong = false; // bytes came on past the declared length
    };

    void hostByte(int64_t tUs, char byte);
    void chipByte(int64_t tUs, char byte);
    void endHost();
    void endChipStray();
    // One side's bytes as they are, in that order.
    void Feed1(TapSide side, int64_t tUs, std::string_view bytes);
    void feedHeldHost();
    // A whole frame of the controller's waits to be ended.
    bool olderWhole() const;
    // Whether the chip's byte b answers a frame not seen yet.
    bool causeUnseen(uint8_t b) const;
    // How many of host's bytes from pos make the controller's next item (the
    // rest of a frame begun, a frame, or bytes of no frame).
    size_t nextHostItem(std::string_view host, size_t pos) const;
    // The command of the oldest frame waiting for its answer (0: unknown).
    uint8_t awaitedCommand() const;
    void emitFrame(Pending& p);
    int64_t append(TapItem item);
    void addFinding(int64_t row, TapFinding finding);
    void expire(int64_t nowUs);
    void touch(int64_t row);
    TapItem* row(int64_t r) { return Has(r) ? &rows_[static_cast<size_t>(r - first_)] : nullptr; }

    Options options_;
    std::deque<TapItem> rows_;
    int64_t heldBytes_ = 0;
    int64_t first_ = 0;
    Pending host_;
    Pending chipStray_;
    struct Held {
        char byte;
        int64_t tUs;
    };
    std::deque<Held> held_;        // the chip's bytes waiting for their frame
    std::deque<Held> heldHost_;    // frames waiting for an older frame's answer
    std::deque<int64_t> awaiting_; // frames waiting for 0x41/0x45, oldest first
    int64_t speaking_ = -1;        // the text frame whose speech goes on
    int64_t lastChipUs_ = -1;
    int64_t lastFrameEndUs_ = -1;
    int rateIndex_ = 0;
    int64_t rateFrame_ = -1;       // a rate change waiting for its answer
    int newRate_ = 0;              // the rate it asks for
    bool rateJustChanged_ = false; // the next host item is the first at the new rate
    int64_t counts_[kTapFindingKinds] = {};
    int64_t frames_ = 0;
    int64_t statusBytes_ = 0;
    std::vector<int64_t> changed_;
};

// What a row means, as the analysis window words it: a frame's decoded line,
// a status byte's work-log text, or "3 字节不属于任何帧".
std::u16string TapMeaning(const TapItem& item);
// A frame's check ("✓" or "✗ …"); empty for the other rows.
std::u16string TapCheck(const TapItem& item);
