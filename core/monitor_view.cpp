#include "core/monitor_view.h"

#include "core/cli_monitor.h" // TapSideName
#include "core/cli_session.h" // PortFailureText
#include "core/exit_status.h"
#include "core/line_rates.h"
#include "core/text_util.h"
#include "core/traffic_report.h" // SpacedHex
#include "core/traffic_table.h"  // WriteCsv

#include <algorithm>
#include <cstdio>

namespace {

std::u16string SecondsText(int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(us / 1'000'000),
                  static_cast<long long>(us / 1000 % 1000));
    return Utf16FromUtf8(text);
}

std::u16string MsText(int64_t us) {
    return Number16(us / 1000) + u" ms";
}

} // namespace

const std::vector<std::u16string>& MonitorHeaders() {
    static const std::vector<std::u16string> headers = {u"方向", u"时间", u"字节",
                                                        u"含义", u"判定", u"时序"};
    return headers;
}

std::u16string_view MonitorColumnSample(int column) {
    switch (column) {
    case MonitorColumn::Direction:
        return u"控制器";
    case MonitorColumn::Time:
        return u"1234.567";
    case MonitorColumn::Bytes:
        return u"FD 00 0B 01 01 C4 E3 BA C3 A3 AC CA C0";
    case MonitorColumn::Meaning:
        return u"合成 无背景 GBK “你好，世界”";
    case MonitorColumn::Verdict:
        return u"✗ 应为 0xDE  校验错误";
    case MonitorColumn::Timings:
        return u"线上 12 ms · 应答 3 ms · 朗读 1234 ms · 间隔 300 ms";
    default:
        return {};
    }
}

std::u16string MonitorWatchingText(std::u16string_view host, std::u16string_view chip,
                                   int rateIndex) {
    return u"正在监听 " + std::u16string(host) + u" / " + std::u16string(chip) + u" · " +
           Number16(RateOfIndex(rateIndex)) + u" bit/s";
}

WindowWatch::WindowWatch(const MonotonicClock& clock, TapMonitor::Options options)
    : clock_(clock), options_(options), monitor_(options) {}

void WindowWatch::start() {
    startUs_ = clock_.nowUs();
}

int64_t WindowWatch::nowUs() const {
    return clock_.nowUs() - startUs_;
}

void WindowWatch::publish() {
    const std::vector<int64_t> changed = monitor_.TakeChanged();
    changed_.insert(changed_.end(), changed.begin(), changed.end());
}

void WindowWatch::onTurn(std::string_view host, std::string_view chip) {
    if (host.empty() && chip.empty())
        return;
    const int64_t t = nowUs(); // stamped before anything can wait
    const std::lock_guard lock(mutex_);
    if (done_)
        return;
    monitor_.FeedTogether(t, host, chip);
    publish();
}

void WindowWatch::onTimer() {
    const int64_t t = nowUs();
    const std::lock_guard lock(mutex_);
    if (done_)
        return;
    monitor_.Advance(t);
    publish();
}

void WindowWatch::interrupt(int) {
    const int64_t t = nowUs();
    const std::lock_guard lock(mutex_);
    if (done_)
        return;
    monitor_.Finish(t);
    publish();
    done_ = true;
}

void WindowWatch::onLineFailed(TapSide side, const std::string& name, const LineError& error) {
    const int64_t t = nowUs();
    const std::lock_guard lock(mutex_);
    if (done_)
        return;
    monitor_.Finish(t);
    publish();
    failure_ = std::string(TapSideName(side)) + " tap: " + PortFailureText(name, error);
    failed_ = done_ = true;
}

void WindowWatch::failBeforeStart(const std::string& message) {
    const std::lock_guard lock(mutex_);
    failure_ = message;
    failed_ = done_ = true;
}

int WindowWatch::wakeWithinMs() const {
    return static_cast<int>(std::max<int64_t>(options_.silenceUs / 1000, 10));
}

int WindowWatch::rateIndex() const {
    return monitor_.RateIndex(); // written only on this thread
}

bool WindowWatch::done() const {
    const std::lock_guard lock(mutex_);
    return done_;
}

int WindowWatch::status() const {
    const std::lock_guard lock(mutex_);
    if (failed_)
        return ExitStatus::Port;
    return monitor_.FindingTotal() > 0 ? ExitStatus::Findings : ExitStatus::Ok;
}

MonitorUpdate WindowWatch::take() {
    MonitorUpdate update;
    const std::lock_guard lock(mutex_);
    std::sort(changed_.begin(), changed_.end());
    changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
    for (const int64_t n : changed_)
        if (monitor_.Has(n))
            update.rows.emplace_back(n, monitor_.At(n));
    changed_.clear();
    update.first = monitor_.First();
    for (int k = 0; k < kTapFindingKinds; ++k)
        update.counts[k] = monitor_.Count(static_cast<TapFinding>(k));
    update.frames = monitor_.Frames();
    update.statusBytes = monitor_.StatusBytes();
    update.rateIndex = monitor_.RateIndex();
    update.ended = done_;
    update.failure = std::move(failure_); // said once
    failure_.clear();
    return update;
}

void MonitorTable::clear() {
    *this = MonitorTable(maxRows_);
}

int MonitorTable::rowOf(int64_t number) const {
    if (number < first_ || number >= first_ + static_cast<int64_t>(rows_.size()))
        return -1;
    return static_cast<int>(number - first_);
}

bool MonitorTable::apply(const MonitorUpdate& update, std::vector<int>* changed) {
    bool dropped = false;
    for (const auto& [number, item] : update.rows) {
        const int64_t end = first_ + static_cast<int64_t>(rows_.size());
        if (number == end || (rows_.empty() && number > end)) {
            if (rows_.empty())
                first_ = number;
            rows_.push_back(item);
        } else if (number > end) {
            // More came between two takes than the table keeps.
            rows_.clear();
            first_ = number;
            rows_.push_back(item);
            dropped = true;
        } else if (number >= first_) {
            rows_[size_t(number - first_)] = item;
        } else {
            continue;
        }
        if (changed)
            changed->push_back(rowOf(number));
    }
    while (static_cast<int64_t>(rows_.size()) > maxRows_) {
        rows_.pop_front();
        ++first_;
        dropped = true;
    }
    if (dropped && changed)
        changed->clear(); // everything moved: the view redraws
    std::copy(std::begin(update.counts), std::end(update.counts), counts_);
    frames_ = update.frames;
    statusBytes_ = update.statusBytes;
    rateIndex_ = update.rateIndex;
    ended_ = update.ended;
    return dropped;
}

std::u16string MonitorTable::cell(int row, int column) const {
    const TapItem& item = rows_[size_t(row)];
    switch (column) {
    case MonitorColumn::Direction:
        return item.side == TapSide::Host ? u"控制器" : u"芯片";
    case MonitorColumn::Time:
        return SecondsText(item.startUs);
    case MonitorColumn::Bytes:
        return Utf16FromUtf8(SpacedHex(item.bytes));
    case MonitorColumn::Meaning:
        return TapMeaning(item);
    case MonitorColumn::Verdict: {
        std::u16string text = TapCheck(item);
        for (size_t i = 0; i < item.findings.size(); ++i)
            text += (i ? u"，" : text.empty() ? u"" : u"  ") +
                    std::u16string(TapFindingText(item.findings[i]));
        return text;
    }
    case MonitorColumn::Timings: {
        if (item.kind != TapItem::Kind::Frame)
            return {};
        std::u16string text = u"线上 " + MsText(item.endUs - item.startUs);
        const int answer = rowOf(item.answer);
        if (answer >= 0)
            text += u" · 应答 " + MsText(rows_[size_t(answer)].startUs - item.endUs);
        if (const int idle = rowOf(item.idle); idle >= 0 && answer >= 0)
            text += u" · 朗读 " + MsText(rows_[size_t(idle)].startUs -
                                          rows_[size_t(answer)].startUs);
        if (item.gapUs >= 0)
            text += u" · 间隔 " + MsText(item.gapUs);
        return text;
    }
    default:
        return {};
    }
}

std::vector<FrameFieldRow> MonitorTable::fields(int row) const {
    const TapItem& item = rows_[size_t(row)];
    const std::u16string hex = Utf16FromUtf8(SpacedHex(item.bytes));
    std::vector<FrameFieldRow> fields;
    if (item.kind == TapItem::Kind::Frame)
        fields = DecodeFrame(item.bytes, true).fields;
    else if (item.kind == TapItem::Kind::Status)
        fields.push_back({0, u"状态", hex, TapMeaning(item)});
    else
        fields.push_back({0, u"字节", hex, TapMeaning(item)});
    for (const TapFinding f : item.findings)
        fields.push_back({0, u"发现", u"", std::u16string(TapFindingText(f))});
    return fields;
}

std::u16string MonitorTable::countsText() const {
    int64_t total = 0;
    std::u16string kinds;
    for (int k = 0; k < kTapFindingKinds; ++k) {
        if (counts_[k] == 0)
            continue;
        total += counts_[k];
        kinds += (kinds.empty() ? u"" : u"，") +
                 std::u16string(TapFindingText(static_cast<TapFinding>(k))) + u" " +
                 Number16(counts_[k]);
    }
    std::u16string text = u"帧 " + Number16(frames_) + u" · 状态字节 " + Number16(statusBytes_) +
                          u" · 发现 " + Number16(total);
    return kinds.empty() ? text : text + u"（" + kinds + u"）";
}

bool MonitorTable::writeCsv(const std::function<bool(std::string_view)>& write) const {
    return WriteCsv(
        MonitorHeaders(), rowCount(), MonitorColumn::Count,
        [this](int row, int column) { return cell(row, column); }, write);
}
