#include "sim/line_sender.h"

#include "sim/chip_model.h"
#include "sim/report.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace chipsim {

namespace {
constexpr size_t kOutputLimit = 4096;
// Noise goes out in bursts this far apart (and no further behind).
constexpr int64_t kNoiseEveryMs = 20;
// A full line is tried again this soon.
constexpr int kRetryMs = 20;
} // namespace

LineSender::LineSender(bool lineTiming, double noisePerSecond, uint64_t seed)
    : timing_(lineTiming), noisePerSecond_(noisePerSecond), rng_(seed ^ 0x6e6f697365ULL) {}

void LineSender::queue(const std::string& bytes) {
    for (const char c : bytes) {
        if (out_.size() >= kOutputLimit) {
            char note[64];
            std::snprintf(note, sizeof note, "dropped 0x%02X: the console reads nothing",
                          static_cast<unsigned char>(c));
            Say(note);
            continue;
        }
        out_.push_back(static_cast<unsigned char>(c));
    }
}

void LineSender::drop() {
    for (const unsigned char b : out_) {
        char note[64];
        std::snprintf(note, sizeof note, "dropped 0x%02X: the line is unplugged", b);
        Say(note);
    }
    out_.clear();
    noiseBudget_ = 0;
    lastNoiseMs_ = -1;
}

int LineSender::pump(int fd, int rate, int64_t nowMs) {
    const double now = static_cast<double>(nowMs);
    const double byteMs = ByteMs(rate > 0 ? rate : kDefaultRate);
    while (!out_.empty()) {
        if (timing_ && lineFreeMs_ > now)
            return static_cast<int>(std::ceil(lineFreeMs_ - now));
        const unsigned char b = out_.front();
        if (write(fd, &b, 1) != 1)
            return kRetryMs; // full (EAGAIN): try again shortly
        out_.pop_front();
        if (tap_)
            tap_(std::string_view(reinterpret_cast<const char*>(&b), 1));
        // The byte leaves when the line is free, and takes its 10 bits.
        lineFreeMs_ = std::max(lineFreeMs_, now) + byteMs;
        char sent[32];
        std::snprintf(sent, sizeof sent, "send 0x%02X", b);
        Say(sent);
    }
    if (noisePerSecond_ <= 0)
        return -1;
    noise(fd, rate, nowMs);
    return static_cast<int>(kNoiseEveryMs);
}

void LineSender::noise(int fd, int rate, int64_t nowMs) {
    // Between answers only, and never more than the line carries.
    const double now = static_cast<double>(nowMs);
    if (lastNoiseMs_ < 0)
        lastNoiseMs_ = nowMs;
    if (nowMs - lastNoiseMs_ < kNoiseEveryMs || (timing_ && lineFreeMs_ > now))
        return;
    const double carried = (rate > 0 ? rate : kDefaultRate) / 10.0;
    const double perSecond = std::min(noisePerSecond_, carried);
    noiseBudget_ += perSecond * static_cast<double>(nowMs - lastNoiseMs_) / 1000.0;
    // A loop that was held up owes no more than one second of noise.
    noiseBudget_ = std::min(noiseBudget_, carried);
    lastNoiseMs_ = nowMs;
    const auto n = static_cast<size_t>(noiseBudget_);
    if (n == 0)
        return;
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng_() & 0xFF);
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written <= 0)
        return; // the line is full: the console is behind, and owes us nothing
    noiseBudget_ -= static_cast<double>(written);
    const auto w = static_cast<size_t>(written);
    if (tap_)
        tap_(std::string_view(bytes.data(), w));
    lineFreeMs_ = std::max(lineFreeMs_, now) +
                  ByteMs(rate > 0 ? rate : kDefaultRate) * static_cast<double>(w);
    Say("noise " + std::to_string(w) + " bytes: " + ChipModel::HexOf(bytes.substr(0, w)));
}

} // namespace chipsim
