// What the chip sends down the line: its answers in order, paced at the
// line's rate when line timing is on, and noise between them on demand.
// Bounded: a console that never reads must not make us grow without end.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <string_view>

namespace chipsim {

class LineSender {
  public:
    LineSender(bool lineTiming, double noisePerSecond, uint64_t seed);
    // Queues the chip's answers.
    void queue(const std::string& bytes);
    // Writes what is due to fd (the line's master side) at rate bit/s and
    // reports each byte; returns when to come back (ms from now, -1: only
    // when something new is queued).
    int pump(int fd, int rate, int64_t nowMs);
    // The line went away: what waits is lost.
    void drop();
    // Every byte written from now on is also handed to tap (the chip-side
    // tap of the line).
    void setTap(std::function<void(std::string_view)> tap) { tap_ = std::move(tap); }

  private:
    void noise(int fd, int rate, int64_t nowMs);

    bool timing_;
    double noisePerSecond_;
    std::mt19937_64 rng_;
    std::deque<unsigned char> out_;
    std::function<void(std::string_view)> tap_;
    double lineFreeMs_ = 0;  // when the last byte written has left
    double noiseBudget_ = 0; // noise bytes owed
    int64_t lastNoiseMs_ = -1;
};

} // namespace chipsim
