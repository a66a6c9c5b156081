// The record of the traffic on the line: every frame handed to the port and
// every status byte the reply handler looks at, with the wall-clock time and
// the frame each reply answers. Lives as long as the window. Plain code.
// A line that babbles for days must not grow it without end: it keeps the
// last kMaxRecords records and counts the ones it let go.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class TrafficRecord {
  public:
    enum class Direction : uint8_t { Sent, Received };

    // One record; the bytes themselves sit in the record's byte store.
    struct Entry {
        int64_t timeMs;   // wall clock, ms since the epoch
        const char* data; // the bytes (stable until Clear)
        uint32_t size;    // their number
        Direction direction;
        bool baudPending; // a reply: read while a rate change waited
        uint16_t us;      // the microseconds past timeMs (0..999); 0 from a ms clock
        int64_t linkA;    // numbered since Clear: sent: first 0x41 answering it;
                          // reply: the frame it answers
        int64_t linkB;    // sent: first 0x4F answering it
    };

    static constexpr int kMaxRecords = 100000;
    // Past kMaxRecords this many of the oldest go at once.
    static constexpr int kDropBatch = kMaxRecords / 16;

    // Milliseconds since the epoch; the system clock unless one is given.
    using Clock = std::function<int64_t()>;
    explicit TrafficRecord(Clock clock = {});
    TrafficRecord(const TrafficRecord&) = delete;
    TrafficRecord& operator=(const TrafficRecord&) = delete;
    void SetClock(Clock clock);

    // Told of every change as it happens (the analysis window's table).
    struct Listener {
        virtual ~Listener() = default;
        virtual void Appended(int /*row*/) {}
        virtual void Changed(int /*row*/) {} // a sent frame got its first 0x41 or 0x4F
        virtual void Cleared() {}
        // The oldest count rows went: every row moved up by count.
        virtual void DroppedFront(int /*count*/) {}
    };
    // A listener stays registered until removed; it must be removed before
    // it goes. Several may listen; each is told in the order added.
    // Listening changes nothing in the record: a const record takes listeners.
    void AddListener(Listener* listener) const;
    void RemoveListener(Listener* listener) const;

    void RecordSent(std::string_view frame);
    // A status byte as the reply handler reads it. It answers the frame
    // handed to the port last.
    void RecordReply(uint8_t status, bool baudPending);
    // As above at a time of the caller's (µs since the epoch): traffic read
    // back from a capture file.
    void RecordSentAt(int64_t timeUs, std::string_view frame);
    void RecordReplyAt(int64_t timeUs, uint8_t status, bool baudPending);
    void Clear();
    // The most records kept (kMaxRecords unless set): a record filled from a
    // file keeps all of it.
    void SetLimit(int maxRecords);

    int Count() const { return static_cast<int>(entries_.size()); }
    // The records let go since the last Clear: row 0 is record Dropped() + 1.
    int64_t Dropped() const { return first_; }
    const Entry& At(int row) const { return entries_[static_cast<size_t>(row)]; }
    // A record's time in µs since the epoch.
    int64_t TimeUs(int row) const { return At(row).timeMs * 1000 + At(row).us; }
    std::string_view Bytes(int row) const {
        const Entry& e = At(row);
        return std::string_view(e.data, e.size);
    }
    // For a reply, the frame it answers; -1 when none was sent before it.
    int Answers(int row) const;
    // For a sent frame, its first 0x41 and first 0x4F reply; -1 while none.
    int AcceptedBy(int row) const;
    int IdleAfter(int row) const;

  private:
    const char* Store(std::string_view bytes);
    void DropOldest();
    // A record's number since Clear as a row; -1 once it was let go.
    int RowOf(int64_t number) const {
        return number < first_ ? -1 : static_cast<int>(number - first_);
    }
    template <typename Tell> void TellAll(Tell tell);

    Clock clock_;
    std::deque<Entry> entries_;
    int64_t first_ = 0; // the number of entries_.front()
    // Bytes in blocks that never move, so that the records can point at them
    // and the store wastes at most the rest of one block. A block goes with
    // the last record in it (last: that record's number).
    struct Block {
        std::unique_ptr<char[]> bytes;
        int64_t last;
    };
    std::deque<Block> blocks_;
    size_t blockUsed_ = 0;
    size_t blockSize_ = 0;
    int64_t lastSent_ = -1;
    int limit_ = kMaxRecords;
    mutable std::vector<Listener*> listeners_;
};
