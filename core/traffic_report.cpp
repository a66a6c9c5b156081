#include "core/traffic_report.h"

#include "core/capture_file.h"
#include "core/frame_codec.h"
#include "core/text_util.h"

#include <cerrno>
#include <cstring>

bool FileOutput::write(std::string_view bytes, std::string* failure) {
    errno = 0;
    const std::size_t n = std::fwrite(bytes.data(), 1, bytes.size(), file_);
    if (std::fflush(file_) == 0 && n == bytes.size())
        return true;
    *failure = std::strerror(errno != 0 ? errno : EIO);
    // What the stream still holds would only fail again at exit.
    std::clearerr(file_);
    return false;
}

std::string SpacedHex(std::string_view bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (const unsigned char b : bytes) {
        if (!s.empty())
            s += ' ';
        s += kDigits[b >> 4];
        s += kDigits[b & 0x0F];
    }
    return s;
}

namespace {

// The log text without its CR: standard output has LF line ends.
std::string WithLf(std::u16string_view text) {
    return Utf8FromUtf16(ReplaceAll(std::u16string(text), u"\r\n", u"\n"));
}

} // namespace

TrafficReport::TrafficReport(bool json, OutputSink& out, const MonotonicClock& clock)
    : json_(json), out_(out), clock_(clock) {}

void TrafficReport::emitBytes(std::string_view bytes) {
    if (failed_)
        return;
    if (!out_.write(bytes, &failure_))
        failed_ = true;
}

void TrafficReport::put(std::string line) {
    line += '\n';
    emitBytes(line);
}

void TrafficReport::frameOut(std::string_view frame) {
    if (capture_)
        hold({epochUs_(), true, std::string(frame)});
    std::string log = WithLf(FrameLogText(frame));
    if (!json_) {
        emitBytes(log);
        return;
    }
    if (!log.empty())
        log.pop_back(); // its line end
    put(JsonObject(
        {{"t_ms", clock_.nowMs()}, {"dir", "out"}, {"hex", SpacedHex(frame)}, {"log", log}}));
}

void TrafficReport::byteIn(uint8_t byte, std::u16string_view log) {
    if (capture_)
        hold({epochUs_(), false, std::string(1, static_cast<char>(byte))});
    if (!json_) {
        if (!log.empty())
            put(Utf8FromUtf16(log));
        return;
    }
    const char b = static_cast<char>(byte);
    put(JsonObject({{"t_ms", clock_.nowMs()},
                    {"dir", "in"},
                    {"hex", SpacedHex(std::string_view(&b, 1))},
                    {"log", log.empty() ? JsonValue() : JsonValue(Utf8FromUtf16(log))}}));
}

void TrafficReport::hold(Held packet) {
    held_.push_back(std::move(packet));
    // A line that never pauses still gets its packets written.
    if (held_.size() >= kHeldPackets)
        flushCapture();
}

void TrafficReport::flushCapture() {
    if (!capture_)
        return;
    for (const Held& p : held_)
        capture_->add(p.timeUs, p.out ? CaptureDirection::ToChip : CaptureDirection::FromChip,
                      p.bytes);
    held_.clear();
}

void TrafficReport::line(std::string_view text, const JsonFields& jsonFields) {
    put(json_ ? JsonObject(jsonFields) : std::string(text));
}

void TrafficReport::result(std::string_view result, int status, const JsonFields& fields) {
    if (!json_)
        return;
    JsonFields all{{"result", result}, {"status", status}};
    all.insert(all.end(), fields.begin(), fields.end());
    put(JsonObject(all));
}

void TrafficReport::unexpected(uint8_t byte, std::string_view awaiting, int frame) {
    if (!json_)
        return;
    const char b = static_cast<char>(byte);
    put(JsonObject({{"t_ms", clock_.nowMs()},
                    {"unexpected", SpacedHex(std::string_view(&b, 1))},
                    {"awaiting", awaiting},
                    {"frame", frame}}));
}
