#include "sim/chip_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iconv.h>
#include <utility>

namespace chipsim {

namespace {
constexpr uint8_t kHeader = 0xFD;
constexpr uint8_t kReceived = 0x41;
constexpr uint8_t kFailed = 0x45;
constexpr uint8_t kInitDone = 0x4A;
constexpr uint8_t kBusy = 0x4E;
constexpr uint8_t kIdle = 0x4F;
constexpr int kRates[] = {9600, 19200, 38400};

uint8_t At(std::string_view s, size_t i) {
    return static_cast<uint8_t>(s[i]);
}

bool IsMarkChar(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '*' ||
           c == '=' || c == '-';
}

// Length of a control mark starting at i ("[v10]", "[d]"), or 0.
size_t MarkAt(std::string_view s, size_t i) {
    constexpr size_t kLongestMark = 12;
    if (At(s, i) != '[')
        return 0;
    for (size_t j = i + 1; j < s.size() && j - i <= kLongestMark; ++j) {
        const uint8_t c = At(s, j);
        if (c == ']')
            return j > i + 1 ? j - i + 1 : 0;
        if (!IsMarkChar(c))
            return 0;
    }
    return 0;
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

ChipModel::ChipModel(double timeScale) : timeScale_(timeScale < 0 ? 0 : timeScale) {}

void ChipModel::Start(int64_t nowMs) {
    lastByteMs_ = nowMs;
    lines_.push_back("power up: 9600 bit/s, idle");
    answer(kInitDone);
}

std::string ChipModel::StripMarks(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size());
    for (size_t i = 0; i < gbk.size();) {
        if (const size_t mark = MarkAt(gbk, i)) {
            i += mark;
            continue;
        }
        // A lead byte takes its trail byte along, so that a trail byte equal
        // to '[' never starts a mark.
        const size_t n = (At(gbk, i) >= 0x81 && i + 1 < gbk.size()) ? 2 : 1;
        out.append(gbk.substr(i, n));
        i += n;
    }
    return out;
}

int64_t ChipModel::SpeechMs(std::string_view gbk) {
    const std::string text = StripMarks(gbk);
    int64_t ms = 0;
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = At(text, i);
        if (c >= 0x81 && i + 1 < text.size()) {
            ms += kMsPerDoubleByteChar;
            i += 2;
        } else {
            if (c > 0x20 && c < 0x7F)
                ms += kMsPerSingleByteChar;
            ++i;
        }
    }
    return ms;
}

std::string ChipModel::GbkToUtf8(std::string_view gbk) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (char c : gbk)
            out += (static_cast<uint8_t>(c) < 0x80) ? c : '?';
        return out;
    }
    std::string in(gbk);
    char* inp = in.data();
    size_t inLeft = in.size();
    char buf[1024];
    while (inLeft > 0) {
        char* outp = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buf, sizeof buf - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An undecodable or cut-off byte: mark it and go on after it.
            out += "\xEF\xBF\xBD";
            ++inp;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::string ChipModel::HexOf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += kDigits[At(bytes, i) >> 4];
        out += kDigits[At(bytes, i) & 0x0F];
    }
    return out;
}

void ChipModel::Feed(std::string_view bytes, int lineRate, int64_t nowMs) {
    Tick(nowMs);
    if (bytes.empty())
        return;
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
    Tick(nowMs);
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
                             Format(" | impossible length %d", length));
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
    if (sum != At(frame, frame.size() - 1)) {
        lines_.push_back(head + Format("bad checksum (expected %02X)", sum));
        answer(kFailed);
        return;
    }
    const size_t length = frame.size() - 3;
    if (length < 2) {
        lines_.push_back(head + "no command");
        answer(kFailed);
        return;
    }
    const uint8_t command = At(frame, 3);
    auto plain = [&](const char* name) {
        if (length != 2) {
            lines_.push_back(head + name + ": wrong length");
            answer(kFailed);
            return false;
        }
        lines_.push_back(head + name);
        return true;
    };
    switch (command) {
    case 0x01: {
        if (length < 3) {
            lines_.push_back(head + "synthesize: no parameter");
            answer(kFailed);
            return;
        }
        const uint8_t param = At(frame, 4);
        const std::string_view text = frame.substr(5, frame.size() - 6);
        lines_.push_back(head + Format("synthesize %zu bytes, music %d, encoding %d", text.size(),
                                       param >> 3, param & 7));
        answer(kReceived);
        if (state_ == ChipState::Speaking || state_ == ChipState::Paused)
            endSpeech(false, "replaced by the new text");
        const std::string stripped = StripMarks(text);
        const auto ms = static_cast<int64_t>(
            std::llround(static_cast<double>(SpeechMs(stripped)) * timeScale_));
        const std::string utf8 = GbkToUtf8(stripped);
        lines_.push_back(Format("speak %lld ms: ", static_cast<long long>(ms)) + utf8);
        state_ = ChipState::Speaking;
        speechEndMs_ = nowMs + ms;
        if (!utf8.empty())
            voice_.push_back({VoiceEvent::Start, utf8});
        return;
    }
    case 0x02:
        if (!plain("stop"))
            return;
        answer(kReceived);
        if (state_ == ChipState::Speaking || state_ == ChipState::Paused)
            endSpeech(true, "stopped");
        return;
    case 0x03:
        if (!plain("pause"))
            return;
        answer(kReceived);
        if (state_ == ChipState::Speaking) {
            remainingMs_ = std::max<int64_t>(0, speechEndMs_ - nowMs);
            state_ = ChipState::Paused;
            voice_.push_back({VoiceEvent::Pause, {}});
            lines_.push_back(Format("paused, %lld ms left", static_cast<long long>(remainingMs_)));
        }
        return;
    case 0x04:
        if (!plain("resume"))
            return;
        answer(kReceived);
        if (state_ == ChipState::Paused) {
            speechEndMs_ = nowMs + remainingMs_;
            state_ = ChipState::Speaking;
            voice_.push_back({VoiceEvent::Resume, {}});
            lines_.push_back("resumed");
        }
        return;
    case 0x21:
        if (!plain("query status"))
            return;
        lines_.push_back(std::string("status: ") + StateName(state_));
        answer(state_ == ChipState::Speaking || state_ == ChipState::Paused ? kBusy : kIdle);
        return;
    case 0x88:
        if (!plain("sleep"))
            return;
        answer(kReceived);
        if (state_ == ChipState::Speaking || state_ == ChipState::Paused)
            endSpeech(false, "ended by sleep");
        state_ = ChipState::Asleep;
        lines_.push_back("asleep");
        return;
    case 0x31: {
        const int param = length == 3 ? At(frame, 4) : -1;
        if (param < 0 || param > 2) {
            lines_.push_back(head + "set rate: wrong length or parameter");
            answer(kFailed);
            return;
        }
        lines_.push_back(head + Format("set rate %d", kRates[param]));
        answer(kReceived); // still at the old rate
        rate_ = kRates[param];
        lines_.push_back(Format("rate %d bit/s from now on", rate_));
        return;
    }
    default:
        lines_.push_back(head + Format("unknown command %02X", command));
        answer(kFailed);
        return;
    }
}

void ChipModel::endSpeech(bool reportIdle, const char* why) {
    state_ = ChipState::Idle;
    voice_.push_back({VoiceEvent::Stop, {}});
    lines_.push_back(std::string("speech ") + why);
    if (reportIdle)
        answer(kIdle);
}

void ChipModel::Tick(int64_t nowMs) {
    if (state_ == ChipState::Speaking && nowMs >= speechEndMs_) {
        state_ = ChipState::Idle;
        lines_.push_back("done speaking");
        answer(kIdle);
    }
    if (!pending_.empty() && nowMs - lastByteMs_ >= kFrameGapMs) {
        lines_.push_back("recv " + HexOf(pending_) + " | cut short, dropped");
        pending_.clear();
    }
}

int64_t ChipModel::NextDeadline() const {
    int64_t next = -1;
    if (state_ == ChipState::Speaking)
        next = speechEndMs_;
    if (!pending_.empty()) {
        const int64_t gap = lastByteMs_ + kFrameGapMs;
        next = next < 0 ? gap : std::min(next, gap);
    }
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
