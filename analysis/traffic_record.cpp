#include "analysis/traffic_record.h"

#include "core/reply_status.h"

#include <QDateTime>
#include <cstring>

namespace {
constexpr size_t kBlockBytes = 256 * 1024;
}

TrafficRecord::TrafficRecord(Clock clock) : clock_(std::move(clock)) {}

void TrafficRecord::SetClock(Clock clock) {
    clock_ = std::move(clock);
}

const char* TrafficRecord::Store(QByteArrayView bytes) {
    const size_t n = static_cast<size_t>(bytes.size());
    if (blocks_.empty() || blockUsed_ + n > blockSize_) {
        // A frame larger than a block gets a block of its own size.
        blockSize_ = std::max(kBlockBytes, n);
        blocks_.push_back(std::unique_ptr<char[]>(new char[blockSize_]));
        blockUsed_ = 0;
    }
    char* at = blocks_.back().get() + blockUsed_;
    if (n)
        std::memcpy(at, bytes.data(), n);
    blockUsed_ += n;
    return at;
}

void TrafficRecord::RecordSent(QByteArrayView frame) {
    const int64_t now = clock_ ? clock_() : QDateTime::currentMSecsSinceEpoch();
    entries_.push_back(Entry{now, Store(frame), static_cast<uint32_t>(frame.size()),
                             Direction::Sent, false, -1, -1});
    lastSent_ = Count() - 1;
    emit Appended(lastSent_);
}

void TrafficRecord::RecordReply(uint8_t status, bool baudPending) {
    const int64_t now = clock_ ? clock_() : QDateTime::currentMSecsSinceEpoch();
    const char byte = static_cast<char>(status);
    entries_.push_back(Entry{now, Store(QByteArrayView(&byte, 1)), 1, Direction::Received,
                             baudPending, lastSent_, -1});
    const int row = Count() - 1;
    emit Appended(row);
    if (lastSent_ < 0)
        return;
    Entry& frame = entries_[static_cast<size_t>(lastSent_)];
    if (status == ChipStatus::Received && frame.linkA < 0) {
        frame.linkA = row;
        emit Changed(lastSent_);
    } else if (status == ChipStatus::Idle && frame.linkB < 0) {
        frame.linkB = row;
        emit Changed(lastSent_);
    }
}

void TrafficRecord::Clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    blocks_.clear();
    blockUsed_ = blockSize_ = 0;
    lastSent_ = -1;
    emit Cleared();
}

int TrafficRecord::Answers(int row) const {
    const Entry& e = At(row);
    return e.direction == Direction::Received ? e.linkA : -1;
}

int TrafficRecord::AcceptedBy(int row) const {
    const Entry& e = At(row);
    return e.direction == Direction::Sent ? e.linkA : -1;
}

int TrafficRecord::IdleAfter(int row) const {
    const Entry& e = At(row);
    return e.direction == Direction::Sent ? e.linkB : -1;
}
