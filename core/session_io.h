// What the command-line program's session needs from its platform: the line
// to the chip, a one-shot timer, a monotonic clock and the place its lines
// go. Each platform supplies its own; tests supply fakes. No threads: the
// platform calls the session from its one loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Why the line failed: the system's reason (UTF-8), and whether access was
// denied (the user lacks the right to the device).
struct LineError {
    std::string reason;
    bool accessDenied = false;
};

// The open serial line to the chip. Bytes read and a failure of the line
// reach the session through its onBytes and onLineFailed, from the
// platform's loop, never from inside a call of this interface.
class SessionLine {
  public:
    virtual ~SessionLine() = default;
    // Queues bytes and hands them to the driver.
    virtual bool write(std::string_view bytes, LineError* error) = 0;
    // Closes and opens the same device again at rate.
    virtual bool reopen(int rate, LineError* error) = 0;
    // Waits until everything written has left for the line, at most timeoutMs.
    virtual void drain(int timeoutMs) = 0;
    virtual void close() = 0;
    // The device's name for messages (UTF-8).
    virtual std::string device() const = 0;
};

// One wake-up at a time: start replaces the one pending. The platform calls
// the session's onTimer once the time has passed, never early.
class SessionTimer {
  public:
    virtual ~SessionTimer() = default;
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
};

// Milliseconds since a fixed start (the process's start for t_ms).
class MonotonicClock {
  public:
    virtual ~MonotonicClock() = default;
    virtual int64_t nowMs() const = 0;
    // Microseconds, where the clock has them (a monitor stamps each byte).
    virtual int64_t nowUs() const { return nowMs() * 1000; }
};

// The steady clock, counting from its construction.
class SteadyClock : public MonotonicClock {
  public:
    int64_t nowMs() const override { return nowUs() / 1000; }
    int64_t nowUs() const override {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Where the printed lines go. A failed write sets *failure (UTF-8).
class OutputSink {
  public:
    virtual ~OutputSink() = default;
    virtual bool write(std::string_view bytes, std::string* failure) = 0;
};

// What a program started without standard output reads when it writes its
// results: the same words on every system.
inline constexpr const char* kNoStandardOutput = "there is no standard output";

// Standard output that the program was started without: every write fails.
class MissingOutput : public OutputSink {
  public:
    bool write(std::string_view, std::string* failure) override {
        *failure = kNoStandardOutput;
        return false;
    }
};

// A stdio stream, flushed after each write so that a script reading a pipe
// sees each line as it happens.
class FileOutput : public OutputSink {
  public:
    explicit FileOutput(FILE* file) : file_(file) {}
    bool write(std::string_view bytes, std::string* failure) override;

  private:
    FILE* file_;
};
