#include "core/cli_monitor.h"

#include "core/exit_status.h"
#include "core/json_writer.h"
#include "core/text_util.h"
#include "core/traffic_report.h" // SpacedHex

#include <algorithm>
#include <cstdio>

namespace {

// Seconds with three decimals: "12.345".
std::string SecondsOf(int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(us / 1'000'000),
                  static_cast<long long>(us / 1000 % 1000));
    return text;
}

// Whether nothing more can change the row's line: a frame once answered or
// given up; every other row at once.
bool Settled(const TapItem& item) {
    if (item.kind != TapItem::Kind::Frame || item.answer >= 0)
        return true;
    return std::find(item.findings.begin(), item.findings.end(), TapFinding::NoAnswer) !=
           item.findings.end();
}

} // namespace

std::string_view TapSideName(TapSide side) {
    return side == TapSide::Host ? "host" : "chip";
}

MonitorSession::MonitorSession(bool json, int64_t durationMs, Io io, TapMonitor::Options options)
    : json_(json), durationMs_(durationMs), io_(std::move(io)), monitor_(options),
      options_(options) {}

void MonitorSession::start() {
    startUs_ = io_.clock.nowUs();
}

int64_t MonitorSession::nowUs() const {
    return io_.clock.nowUs() - startUs_;
}

void MonitorSession::onTurn(std::string_view host, std::string_view chip) {
    if (done_ || (host.empty() && chip.empty()))
        return;
    monitor_.FeedTogether(nowUs(), host, chip);
    flush(false);
}

void MonitorSession::onTimer() {
    if (done_)
        return;
    monitor_.Advance(nowUs());
    flush(false);
    if (durationMs_ > 0 && nowUs() / 1000 >= durationMs_)
        finish(monitor_.FindingTotal() > 0 ? ExitStatus::Findings : ExitStatus::Ok);
}

void MonitorSession::interrupt(int) {
    if (!done_)
        finish(monitor_.FindingTotal() > 0 ? ExitStatus::Findings : ExitStatus::Ok);
}

void MonitorSession::onOutputGone(const std::string& reason) {
    if (done_ || outputFailed_)
        return;
    outputFailed_ = true;
    failure_ = reason;
    finish(ExitStatus::Output);
}

void MonitorSession::onLineFailed(TapSide side, const std::string& name, const LineError& error) {
    if (done_)
        return;
    io_.complain(std::string(TapSideName(side)) + " tap: " + PortFailureText(name, error));
    finish(ExitStatus::Port);
}

int MonitorSession::wakeWithinMs() const {
    if (done_)
        return -1;
    // Often enough to end a frame on its silence and to give up an answer
    // in time; a watch is no busy loop at 10 ms.
    int64_t wait = std::max<int64_t>(options_.silenceUs / 1000, 10);
    if (durationMs_ > 0)
        wait = std::min(wait, std::max<int64_t>(durationMs_ - nowUs() / 1000, 0));
    return static_cast<int>(wait);
}

void MonitorSession::flush(bool all) {
    for (; printed_ < monitor_.End() && !outputFailed_; ++printed_) {
        if (printed_ < monitor_.First())
            continue; // let go before it could be printed
        const TapItem& item = monitor_.At(printed_);
        if (!all && !Settled(item))
            break;
        print(item);
    }
    monitor_.TakeChanged(); // the printed lines are final; nothing to redraw
    if (outputFailed_ && !done_)
        finish(ExitStatus::Output);
}

void MonitorSession::print(const TapItem& item) {
    if (capture_)
        capture_->add(epochStartUs_ + item.startUs,
                      item.side == TapSide::Host ? CaptureDirection::ToChip
                                                 : CaptureDirection::FromChip,
                      item.bytes, item.side == TapSide::Host ? 0 : 1);
    std::vector<std::string> keys;
    std::string named;
    for (const TapFinding f : item.findings) {
        keys.emplace_back(TapFindingKey(f));
        named += (named.empty() ? "" : ", ") + std::string(TapFindingKey(f)) + ": " +
                 Utf8FromUtf16(TapFindingText(f));
    }
    const std::string meaning = Utf8FromUtf16(TapMeaning(item));
    const std::string check = Utf8FromUtf16(TapCheck(item));
    const bool answered =
        item.kind == TapItem::Kind::Frame && item.answer >= 0 && monitor_.Has(item.answer);
    const int64_t replyMs = answered ? (monitor_.At(item.answer).startUs - item.endUs) / 1000 : -1;
    if (json_) {
        JsonFields fields{{"dir", TapSideName(item.side)},
                          {"t", JsonValue::Raw(SecondsOf(item.startUs))},
                          {"bytes", SpacedHex(item.bytes)},
                          {"meaning", meaning}};
        if (!check.empty())
            fields.emplace_back("check", check);
        if (replyMs >= 0)
            fields.emplace_back("reply_ms", replyMs);
        fields.emplace_back("findings", JsonValue(keys));
        put(JsonObject(fields));
        return;
    }
    std::string line = SecondsOf(item.startUs) + "  " + std::string(TapSideName(item.side)) + "  " +
                       SpacedHex(item.bytes) + "  " + meaning;
    if (!check.empty())
        line += "  " + check;
    if (replyMs >= 0)
        line += "  " + std::to_string(replyMs) + " ms";
    if (!named.empty())
        line += "  [" + named + "]";
    put(line);
}

void MonitorSession::replay(const std::vector<CapturePacket>& packets) {
    const int64_t t0 = packets.empty() ? 0 : packets.front().timeUs;
    int64_t t = 0;
    for (const CapturePacket& p : packets) {
        if (done_ || outputFailed_)
            break;
        // A capture from elsewhere may not say the direction: frames come
        // from the controller.
        const bool host = p.direction == CaptureDirection::ToChip ||
                          (p.direction == CaptureDirection::Unknown && !p.bytes.empty() &&
                           static_cast<uint8_t>(p.bytes[0]) == 0xFD);
        t = std::max(t, p.timeUs - t0); // times never go back
        monitor_.Feed(host ? TapSide::Host : TapSide::Chip, t, p.bytes);
        flush(false);
    }
    if (done_)
        return;
    // As a watch that went on: what waited for an answer is given up.
    const int64_t end = t + options_.answerTimeoutUs;
    monitor_.Advance(end);
    finishAt(monitor_.FindingTotal() > 0 ? ExitStatus::Findings : ExitStatus::Ok, end);
}

void MonitorSession::finishAt(int status, int64_t atUs) {
    monitor_.Finish(atUs);
    done_ = true; // before the last lines: a failing write ends nothing twice
    flush(true);
    summarize(status);
    // A failed write, during the watch or of its last lines, decides.
    status_ = outputFailed_ ? ExitStatus::Output : status;
    if (outputFailed_)
        io_.complain("standard output could not be written: " + failure_);
}

void MonitorSession::summarize(int status) {
    std::string counts;
    JsonFields jsonCounts;
    for (int k = 0; k < kTapFindingKinds; ++k) {
        const auto finding = static_cast<TapFinding>(k);
        if (const int64_t n = monitor_.Count(finding); n > 0) {
            const std::string key(TapFindingKey(finding));
            counts += (counts.empty() ? "" : ", ") + key + " " + std::to_string(n);
            jsonCounts.emplace_back(key, n);
        }
    }
    if (json_) {
        const char* result = status == ExitStatus::Port       ? "port"
                             : status == ExitStatus::Findings ? "findings"
                                                              : "ok";
        put(JsonObject({{"result", result},
                        {"status", status},
                        {"frames", monitor_.Frames()},
                        {"status_bytes", monitor_.StatusBytes()},
                        {"findings", JsonValue::Raw(JsonObject(jsonCounts))}}));
        return;
    }
    put("monitor: frames " + std::to_string(monitor_.Frames()) + ", status bytes " +
        std::to_string(monitor_.StatusBytes()) + ", findings " +
        std::to_string(monitor_.FindingTotal()) + (counts.empty() ? "" : " (" + counts + ")"));
}

void MonitorSession::put(const std::string& line) {
    if (outputFailed_)
        return;
    if (!io_.out.write(line + "\n", &failure_))
        outputFailed_ = true;
}
