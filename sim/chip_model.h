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
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chipsim {

// Speaking time of one character whose GBK code has two bytes (a Chinese
// character or a full-width sign), and of one single-byte character.
constexpr int64_t kMsPerDoubleByteChar = 250;
constexpr int64_t kMsPerSingleByteChar = 100;
// A frame whose bytes stop for this long is dropped.
constexpr int64_t kFrameGapMs = 200;
// Longest length field accepted; a longer one cannot be a frame of the chip.
constexpr int kMaxFrameLength = 4096;
// The chip's rate after power-up.
constexpr int kDefaultRate = 9600;

enum class ChipState { Idle, Speaking, Paused, Asleep };

// What the voice should do; the model only tells, the program does it.
struct VoiceEvent {
    enum Kind { Start, Stop, Pause, Resume } kind;
    std::string utf8Text; // Start only: the text without control marks
};

class ChipModel {
  public:
    explicit ChipModel(double timeScale = 1.0);

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

    // Status bytes to send, in order; taken once.
    std::string TakeBytes();
    // Report lines (frames received, speech, rate changes...); taken once.
    std::vector<std::string> TakeLines();
    std::vector<VoiceEvent> TakeVoice();

    // Unscaled speaking time of a GBK text; control marks take no time.
    static int64_t SpeechMs(std::string_view gbk);
    // The text without control marks such as "[v10]" or "[d]".
    static std::string StripMarks(std::string_view gbk);
    // GBK to UTF-8 (undecodable bytes become U+FFFD).
    static std::string GbkToUtf8(std::string_view gbk);
    // "FD 00 02 21 DE"
    static std::string HexOf(std::string_view bytes);

  private:
    void parse(int64_t nowMs);
    void handleFrame(std::string_view frame, int64_t nowMs);
    void answer(uint8_t byte) { out_.push_back(static_cast<char>(byte)); }
    void endSpeech(bool reportIdle, const char* why);

    double timeScale_;
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
