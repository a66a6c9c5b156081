#include "sim/chip_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace chipsim {

namespace {
constexpr uint8_t kHeader = 0xFD;
constexpr uint8_t kReceived = 0x41;
constexpr uint8_t kFailed = 0x45;
constexpr uint8_t kInitDone = 0x4A;
constexpr uint8_t kBusy = 0x4E;
constexpr uint8_t kIdle = 0x4F;

uint8_t At(std::string_view s, size_t i) {
    return static_cast<uint8_t>(s[i]);
}

std::string Format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

const char* StateName(ChipState s) {
    switch (s) {
    case ChipState::Idle:
        return "idle";
    case ChipState::Speaking:
        return "speaking";
    case ChipState::Paused:
        return "paused";
    case ChipState::Asleep:
        return "asleep";
    }
    return "?";
}
} // namespace

double ByteMs(int rate) {
    return rate > 0 ? 10000.0 / rate : 0;
}

ChipModel::ChipModel(double timeScale) : ChipModel(ChipConfig{timeScale, false, {}, 0}) {}

ChipModel::ChipModel(const ChipConfig& config)
    : timeScale_(config.timeScale < 0 ? 0 : config.timeScale), lineTiming_(config.lineTiming),
      faults_(config.faults), rng_(config.seed) {}

bool ChipModel::chance(double p) {
    if (p <= 0)
        return false; // no fault asked for: the generator is not even touched
    // 53 random bits as a fraction of 1: the same on every standard library.
    return static_cast<double>(rng_() >> 11) * 0x1.0p-53 < p;
}

void ChipModel::answer(uint8_t byte) {
    if (chance(faults_.garble)) {
        const uint8_t garbled = byte ^ static_cast<uint8_t>(1u << (rng_() % 8));
        lines_.push_back(Format("fault: 0x%02X garbled into 0x%02X", byte, garbled));
        byte = garbled;
    }
    out_.push_back(static_cast<char>(byte));
}

void ChipModel::reply(uint8_t byte) {
    if (muted_) {
        lines_.push_back(Format("fault: no answer (0x%02X held back)", byte));
        return;
    }
    answer(byte);
}

void ChipModel::reportIdle() {
    if (dropIdle_) {
        dropIdle_ = false;
        lines_.push_back("fault: no idle report after this text");
        return;
    }
    answer(kIdle);
}

void ChipModel::Start(int64_t nowMs) {
    lastByteMs_ = nowMs;
    lineFreeMs_ = static_cast<double>(nowMs);
    lines_.push_back("power up: 9600 bit/s, idle");
    answer(kInitDone);
}

void ChipModel::Feed(std::string_view bytes, int lineRate, int64_t nowMs) {
    Tick(nowMs);
    if (bytes.empty())
        return;
    if (!lineTiming_) {
        receive(bytes, lineRate, nowMs);
        Tick(nowMs);
        return;
    }
    // The bytes were written at once, but the line carries them one after
    // the other; a line still busy with earlier bytes delays them further.
    for (const char c : bytes) {
        lineFreeMs_ = std::max(lineFreeMs_, static_cast<double>(nowMs)) + ByteMs(lineRate);
        inbound_.push_back({c, lineFreeMs_, lineRate});
    }
    Tick(nowMs);
}

void ChipModel::receive(std::string_view bytes, int lineRate, int64_t nowMs) {
    if (lineRate != rate_) {
        // At a wrong rate the chip hears noise: nothing it can take as a
        // frame, and a frame under way is spoilt.
        lines_.push_back(Format("ignored %zu bytes sent at %d bit/s (the chip listens at %d bit/s)",
                                bytes.size(), lineRate, rate_));
        pending_.clear();
        return;
    }
    pending_.append(bytes);
    lastByteMs_ = nowMs;
    parse(nowMs);
}

void ChipModel::parse(int64_t nowMs) {
    for (;;) {
        const size_t start = pending_.find(static_cast<char>(kHeader));
        if (start == std::string::npos) {
            if (!pending_.empty())
                lines_.push_back(Format("skipped %zu bytes that start no frame", pending_.size()));
            pending_.clear();
            return;
        }
        if (start > 0) {
            lines_.push_back(Format("skipped %zu bytes that start no frame", start));
            pending_.erase(0, start);
        }
        if (pending_.size() < 3)
            return;
        const int length = (At(pending_, 1) << 8) | At(pending_, 2);
        if (length == 0 || length > kMaxFrameLength) {
            lines_.push_back("recv " + HexOf(pending_.substr(0, 3)) +
                             Format(" | impossible length %d | now ", length) + attrs_.Describe());
            answer(kFailed);
            pending_.erase(0, 3);
            continue;
        }
        const size_t total = static_cast<size_t>(length) + 3;
        if (pending_.size() < total)
            return;
        const std::string frame = pending_.substr(0, total);
        pending_.erase(0, total);
        handleFrame(frame, nowMs);
    }
}

void ChipModel::handleFrame(std::string_view frame, int64_t nowMs) {
    const std::string head = "recv " + HexOf(frame) + " | ";
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < frame.size(); ++i)
        sum ^= At(frame, i);
    if (state_ == ChipState::Asleep) {
        lines_.push_back("wakes up");
        state_ = ChipState::Idle;
    }
    const size_t firstLine = lines_.size();
    muted_ = chance(faults_.mute);
    if (sum != At(frame, frame.size() - 1)) {
        lines_.push_back(head + Format("bad checksum (expected %02X)", sum));
        reply(kFailed);
    } else if (chance(faults_.reject)) {
        lines_.push_back(head + "fault: rejected although good");
        reply(kFailed);
    } else {
        handleGoodFrame(frame, head, nowMs);
    }
    muted_ = false;
    // The frame's report line also shows the attributes the chip has now.
    if (firstLine < lines_.size())
        lines_[firstLine] += " | now " + attrs_.Describe();
}

void ChipModel::handleGoodFrame(std::string_view frame, const std::string& head, int64_t nowMs) {
    const size_t length = frame.size() - 3;
    if (length < 2) {
        lines_.push_back(head + "no command");
        reply(kFailed);
        return;
    }
    const uint8_t command = At(frame, 3);
    auto plain = [&](const char* name) {
        if (length != 2) {
            lines_.push_back(head + name + ": wrong length");
            reply(kFailed);
            return false;
        }
        lines_.push_back(head + name);
        return true;
    };
    switch (command) {
    case 0x01:
        synthesize(frame, length, head, nowMs);
        return;
    case 0x02:
        if (!plain("stop"))
            return;
        reply(kReceived);
        if (state_ == ChipState::Speaking || state_ == ChipState::Paused)
            endSpeech(true, "stopped");
        return;
    case 0x03:
        if (!plain("pause"))
            return;
        reply(kReceived);
        if (state_ == ChipState::Speaking) {
            remainingMs_ = std::max<int64_t>(0, speechEndMs_ - nowMs);
            state_ = ChipState::Paused;
            voice_.push_back({VoiceEvent::Pause, {}, {}});
            lines_.push_back(Format("paused, %lld ms left", static_cast<long long>(remainingMs_)));
        }
        return;
    case 0x04:
        if (!plain("resume"))
            return;
        reply(kReceived);
        if (state_ == ChipState::Paused) {
            speechEndMs_ = nowMs + remainingMs_;
            state_ = ChipState::Speaking;
            voice_.push_back({VoiceEvent::Resume, {}, {}});
            lines_.push_back("resumed");
        }
        return;
    case 0x21:
        if (!plain("query status"))
            return;
        lines_.push_back(std::string("status: ") + StateName(state_));
        reply(state_ == ChipState::Speaking || state_ == ChipState::Paused ? kBusy : kIdle);
        return;
    case 0x88:
        if (!plain("sleep"))
            return;
        reply(kReceived);
        if (state_ == ChipState::Speaking || state_ == ChipState::Paused)
            endSpeech(false, "ended by sleep");
        state_ = ChipState::Asleep;
        lines_.push_back("asleep");
        return;
    case 0x31: {
        const int param = length == 3 ? At(frame, 4) : -1;
        if (!IsRateIndex(param)) {
            lines_.push_back(head + "set rate: wrong length or parameter");
            reply(kFailed);
            return;
        }
        lines_.push_back(head + Format("set rate %d", RateOfIndex(param)));
        reply(kReceived); // still at the old rate
        rate_ = RateOfIndex(param);
        lines_.push_back(Format("rate %d bit/s from now on", rate_));
        return;
    }
    default:
        lines_.push_back(head + Format("unknown command %02X", command));
        reply(kFailed);
        return;
    }
}

void ChipModel::synthesize(std::string_view frame, size_t length, const std::string& head,
                           int64_t nowMs) {
    if (length < 3) {
        lines_.push_back(head + "synthesize: no parameter");
        reply(kFailed);
        return;
    }
    const uint8_t param = At(frame, 4);
    const std::string_view text = frame.substr(5, frame.size() - 6);
    lines_.push_back(head + Format("synthesize %zu bytes, music %d, encoding %d", text.size(),
                                   param >> 3, param & 7));
    reply(kReceived);
    if (state_ == ChipState::Speaking || state_ == ChipState::Paused)
        endSpeech(false, "replaced by the new text");
    const Reading reading = ReadText(text, attrs_);
    for (const std::string& mark : reading.unknownMarks)
        lines_.push_back("unknown mark " + mark + ", ignored");
    const auto ms =
        static_cast<int64_t>(std::llround(static_cast<double>(reading.ms) * timeScale_));
    const std::string utf8 = GbkToUtf8(StripMarks(text));
    lines_.push_back(Format("speak %lld ms: ", static_cast<long long>(ms)) + utf8);
    state_ = ChipState::Speaking;
    speechEndMs_ = nowMs + ms;
    dropIdle_ = chance(faults_.dropIdle);
    if (!utf8.empty())
        voice_.push_back({VoiceEvent::Start, utf8, reading.atStart});
}

void ChipModel::endSpeech(bool idleReport, const char* why) {
    state_ = ChipState::Idle;
    voice_.push_back({VoiceEvent::Stop, {}, {}});
    lines_.push_back(std::string("speech ") + why);
    if (idleReport)
        reportIdle();
    dropIdle_ = false;
}

void ChipModel::Tick(int64_t nowMs) {
    while (!inbound_.empty() && inbound_.front().atMs <= static_cast<double>(nowMs)) {
        const Inbound first = inbound_.front();
        const auto at = static_cast<int64_t>(std::ceil(first.atMs));
        timePasses(at);
        if (first.rate != rate_) {
            // Noise to the chip: one report for the whole run of it.
            std::string run;
            int64_t last = at;
            while (!inbound_.empty() && inbound_.front().rate == first.rate &&
                   inbound_.front().atMs <= static_cast<double>(nowMs)) {
                run += inbound_.front().byte;
                last = static_cast<int64_t>(std::ceil(inbound_.front().atMs));
                inbound_.pop_front();
            }
            receive(run, first.rate, last);
            continue;
        }
        inbound_.pop_front();
        receive(std::string_view(&first.byte, 1), first.rate, at);
    }
    timePasses(nowMs);
}

void ChipModel::timePasses(int64_t nowMs) {
    if (state_ == ChipState::Speaking && nowMs >= speechEndMs_) {
        state_ = ChipState::Idle;
        lines_.push_back("done speaking");
        reportIdle();
    }
    if (!pending_.empty() && nowMs - lastByteMs_ >= kFrameGapMs) {
        lines_.push_back("recv " + HexOf(pending_) + " | cut short, dropped");
        pending_.clear();
    }
}

int64_t ChipModel::NextDeadline() const {
    int64_t next = -1;
    auto consider = [&next](int64_t t) { next = next < 0 ? t : std::min(next, t); };
    if (state_ == ChipState::Speaking)
        consider(speechEndMs_);
    if (!pending_.empty())
        consider(lastByteMs_ + kFrameGapMs);
    if (!inbound_.empty())
        consider(static_cast<int64_t>(std::ceil(inbound_.front().atMs)));
    return next;
}

std::string ChipModel::TakeBytes() {
    return std::exchange(out_, {});
}
std::vector<std::string> ChipModel::TakeLines() {
    return std::exchange(lines_, {});
}
std::vector<VoiceEvent> ChipModel::TakeVoice() {
    return std::exchange(voice_, {});
}

} // namespace chipsim
