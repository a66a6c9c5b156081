// The monitor window's watch, on every system: a thread of the window reads
// both taps (core/tap_watch.h) into a WindowWatch, which stamps and decodes
// them and keeps what changed; the window's own thread takes that on a
// timer into a MonitorTable, whose cells, fields, counts and CSV are what
// the window shows. Reading never waits for the window, nor the window for
// the taps.
#pragma once

#include "core/frame_decode.h" // FrameFieldRow
#include "core/tap_monitor.h"
#include "core/tap_watch.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::u16string_view kMonitorMenu = u"监听两条线路…";
inline constexpr std::u16string_view kMonitorTitle = u"监听两条线路";
inline constexpr std::u16string_view kMonitorHostLabel = u"控制器一侧:";
inline constexpr std::u16string_view kMonitorChipLabel = u"芯片一侧:";
inline constexpr std::u16string_view kMonitorRateLabel = u"速率:";
inline constexpr std::u16string_view kMonitorStart = u"开始";
inline constexpr std::u16string_view kMonitorStop = u"停止";
inline constexpr std::u16string_view kMonitorCsvName = u"监听.csv";
inline constexpr std::u16string_view kMonitorCaptureName = u"监听.pcapng";
inline constexpr std::u16string_view kMonitorStopped = u"已停止";

// The window's status line while a watch runs ("正在监听：控制器一侧 COM2，
// 芯片一侧 COM3，9600 bit/s") or, watching false, once it stopped. A tap's
// failure is shown instead, as the watch says it (MonitorUpdate::failure).
std::u16string MonitorStatusText(bool watching, std::u16string_view host, std::u16string_view chip,
                                 int rateIndex);

namespace MonitorColumn {
enum : int { Direction, Time, Bytes, Meaning, Verdict, Timings, Count };
}
// "方向", "时间", "字节", "含义", "判定", "时序".
const std::vector<std::u16string>& MonitorHeaders();
// What a column holds at its widest in everyday traffic.
std::u16string_view MonitorColumnSample(int column);

// What the watch thread hands over: rows appended or changed since the last
// take, the counts, and how the watch stands.
struct MonitorUpdate {
    std::vector<std::pair<int64_t, TapItem>> rows; // row number, its item now
    int64_t first = 0;                             // rows below were let go
    int64_t counts[kTapFindingKinds] = {};
    int64_t frames = 0;
    int64_t statusBytes = 0;
    int rateIndex = 0;
    bool ended = false;
    std::string failure; // a tap that failed: "chip tap: …" (UTF-8); once
};

// The watch, fed on the thread that reads the taps.
class WindowWatch : public TapWatch {
  public:
    // The watch itself keeps only the recent rows (kWatchRows) that an answer
    // may still change; the table keeps what options say.
    static constexpr int64_t kWatchRows = 20'000;
    WindowWatch(const MonotonicClock& clock, TapMonitor::Options options);

    // t = 0 from here.
    void start();
    // The clock's reading at t = 0 (a row's startUs is counted from it).
    int64_t startedAtUs() const;
    void onTurn(std::string_view host, std::string_view chip) override;
    void onLineFailed(TapSide side, const std::string& name, const LineError& error) override;
    void onTimer() override;
    void interrupt(int signo) override;
    int wakeWithinMs() const override;
    int rateIndex() const override;
    bool done() const override;
    int status() const override;

    // The thread could not open a tap: the watch ends with that message.
    void failBeforeStart(const std::string& message);
    // On the window's thread: what changed since the last take.
    MonitorUpdate take();

  private:
    int64_t nowUs() const;
    void publish(); // with mutex_ held

    const MonotonicClock& clock_;
    TapMonitor::Options options_;
    int64_t startUs_ = 0;
    mutable std::mutex mutex_;
    TapMonitor monitor_;
    std::vector<int64_t> changed_;
    bool done_ = false;
    bool failed_ = false;
    std::string failure_; // until taken
};

// The rows as the window shows them, on the window's thread.
class MonitorTable {
  public:
    // The bounds of what is kept, as the command-line monitor's.
    explicit MonitorTable(int64_t maxRows = 100'000, int64_t maxBytes = 16 << 20)
        : maxRows_(maxRows), maxBytes_(maxBytes) {}

    void clear();
    // Takes an update in; the rows that changed or came (indexes of this
    // table, ascending) are added to *changed when given. Returns whether
    // rows went away at the front (the view redraws then).
    bool apply(const MonitorUpdate& update, std::vector<int>* changed = nullptr);

    int rowCount() const { return static_cast<int>(rows_.size()); }
    const TapItem& item(int row) const { return rows_[size_t(row)]; }
    std::u16string cell(int row, int column) const;
    // Whether a row carries a finding (the view marks it).
    bool marked(int row) const { return !rows_[size_t(row)].findings.empty(); }
    std::vector<FrameFieldRow> fields(int row) const;
    // "帧 12 · 状态字节 11 · 发现 2（校验错误 1，没有应答 1）".
    std::u16string countsText() const;
    int rateIndex() const { return rateIndex_; }
    bool ended() const { return ended_; }
    // UTF-8 with a byte-order mark and CR LF, as the analysis window exports.
    bool writeCsv(const std::function<bool(std::string_view)>& write) const;

  private:
    // The row of a stream row number; -1 when let go or not yet here.
    int rowOf(int64_t number) const;

    int64_t maxRows_;
    int64_t maxBytes_;
    int64_t heldBytes_ = 0;
    std::deque<TapItem> rows_;
    int64_t first_ = 0; // the stream row number of rows_[0]
    int64_t counts_[kTapFindingKinds] = {};
    int64_t frames_ = 0;
    int64_t statusBytes_ = 0;
    int rateIndex_ = 0;
    bool ended_ = false;
};
