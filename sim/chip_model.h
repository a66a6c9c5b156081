// The simulated chip's behaviour, free of any I/O: bytes in (with the line
// rate they arrived at and the time), status bytes and report lines out.
// The program around it (chipsim_main.cpp) does the pseudo-terminal, the clock
// and the voice.
//
// What it does, as the console sees it from its side of the line:
// - 0x4A once at start.
// - A frame is FD, a 16-bit big-endian length L, then L bytes (command,
//   parameter, payload, XOR checksum of everything before it). A complete
//   frame with the right checksum and a known command is answered 0x41;
//   anything else that started with FD is answered 0x45.
// - Bytes that start no frame are skipped. A frame that stops arriving for
//   kFrameGapMs is dropped without an answer.
// - Synthesis (01) speaks for SpeechMs(text) x time scale, then answers 0x4F.
//   A new synthesis frame replaces the speech under way.
// - Stop (02) ends the speech; the chip then reports idle (0x4F) as it does
//   after any speech that ends. Sleep (88) ends it silently: the chip sleeps
//   and says nothing more until the next frame wakes it.
// - Pause (03) holds the speaking time, resume (04) continues it.
// - Query (21) is answered with the status alone: 0x4E while speaking or
//   paused, 0x4F when idle.
// - Set rate (31, parameter 0/1/2 = 9600/19200/38400) is acknowledged at the
//   old rate; from then on only bytes sent at the new rate are understood,
//   bytes at any other rate are ignored.
// - Control marks, as frames of their own or inside a text, set the chip's
//   attributes (chip_attributes.h); speed and style set the speaking time.
// - With line timing, a byte arrives 10 bits' time after the one before it
//   (at the line's rate), and the chip acts on a frame only when its last
//   byte has arrived.
// - Faults on demand (ChipFaults), drawn from a generator seeded with the
//   configured seed, so that a run can be repeated exactly.
#pragma once

#include "core/line_rates.h"
#include "sim/chip_attributes.h"

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace chipsim {

// A frame whose bytes stop for this long is dropped.
constexpr int64_t kFrameGapMs = 200;
// Longest length field accepted; a longer one cannot be a frame of the chip.
constexpr int kMaxFrameLength = 4096;
// The chip's rate after power-up.
constexpr int kDefaultRate = kDefaultLineRate;

enum class ChipState { Idle, Speaking, Paused, Asleep };

// What the voice should do; the model only tells, the program does it.
struct VoiceEvent {
    enum Kind { Start, Stop, Pause, Resume } kind;
    std::string utf8Text;  // Start only: the text without control marks
    Attributes attributes; // Start only: in force where the text starts
};

// Each a fraction from 0 to 1.
struct ChipFaults {
    double reject = 0;   // good frames answered 0x45 (and not acted on)
    double mute = 0;     // frames that get no answer of their own
    double dropIdle = 0; // texts after which no 0x4F comes
    double garble = 0;   // bytes sent with one bit flipped
};

struct ChipConfig {
    double timeScale = 1.0;
    bool lineTiming = false;
    ChipFaults faults;
    uint64_t seed = 0;
};

// Time one byte takes on the line: 10 bits (start, 8 data, stop).
double ByteMs(int rate);

class ChipModel {
  public:
    explicit ChipModel(double timeScale = 1.0);
    explicit ChipModel(const ChipConfig& config);

    // Power-up: queues 0x4A.
    void Start(int64_t nowMs);
    // Bytes that arrived while the line ran at lineRate bit/s.
    void Feed(std::string_view bytes, int lineRate, int64_t nowMs);
    // Lets time pass: ends speech that is over, drops a frame cut short.
    void Tick(int64_t nowMs);
    // When Tick has something to do next, or -1 when nothing is pending.
    int64_t NextDeadline() const;

    ChipState State() const { return state_; }
    int Rate() const { return rate_; }
    const Attributes& Attrs() const { return attrs_; }
    // Bytes fed that have not arrived yet (line timing only).
    size_t InFlight() const { return inbound_.size(); }

    // Status bytes to send, in order; taken once.
    std::string TakeBytes();
    // Report lines (frames received, speech, rate changes...); taken once.
    std::vector<std::string> TakeLines();
    std::vector<VoiceEvent> TakeVoice();

    // Unscaled speaking time of a GBK text at the default attributes
    // (marks inside it take effect as they come, and take no time).
    static int64_t SpeechMs(std::string_view gbk);
    // The text without control marks such as "[v10]" or "[d]".
    static std::string StripMarks(std::string_view gbk);
    // GBK to UTF-8 (undecodable bytes become U+FFFD).
    static std::string GbkToUtf8(std::string_view gbk);
    // "FD 00 02 21 DE"
    static std::string HexOf(std::string_view bytes);

  private:
    void receive(std::string_view bytes, int lineRate, int64_t nowMs);
    void timePasses(int64_t nowMs);
    void parse(int64_t nowMs);
    void handleFrame(std::string_view frame, int64_t nowMs);
    void handleGoodFrame(std::string_view frame, const std::string& head, int64_t nowMs);
    void synthesize(std::string_view frame, size_t length, const std::string& head, int64_t nowMs);
    // Every byte the chip sends (garbled on demand).
    void answer(uint8_t byte);
    // The answer that belongs to the frame being handled (lost on demand).
    void reply(uint8_t byte);
    void reportIdle();
    void endSpeech(bool idleReport, const char* why);
    bool chance(double p);

    struct Inbound {
        char byte;
        double atMs;
        int rate;
    };

    double timeScale_;
    bool lineTiming_ = false;
    ChipFaults faults_;
    std::mt19937_64 rng_;
    Attributes attrs_;
    bool muted_ = false;    // the frame being handled gets no answer
    bool dropIdle_ = false; // the text being spoken ends without 0x4F
    std::deque<Inbound> inbound_;
    double lineFreeMs_ = 0; // when the last byte fed has arrived
    ChipState state_ = ChipState::Idle;
    int rate_ = kDefaultRate;
    std::string pending_; // bytes of a frame not yet complete
    int64_t lastByteMs_ = 0;
    int64_t speechEndMs_ = 0; // while speaking
    int64_t remainingMs_ = 0; // while paused
    std::string out_;
    std::vector<std::string> lines_;
    std::vector<VoiceEvent> voice_;
};

} // namespace chipsim
