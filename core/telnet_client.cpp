#include "core/telnet_client.h"

using namespace telnet;

namespace {

void Put(std::string* out, uint8_t a, uint8_t b, uint8_t c) {
    out->push_back(static_cast<char>(a));
    out->push_back(static_cast<char>(b));
    out->push_back(static_cast<char>(c));
}

const char* CommandName(int code) {
    switch (code) {
    case 1:
        return "SET-BAUDRATE";
    case 2:
        return "SET-DATASIZE";
    case 3:
        return "SET-PARITY";
    default:
        return "SET-STOPSIZE";
    }
}

} // namespace

bool TelnetClient::wantHim(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

bool TelnetClient::wantUs(uint8_t option) {
    return option == kBinary || option == kComPort || option == kSuppressGoAhead;
}

void TelnetClient::start(int64_t nowMs, std::string* out) {
    now_ = nowMs;
    for (const uint8_t option : {kBinary, kComPort}) {
        if (us_[option] == Q::No) {
            us_[option] = Q::WantYes;
            usDeadline_[option] = nowMs + timeoutMs_;
            Put(out, kIac, kWill, option);
        }
    }
    if (him_[kBinary] == Q::No) {
        him_[kBinary] = Q::WantYes;
        himDeadline_[kBinary] = nowMs + timeoutMs_;
        Put(out, kIac, kDo, kBinary);
    }
}

void TelnetClient::encodeData(std::string_view data, std::string* out) {
    out->reserve(out->size() + data.size());
    for (const char c : data) {
        out->push_back(c);
        if (static_cast<uint8_t>(c) == kIac)
            out->push_back(c);
    }
}

void TelnetClient::receive(std::string_view bytes, int64_t nowMs, std::string* data,
                           std::string* out) {
    now_ = nowMs;
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                data->push_back(c);
            break;
        case State::Iac:
            if (b == kIac) {
                data->push_back(c);
                state_ = State::Data;
            } else {
                command(b, out);
            }
            break;
        case State::Verb:
            negotiate(verb_, b, out);
            state_ = State::Data;
            break;
        case State::SbOption:
            sbOption_ = b;
            sb_.clear();
            sbLength_ = 0;
            sbOverflow_ = false;
            state_ = State::SbData;
            break;
        case State::SbData:
        case State::SbIac:
            if (state_ == State::SbData && b == kIac) {
                state_ = State::SbIac;
                break;
            }
            if (state_ == State::SbIac && b == kSe) {
                subnegotiation(out);
                state_ = State::Data;
                break;
            }
            if (state_ == State::SbIac && b != kIac) {
                // IAC and a command inside a subnegotiation: the server broke
                // it off. Drop it and take the command.
                ++dropped_;
                command(b, out);
                break;
            }
            state_ = State::SbData;
            if (sb_.size() < kMaxSubnegotiation)
                sb_.push_back(c);
            else
                sbOverflow_ = true;
            if (++sbLength_ >= kRunawaySubnegotiation)
                runaway_ = true;
            break;
        }
    }
}

// The byte after an IAC that is not a second IAC.
void TelnetClient::command(uint8_t byte, std::string* out) {
    (void)out;
    if (byte == kWill || byte == kWont || byte == kDo || byte == kDont) {
        verb_ = byte;
        state_ = State::Verb;
    } else if (byte == kSb) {
        state_ = State::SbOption;
    } else {
        // NOP, DM, BRK, IP, AO, AYT, EC, EL, GA, a stray SE: nothing to do.
        state_ = State::Data;
    }
}

// One answer per request; a server that asks again and again is answered
// kMaxAnswersPerOption times and then counts as negotiating endlessly.
void TelnetClient::answer(uint8_t verb, uint8_t option, std::string* out) {
    if (answers_[option] >= kMaxAnswersPerOption) {
        flooded_ = true;
        return;
    }
    ++answers_[option];
    Put(out, kIac, verb, option);
}

void TelnetClient::negotiate(uint8_t verb, uint8_t option, std::string* out) {
    const bool aboutHim = verb == kWill || verb == kWont;
    const bool enable = verb == kWill || verb == kDo;
    Q& q = aboutHim ? him_[option] : us_[option];
    const bool wanted = aboutHim ? wantHim(option) : wantUs(option);
    const uint8_t yes = aboutHim ? kDo : kWill;
    const uint8_t no = aboutHim ? kDont : kWont;
    if (enable) {
        switch (q) {
        case Q::No:
            if (wanted) {
                q = Q::Yes;
                answer(yes, option, out);
            } else {
                answer(no, option, out);
            }
            break;
        case Q::Yes:
            break;
        case Q::WantNo: // our refusal answered by an offer: the option stays off
            q = Q::No;
            break;
        case Q::WantYes:
            q = Q::Yes;
            break;
        }
    } else {
        switch (q) {
        case Q::No:
            break;
        case Q::Yes:
            q = Q::No;
            answer(no, option, out);
            break;
        case Q::WantNo:
        case Q::WantYes:
            q = Q::No;
            break;
        }
    }
    if (!aboutHim && option == kComPort) {
        if (q == Q::Yes) {
            comPortRefused_ = false;
            releaseHeld(out);
        } else if (q == Q::No)
            comPortRefused_ = true;
    }
}

void TelnetClient::subnegotiation(std::string* out) {
    (void)out;
    if (sbOverflow_) {
        ++dropped_;
        return;
    }
    if (sbOption_ != kComPort || sb_.empty())
        return;
    const auto code = static_cast<uint8_t>(sb_[0]);
    if (code <= kServerAnswerOffset || code > kServerAnswerOffset + 4)
        return; // notifications and the signature: not needed here
    const int command = code - kServerAnswerOffset;
    const size_t width = command == 1 ? 4 : 1;
    if (sb_.size() != 1 + width) {
        ++dropped_;
        return;
    }
    uint32_t value = 0;
    for (size_t i = 1; i <= width; ++i)
        value = value << 8 | static_cast<uint8_t>(sb_[i]);
    Pending& p = pending_[command];
    p.confirmed = value;
    if (p.outstanding > 0 && --p.outstanding > 0)
        p.deadline = now_ + timeoutMs_;
}

void TelnetClient::request(ComPortCommand command, uint32_t value, int64_t nowMs,
                           std::string* out) {
    now_ = nowMs;
    Pending& p = pending_[static_cast<int>(command)];
    if (comPortAgreed()) {
        send(command, value, nowMs, out);
        return;
    }
    if (!p.held && p.outstanding == 0)
        p.deadline = nowMs + timeoutMs_;
    p.held = true;
    p.value = value;
}

void TelnetClient::send(ComPortCommand command, uint32_t value, int64_t nowMs, std::string* out) {
    Pending& p = pending_[static_cast<int>(command)];
    if (p.outstanding == 0)
        p.deadline = nowMs + timeoutMs_;
    if (p.outstanding < 255)
        ++p.outstanding;
    Put(out, kIac, kSb, kComPort);
    std::string body(1, static_cast<char>(command));
    if (command == ComPortCommand::SetBaudRate) {
        for (int shift = 24; shift >= 0; shift -= 8)
            body.push_back(static_cast<char>(value >> shift & 0xFF));
    } else {
        body.push_back(static_cast<char>(value & 0xFF));
    }
    encodeData(body, out);
    out->push_back(static_cast<char>(kIac));
    out->push_back(static_cast<char>(kSe));
}

void TelnetClient::releaseHeld(std::string* out) {
    for (int code = 1; code <= 4; ++code) {
        Pending& p = pending_[code];
        if (p.held) {
            p.held = false;
            send(static_cast<ComPortCommand>(code), p.value, now_, out);
        }
    }
}

bool TelnetClient::awaiting(ComPortCommand command) const {
    const Pending& p = pending_[static_cast<int>(command)];
    return p.held || p.outstanding > 0;
}

std::optional<uint32_t> TelnetClient::confirmed(ComPortCommand command) const {
    return pending_[static_cast<int>(command)].confirmed;
}

std::string TelnetClient::failure(int64_t nowMs) const {
    if (runaway_)
        return "the server opened a subnegotiation that never ends";
    if (flooded_)
        return "the server keeps negotiating telnet options";
    for (int option = 0; option < 256; ++option) {
        const bool us = us_[option] == Q::WantYes || us_[option] == Q::WantNo;
        const bool him = him_[option] == Q::WantYes || him_[option] == Q::WantNo;
        if ((us && nowMs >= usDeadline_[option]) || (him && nowMs >= himDeadline_[option]))
            return "the server did not answer the offer of telnet option " + std::to_string(option);
    }
    for (int code = 1; code <= 4; ++code) {
        const Pending& p = pending_[code];
        if (p.held && comPortRefused_)
            return std::string("the server refused the COM-PORT option, so ") + CommandName(code) +
                   " cannot be sent";
        if ((p.held || p.outstanding > 0) && nowMs >= p.deadline)
            return std::string("the server did not confirm ") + CommandName(code);
    }
    return {};
}
