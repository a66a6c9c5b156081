// The client's side of a telnet connection to a port server that also speaks
// the COM-PORT option (a serial port's settings over the network). Pure: no
// I/O and no timers. The caller hands in what the socket read and the time
// from its own clock, and writes out what the client asks it to write.
//
// It agrees to BINARY both ways (the chip's frames are 8-bit), offers the
// COM-PORT option as its client and accepts SUPPRESS-GO-AHEAD; every other
// option is refused. Negotiation follows the Q method: a state change is
// answered once, never in a loop. Whatever the server sends, the client's
// memory stays bounded: a subnegotiation keeps at most kMaxSubnegotiation
// bytes, and a server that keeps negotiating stops being answered.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace telnet {
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kEcho = 1;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// A server's answer to a COM-PORT request carries the request's code + 100.
inline constexpr uint8_t kServerAnswerOffset = 100;
} // namespace telnet

// The COM-PORT requests the console makes.
enum class ComPortCommand : uint8_t {
    SetBaudRate = 1, // value: bit/s, four bytes, 0 asks for the current rate
    SetDataSize = 2, // value: 5..8
    SetParity = 3,   // value: 1 none, 2 odd, 3 even, 4 mark, 5 space
    SetStopSize = 4, // value: 1 one, 2 two, 3 one and a half
};

class TelnetClient {
  public:
    static constexpr size_t kMaxSubnegotiation = 64;
    // A subnegotiation still open after this many bytes never ends.
    static constexpr size_t kRunawaySubnegotiation = 4096;
    // Answers per option before the server counts as negotiating endlessly.
    static constexpr int kMaxAnswersPerOption = 16;

    // answerTimeoutMs: how long the server may take to answer an offer or a
    // COM-PORT request before failure() reports it.
    explicit TelnetClient(int64_t answerTimeoutMs = 3000) : timeoutMs_(answerTimeoutMs) {}

    // The offers that open the conversation (WILL BINARY, DO BINARY, WILL
    // COM-PORT), appended to *out. Call once, right after connecting.
    void start(int64_t nowMs, std::string* out);

    // Appends data for the server to *out, each 0xFF doubled.
    static void encodeData(std::string_view data, std::string* out);

    // Takes bytes from the server: the data in them (IAC IAC undoubled,
    // commands and negotiation removed) is appended to *data, the answers the
    // server is owed to *out.
    void receive(std::string_view bytes, int64_t nowMs, std::string* data, std::string* out);

    // A COM-PORT request. Written to *out at once when the server has agreed
    // to the option; held until it does otherwise (the latest value of each
    // command).
    void request(ComPortCommand command, uint32_t value, int64_t nowMs, std::string* out);

    // Whether a request of this command is held or sent and not yet answered.
    bool awaiting(ComPortCommand command) const;
    // The value of the server's latest answer to this command.
    std::optional<uint32_t> confirmed(ComPortCommand command) const;

    bool comPortAgreed() const { return us_[telnet::kComPort] == Q::Yes; }
    bool comPortRefused() const { return comPortRefused_; }
    bool binaryBothWays() const {
        return us_[telnet::kBinary] == Q::Yes && him_[telnet::kBinary] == Q::Yes;
    }
    // Subnegotiations dropped for their length or their form.
    int droppedSubnegotiations() const { return dropped_; }
    // What the client keeps of an open subnegotiation.
    size_t bufferedBytes() const { return sb_.size(); }

    // Why the connection cannot go on, empty while it can: an offer or a
    // request left unanswered past its deadline, the COM-PORT option refused
    // while requests wait for it, a subnegotiation that never ends, or a
    // server that keeps negotiating.
    std::string failure(int64_t nowMs) const;

  private:
    enum class Q : uint8_t { No, Yes, WantNo, WantYes };
    enum class State : uint8_t { Data, Iac, Verb, SbOption, SbData, SbIac };
    struct Pending {
        bool held = false;    // waits for the server to agree to COM-PORT
        uint32_t value = 0;   // the held value
        int outstanding = 0;  // sent and not yet answered
        int64_t deadline = 0; // of the held or oldest outstanding request
        std::optional<uint32_t> confirmed;
    };

    void command(uint8_t byte, std::string* out);
    void negotiate(uint8_t verb, uint8_t option, std::string* out);
    void answer(uint8_t verb, uint8_t option, std::string* out);
    void subnegotiation(std::string* out);
    void send(ComPortCommand command, uint32_t value, int64_t nowMs, std::string* out);
    void releaseHeld(std::string* out);
    static bool wantHim(uint8_t option);
    static bool wantUs(uint8_t option);

    int64_t timeoutMs_;
    int64_t now_ = 0;
    State state_ = State::Data;
    uint8_t verb_ = 0;
    uint8_t sbOption_ = 0;
    bool sbOverflow_ = false;
    std::string sb_; // at most kMaxSubnegotiation bytes
    size_t sbLength_ = 0;
    bool runaway_ = false;
    int dropped_ = 0;
    bool flooded_ = false;
    bool comPortRefused_ = false;
    std::array<Q, 256> us_{};  // our side of each option (we WILL)
    std::array<Q, 256> him_{}; // the server's side (it WILL)
    std::array<int64_t, 256> usDeadline_{};
    std::array<int64_t, 256> himDeadline_{};
    std::array<uint8_t, 256> answers_{};
    std::array<Pending, 5> pending_{}; // by command code
};
