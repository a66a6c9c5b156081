#include "core/tap_monitor.h"

#include "core/tap_bytes.h"

#include "core/commands.h"
#include "core/frame_decode.h"
#include "core/line_rates.h"
#include "core/reply_status.h"
#include "core/text_util.h"

#include <algorithm>

namespace {

struct FindingName {
    std::string_view key;
    std::u16string_view text;
};

constexpr FindingName kFindingNames[kTapFindingKinds] = {
    {"bad_checksum", u"校验错误"},
    {"bad_length", u"长度字段不符"},
    {"unknown_command", u"未知命令"},
    {"stray_bytes", u"不属于任何帧的字节"},
    {"bad_text", u"文本编码无效"},
    {"cuts_speech", u"播放中发送文本，打断播放"},
    {"no_answer", u"没有应答"},
    {"early_frame", u"前一帧未应答即发送"},
    {"rate_not_followed", u"未按新波特率发送"},
};

} // namespace

using namespace tap_bytes;

int64_t TapItemBytes(const TapItem& item) {
    // Not the findings: they come later, and the sum must not drift.
    return static_cast<int64_t>(sizeof(TapItem) + item.bytes.size());
}

std::string_view TapFindingKey(TapFinding finding) {
    return kFindingNames[static_cast<int>(finding)].key;
}

std::u16string_view TapFindingText(TapFinding finding) {
    return kFindingNames[static_cast<int>(finding)].text;
}

TapMonitor::TapMonitor() : TapMonitor(Options{}) {}

TapMonitor::TapMonitor(Options options) : options_(options), rateIndex_(options.rateIndex) {}

int64_t TapMonitor::FindingTotal() const {
    int64_t total = 0;
    for (const int64_t n : counts_)
        total += n;
    return total;
}

void TapMonitor::Advance(int64_t nowUs) {
    // Frames that waited long enough for an older frame's answer go as they
    // are, and so do answers that waited for their frame.
    if (!heldHost_.empty() && nowUs - heldHost_.front().tUs >= options_.reorderUs)
        feedHeldHost();
    while (!held_.empty() && nowUs - held_.front().tUs >= options_.reorderUs) {
        Feed1(TapSide::Chip, held_.front().tUs, std::string_view(&held_.front().byte, 1));
        held_.pop_front();
    }
    if (host_.active && nowUs - host_.lastUs >= options_.silenceUs)
        endHost();
    if (chipStray_.active && nowUs - chipStray_.lastUs >= options_.silenceUs)
        endChipStray();
    expire(nowUs);
}

void TapMonitor::Finish(int64_t nowUs) {
    feedHeldHost();
    for (; !held_.empty(); held_.pop_front())
        Feed1(TapSide::Chip, held_.front().tUs, std::string_view(&held_.front().byte, 1));
    endHost();
    endChipStray();
    expire(nowUs);
}

std::vector<int64_t> TapMonitor::TakeChanged() {
    std::vector<int64_t> changed;
    changed.swap(changed_);
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    changed.erase(
        std::remove_if(changed.begin(), changed.end(), [this](int64_t r) { return !Has(r); }),
        changed.end());
    return changed;
}

void TapMonitor::hostByte(int64_t tUs, char byte) {
    const bool header = static_cast<uint8_t>(byte) == kFrameHeader;
    if (host_.active && host_.kind == TapItem::Kind::Frame) {
        const size_t declared = DeclaredSize(host_.bytes);
        const bool whole = declared != 0 && host_.bytes.size() >= declared;
        if (!whole || !header) {
            // Within the declared length anything is the frame's; past it,
            // bytes that start no new frame show the length field is short.
            host_.overlong = host_.overlong || whole;
            host_.bytes += byte;
            host_.lastUs = tUs;
            // No frame is that long: the FD was a byte of something else
            // (a text's, when the watch began mid-frame).
            if (host_.bytes.size() == 3 && DeclaredSize(host_.bytes) > 3 + kMaxFrameLength)
                host_.kind = TapItem::Kind::Stray;
            // A line that never pauses must not grow one row forever.
            if (whole && host_.bytes.size() >= declared + kMaxStrayBytes)
                endHost();
            return;
        }
    }
    if (host_.active && host_.kind == TapItem::Kind::Stray && !header) {
        host_.bytes += byte;
        host_.lastUs = tUs;
        if (host_.bytes.size() >= kMaxStrayBytes)
            endHost();
        return;
    }
    endHost();
    host_ = Pending{
        true, header ? TapItem::Kind::Frame : TapItem::Kind::Stray, std::string(1, byte), tUs, tUs,
        false};
}

void TapMonitor::chipByte(int64_t tUs, char byte) {
    // The chip answers a frame once it has it all: a whole frame or bytes of
    // no frame before are over. A frame still coming goes on: the chip's
    // byte (its end of speech, say) crossed it on the other wire.
    if (host_.active &&
        (host_.kind == TapItem::Kind::Stray ||
         (DeclaredSize(host_.bytes) != 0 && host_.bytes.size() >= DeclaredSize(host_.bytes))))
        endHost();
    const uint8_t status = static_cast<uint8_t>(byte);
    lastChipUs_ = tUs;
    if (!IsStatus(status)) {
        if (!chipStray_.active)
            chipStray_ = Pending{true, TapItem::Kind::Stray, {}, tUs, tUs, false};
        chipStray_.bytes += byte;
        chipStray_.lastUs = tUs;
        if (chipStray_.bytes.size() >= kMaxStrayBytes)
            endChipStray();
        return;
    }
    endChipStray();
    ++statusBytes_;
    TapItem item;
    item.side = TapSide::Chip;
    item.kind = TapItem::Kind::Status;
    item.startUs = item.endUs = tUs;
    item.bytes.assign(1, byte);
    item.ratePending = rateFrame_ >= 0;
    const int64_t at = End();
    if (!awaiting_.empty() && Answers(status, awaitedCommand())) {
        const int64_t frame = awaiting_.front();
        awaiting_.pop_front();
        item.answers = frame;
        if (TapItem* f = row(frame)) {
            f->answer = at;
            touch(frame);
            const uint8_t command = f->bytes.size() > 3 ? Byte(f->bytes, 3) : 0;
            if (status == ChipStatus::Received && command == FrameCommand::Synthesize)
                speaking_ = frame;
        }
        if (frame == rateFrame_) {
            if (status == ChipStatus::Received) {
                rateIndex_ = newRate_;
                rateJustChanged_ = true;
            }
            rateFrame_ = -1;
        }
    } else if (status == ChipStatus::Idle && speaking_ >= 0) {
        item.answers = speaking_;
        if (TapItem* f = row(speaking_)) {
            f->idle = at;
            touch(speaking_);
        }
        speaking_ = -1;
    }
    append(std::move(item));
}

uint8_t TapMonitor::awaitedCommand() const {
    const int64_t frame = awaiting_.front();
    if (!Has(frame) || At(frame).bytes.size() <= 3)
        return 0;
    return Byte(At(frame).bytes, 3);
}

void TapMonitor::endHost() {
    if (!host_.active)
        return;
    Pending p = std::move(host_);
    host_ = Pending{};
    if (p.kind == TapItem::Kind::Frame) {
        emitFrame(p);
        return;
    }
    TapItem item;
    item.kind = TapItem::Kind::Stray;
    item.startUs = p.startUs;
    item.endUs = p.lastUs;
    item.bytes = std::move(p.bytes);
    const bool afterRateChange = rateJustChanged_;
    rateJustChanged_ = false;
    const int64_t r = append(std::move(item));
    addFinding(r, afterRateChange ? TapFinding::RateNotFollowed : TapFinding::StrayBytes);
}

void TapMonitor::endChipStray() {
    if (!chipStray_.active)
        return;
    TapItem item;
    item.side = TapSide::Chip;
    item.kind = TapItem::Kind::Stray;
    item.startUs = chipStray_.startUs;
    item.endUs = chipStray_.lastUs;
    item.bytes = std::move(chipStray_.bytes);
    chipStray_ = Pending{};
    addFinding(append(std::move(item)), TapFinding::StrayBytes);
}

void TapMonitor::emitFrame(Pending& p) {
    ++frames_;
    TapItem item;
    item.kind = TapItem::Kind::Frame;
    item.startUs = p.startUs;
    item.endUs = p.lastUs;
    item.bytes = std::move(p.bytes);
    const int64_t since = std::max(lastChipUs_, lastFrameEndUs_);
    item.gapUs = since < 0 ? -1 : item.startUs - since;
    lastFrameEndUs_ = item.endUs;
    const std::string_view f = item.bytes;
    const FrameDecode decode = DecodeFrame(f);
    const uint8_t command = f.size() > 3 ? Byte(f, 3) : 0;

    std::vector<TapFinding> found;
    const bool afterRateChange = rateJustChanged_;
    rateJustChanged_ = false;
    if (afterRateChange && !decode.ok) {
        // Bytes at the old rate read at the new one: the rest would only
        // name the symptoms.
        found.push_back(TapFinding::RateNotFollowed);
    } else {
        if (decode.rightChecksum)
            found.push_back(TapFinding::BadChecksum);
        if (p.overlong || DeclaredSize(f) != f.size())
            found.push_back(TapFinding::BadLength);
        if (f.size() > 3 && !KnownCommand(command))
            found.push_back(TapFinding::UnknownCommand);
        if (decode.badText)
            found.push_back(TapFinding::BadText);
    }
    if (!awaiting_.empty())
        found.push_back(TapFinding::EarlyFrame);
    if (command == FrameCommand::Synthesize && speaking_ >= 0)
        found.push_back(TapFinding::CutsSpeech);
    if (command == FrameCommand::Synthesize || command == FrameCommand::Stop)
        speaking_ = -1; // what the chip said is over, whatever comes next
    const bool rateChange =
        command == FrameCommand::SetRate && decode.ok && f.size() > 4 && Byte(f, 4) <= 2;
    if (rateChange)
        newRate_ = Byte(f, 4);

    const int64_t r = append(std::move(item));
    if (rateChange)
        rateFrame_ = r;
    for (const TapFinding finding : found)
        addFinding(r, finding);
    awaiting_.push_back(r);
}

int64_t TapMonitor::append(TapItem item) {
    heldBytes_ += TapItemBytes(item);
    rows_.push_back(std::move(item));
    const int64_t r = End() - 1;
    changed_.push_back(r);
    while (static_cast<int64_t>(rows_.size()) > options_.maxRows ||
           (heldBytes_ > options_.maxBytes && rows_.size() > 1)) {
        heldBytes_ -= TapItemBytes(rows_.front());
        rows_.pop_front();
        ++first_;
    }
    return r;
}

void TapMonitor::addFinding(int64_t r, TapFinding finding) {
    ++counts_[static_cast<int>(finding)];
    if (TapItem* item = row(r)) {
        item->findings.push_back(finding);
        touch(r);
    }
}

void TapMonitor::expire(int64_t nowUs) {
    while (!awaiting_.empty()) {
        const int64_t frame = awaiting_.front();
        const TapItem* f = row(frame);
        if (f && nowUs - f->endUs < options_.answerTimeoutUs)
            return;
        awaiting_.pop_front();
        if (frame == rateFrame_)
            rateFrame_ = -1;
        addFinding(frame, TapFinding::NoAnswer);
    }
}

void TapMonitor::touch(int64_t r) {
    changed_.push_back(r);
}

std::u16string TapMeaning(const TapItem& item) {
    switch (item.kind) {
    case TapItem::Kind::Frame:
        return DecodeFrame(item.bytes).meaning;
    case TapItem::Kind::Status: {
        const uint8_t status = Byte(item.bytes, 0);
        return ReplyLogText(status, item.ratePending);
    }
    case TapItem::Kind::Stray:
        break;
    }
    return Number16(static_cast<int64_t>(item.bytes.size())) + u" 字节不属于任何帧";
}

std::u16string TapCheck(const TapItem& item) {
    return item.kind == TapItem::Kind::Frame ? DecodeFrame(item.bytes).check : std::u16string();
}
