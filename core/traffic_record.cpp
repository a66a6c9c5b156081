#include "core/traffic_record.h"

#include "core/reply_status.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {
constexpr size_t kBlockBytes = 256 * 1024;
// The status bytes that time a frame: accepted, and idle again.
constexpr uint8_t kReceived = ChipStatus::Received;
constexpr uint8_t kIdle = ChipStatus::Idle;

int64_t SystemNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// µs since the epoch as ms and the µs past them (also before 1970).
int64_t MsOf(int64_t us) {
    return us >= 0 ? us / 1000 : -((-us + 999) / 1000);
}
uint16_t UsPast(int64_t us) {
    return static_cast<uint16_t>(us - MsOf(us) * 1000);
}
} // namespace

TrafficRecord::TrafficRecord(Clock clock) : clock_(std::move(clock)) {}

void TrafficRecord::SetClock(Clock clock) {
    clock_ = std::move(clock);
}

void TrafficRecord::AddListener(Listener* listener) const {
    listeners_.push_back(listener);
}

void TrafficRecord::RemoveListener(Listener* listener) const {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

// By index: a listener added while the others are told is told too.
template <typename Tell> void TrafficRecord::TellAll(Tell tell) {
    for (size_t i = 0; i < listeners_.size(); ++i)
        tell(*listeners_[i]);
}

const char* TrafficRecord::Store(std::string_view bytes) {
    const size_t n = static_cast<size_t>(bytes.size());
    if (blocks_.empty() || blockUsed_ + n > blockSize_) {
        // A frame larger than a block gets a block of its own size.
        blockSize_ = std::max(kBlockBytes, n);
        blocks_.push_back(Block{std::unique_ptr<char[]>(new char[blockSize_]), 0});
        blockUsed_ = 0;
    }
    blocks_.back().last = first_ + Count(); // the record about to be added
    char* at = blocks_.back().bytes.get() + blockUsed_;
    if (n)
        std::memcpy(at, bytes.data(), n);
    blockUsed_ += n;
    return at;
}

void TrafficRecord::RecordSent(std::string_view frame) {
    RecordSentAt((clock_ ? clock_() : SystemNowMs()) * 1000, frame);
}

void TrafficRecord::RecordReply(uint8_t status, bool baudPending) {
    RecordReplyAt((clock_ ? clock_() : SystemNowMs()) * 1000, status, baudPending);
}

void TrafficRecord::SetLimit(int maxRecords) {
    limit_ = std::max(maxRecords, 16);
}

void TrafficRecord::RecordSentAt(int64_t timeUs, std::string_view frame) {
    DropOldest();
    entries_.push_back(Entry{MsOf(timeUs), Store(frame), static_cast<uint32_t>(frame.size()),
                             Direction::Sent, false, UsPast(timeUs), -1, -1});
    lastSent_ = first_ + Count() - 1;
    const int row = Count() - 1;
    TellAll([row](Listener& l) { l.Appended(row); });
}

void TrafficRecord::RecordReplyAt(int64_t timeUs, uint8_t status, bool baudPending) {
    const char byte = static_cast<char>(status);
    DropOldest();
    entries_.push_back(Entry{MsOf(timeUs), Store(std::string_view(&byte, 1)), 1,
                             Direction::Received, baudPending, UsPast(timeUs), lastSent_, -1});
    const int row = Count() - 1;
    TellAll([row](Listener& l) { l.Appended(row); });
    const int sent = lastSent_ < 0 ? -1 : RowOf(lastSent_);
    if (sent < 0)
        return;
    Entry& frame = entries_[static_cast<size_t>(sent)];
    const int64_t number = first_ + row;
    if (status == kReceived && frame.linkA < 0) {
        frame.linkA = number;
        TellAll([sent](Listener& l) { l.Changed(sent); });
    } else if (status == kIdle && frame.linkB < 0) {
        frame.linkB = number;
        TellAll([sent](Listener& l) { l.Changed(sent); });
    }
}

// Makes room for one more record: a whole batch goes, so that a window
// following the record moves its rows seldom.
void TrafficRecord::DropOldest() {
    if (Count() < limit_)
        return;
    const int batch = limit_ / 16;
    entries_.erase(entries_.begin(), entries_.begin() + batch);
    first_ += batch;
    while (blocks_.size() > 1 && blocks_.front().last < first_)
        blocks_.pop_front();
    TellAll([batch](Listener& l) { l.DroppedFront(batch); });
}

void TrafficRecord::Clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    first_ = 0;
    blocks_.clear();
    blockUsed_ = blockSize_ = 0;
    lastSent_ = -1;
    TellAll([](Listener& l) { l.Cleared(); });
}

int TrafficRecord::Answers(int row) const {
    const Entry& e = At(row);
    return e.direction == Direction::Received && e.linkA >= 0 ? RowOf(e.linkA) : -1;
}

int TrafficRecord::AcceptedBy(int row) const {
    const Entry& e = At(row);
    return e.direction == Direction::Sent && e.linkA >= 0 ? RowOf(e.linkA) : -1;
}

int TrafficRecord::IdleAfter(int row) const {
    const Entry& e = At(row);
    return e.direction == Direction::Sent && e.linkB >= 0 ? RowOf(e.linkB) : -1;
}
