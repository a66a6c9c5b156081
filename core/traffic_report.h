// What the command-line program prints on standard output: the window's
// work-log text for the traffic (LF line ends), or one JSON object per line.
#pragma once

#include "core/json_writer.h"
#include "core/session_io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CaptureWriter;

class TrafficReport {
  public:
    // out: where lines go; clock: counts from the process's start (t_ms).
    TrafficReport(bool json, OutputSink& out, const MonotonicClock& clock);

    // A frame that is about to be written.
    void frameOut(std::string_view frame);
    // One byte read; log is its explanation, empty for a byte that is no
    // status byte (shown under --json only).
    void byteIn(uint8_t byte, std::u16string_view log);
    // A plain line of its own (the ports list): printed as it is (UTF-8), or
    // under --json as the given object.
    void line(std::string_view text, const JsonFields& jsonFields);
    // The final object under --json; nothing otherwise. result: "ok",
    // "rejected", "timeout", "port", ...; fields follow it in order.
    void result(std::string_view result, int status, const JsonFields& fields = {});
    // A status byte the run did not expect at that point (under --json only):
    // awaiting names what it waited for, frame counts from 1.
    void unexpected(uint8_t byte, std::string_view awaiting, int frame);

    // The traffic also goes into capture (frames out, bytes in), stamped
    // by epochUs. The packets wait, stamped, until flushCapture: the loop
    // writes them when it would sleep (nothing more to read), so decoding
    // and writing them never stands between a status byte and the frame it
    // lets go. At most kHeldPackets wait.
    void setCapture(CaptureWriter* capture, std::function<int64_t()> epochUs) {
        capture_ = capture;
        epochUs_ = std::move(epochUs);
    }
    // Writes the packets waiting.
    void flushCapture();
    bool captureHeld() const { return !held_.empty(); }
    static constexpr size_t kHeldPackets = 64;

    // A write failed (a closed pipe): nothing more is written, the reason is
    // kept.
    bool failed() const { return failed_; }
    // Known without a write (the reader of a pipe has gone): as a failed write.
    void lose(std::string reason) {
        if (!failed_)
            failure_ = std::move(reason);
        failed_ = true;
    }
    const std::string& failure() const { return failure_; }

  private:
    void put(std::string line);
    void emitBytes(std::string_view bytes);

    bool json_;
    OutputSink& out_;
    const MonotonicClock& clock_;
    bool failed_ = false;
    std::string failure_;
    CaptureWriter* capture_ = nullptr;
    std::function<int64_t()> epochUs_;
    struct Held {
        int64_t timeUs;
        bool out;
        std::string bytes;
    };
    std::vector<Held> held_;
    void hold(Held packet);
};

// "FD 00 02 21 DE": upper case, one blank between bytes.
std::string SpacedHex(std::string_view bytes);
