// The order of the two taps' bytes: which came first when both arrive in
// one turn, a frame held while an older one awaits its answer, an answer
// whose frame is late held for it (core/tap_monitor.h).
#include "core/tap_monitor.h"

#include "core/line_rates.h"
#include "core/tap_bytes.h"

#include <algorithm>

using namespace tap_bytes;

void TapMonitor::Feed(TapSide side, int64_t tUs, std::string_view bytes) {
    if (side == TapSide::Host)
        FeedTogether(tUs, bytes, {});
    else
        FeedTogether(tUs, {}, bytes);
}

size_t TapMonitor::nextHostItem(std::string_view host, size_t pos) const {
    const std::string_view rest = host.substr(pos);
    if (host_.active && host_.kind == TapItem::Kind::Frame) {
        const std::string joined = host_.bytes + std::string(rest.substr(0, 3));
        const size_t declared = DeclaredSize(joined);
        if (declared == 0 || declared <= host_.bytes.size())
            return std::min<size_t>(rest.size(), 1);
        return std::min(rest.size(), declared - host_.bytes.size());
    }
    if (Byte(rest, 0) != kFrameHeader) {
        const size_t header = rest.find(static_cast<char>(kFrameHeader));
        return header == std::string_view::npos ? rest.size() : header;
    }
    const size_t declared = DeclaredSize(rest);
    return declared == 0 ? rest.size() : std::min(rest.size(), declared);
}

bool TapMonitor::olderWhole() const {
    const size_t declared = DeclaredSize(host_.bytes);
    return host_.active && host_.kind == TapItem::Kind::Frame && declared != 0 &&
           host_.bytes.size() >= declared;
}

bool TapMonitor::causeUnseen(uint8_t b) const {
    if (!awaiting_.empty() || olderWhole())
        return false;
    if (b == ChipStatus::Received || b == ChipStatus::Failed || b == ChipStatus::Speaking)
        return true;
    return b == ChipStatus::Idle && speaking_ < 0;
}

void TapMonitor::FeedTogether(int64_t tUs, std::string_view fresh, std::string_view chip) {
    // The bytes of a turn may have been waiting since the line carried them
    // (a reader that was late, a busy machine): what they end or expire is
    // judged from the earliest time they can have come at the line's rate,
    // so that a late read is no pause of the line.
    const int64_t byteUs = 10'000'000 / std::max(RateOfIndex(rateIndex_), 1);
    Advance(tUs - static_cast<int64_t>(std::max(fresh.size(), chip.size())) * byteUs);
    for (const char c : chip)
        held_.push_back({c, tUs});
    // The controller's bytes held back before come first, at their own times.
    std::string host;
    std::vector<int64_t> heldTimes;
    for (const Held& h : heldHost_) {
        host += h.byte;
        heldTimes.push_back(h.tUs);
    }
    heldHost_.clear();
    host += fresh;
    const auto timeOf = [&](size_t i) { return i < heldTimes.size() ? heldTimes[i] : tUs; };
    const auto feedHost = [&](size_t from, size_t n) {
        for (size_t i = from; i < from + n; ++i)
            hostByte(timeOf(i), host[i]);
    };
    size_t fed = 0;
    while (!held_.empty()) {
        const uint8_t b = static_cast<uint8_t>(held_.front().byte);
        const bool acceptance = b == ChipStatus::Received || b == ChipStatus::Failed;
        const bool status = b == ChipStatus::Speaking || b == ChipStatus::Idle;
        // The controller's next item goes first when it is bytes of no
        // frame, or a frame this byte answers (none older waits, and it is
        // 0x41/0x45, or a query's status); a frame not yet whole keeps the
        // chip's bytes waiting with it.
        bool wait = false;
        while (fed < host.size()) {
            const size_t n = nextHostItem(host, fed);
            const std::string item =
                (host_.active ? host_.bytes : std::string()) + host.substr(fed, n);
            const bool stray = Byte(item, 0) != kFrameHeader;
            const bool query = item.compare(0, 4, std::string_view("\xFD\x00\x02\x21", 4)) == 0;
            const bool answered =
                awaiting_.empty() && !olderWhole() && (acceptance || (status && query));
            if (!stray && !answered)
                break;
            const size_t declared = DeclaredSize(item);
            feedHost(fed, n);
            fed += n;
            if (!stray && (declared == 0 || item.size() < declared)) {
                wait = true;
                break;
            }
        }
        // An answer whose frame has not come yet waits a while for the
        // controller's side: the two ports' bytes reach us with delays of
        // their own.
        if (wait ||
            (fed == host.size() && causeUnseen(b) && tUs - held_.front().tUs < options_.reorderUs))
            break;
        Feed1(TapSide::Chip, held_.front().tUs, std::string_view(&held_.front().byte, 1));
        held_.pop_front();
    }
    // A frame begun goes on; a new one while an older frame still awaits its
    // answer, or while the chip still speaks, waits a while for the chip's
    // side, whose answer or end of speech may come later over its own port.
    while (fed < host.size()) {
        const bool continues = host_.active && host_.kind == TapItem::Kind::Frame && !olderWhole();
        const bool unsettled = !awaiting_.empty() || olderWhole() || speaking_ >= 0;
        if (!continues && Byte(host, fed) == kFrameHeader && unsettled &&
            tUs - timeOf(fed) < options_.reorderUs) {
            for (; fed < host.size(); ++fed)
                heldHost_.push_back({host[fed], timeOf(fed)});
            break;
        }
        const size_t n = nextHostItem(host, fed);
        feedHost(fed, n);
        fed += n;
    }
}

void TapMonitor::feedHeldHost() {
    for (; !heldHost_.empty(); heldHost_.pop_front())
        hostByte(heldHost_.front().tUs, heldHost_.front().byte);
}

void TapMonitor::Feed1(TapSide side, int64_t tUs, std::string_view bytes) {
    for (const char b : bytes) {
        if (side == TapSide::Host)
            hostByte(tUs, b);
        else
            chipByte(tUs, b);
    }
}
