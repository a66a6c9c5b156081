// The record of the traffic on the line: every frame handed to the port and
// every status byte the reply handler looks at, with the wall-clock time and
// the frame each reply answers. Lives as long as the window. Plain code.
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
        int32_t linkA;    // sent: first 0x41 answering it; reply: the frame it answers
        int32_t linkB;    // sent: first 0x4F answering it
    };

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
    void Clear();

    int Count() const { return static_cast<int>(entries_.size()); }
    const Entry& At(int row) const { return entries_[static_cast<size_t>(row)]; }
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
    template <typename Tell> void TellAll(Tell tell);

    Clock clock_;
    std::deque<Entry> entries_;
    // Bytes in blocks that never move, so that the records can point at them
    // and the store wastes at most the rest of one block.
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t blockUsed_ = 0;
    size_t blockSize_ = 0;
    int32_t lastSent_ = -1;
    mutable std::vector<Listener*> listeners_;
};
