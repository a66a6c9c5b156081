#include "core/traffic_table.h"

#include "core/reply_status.h"
#include "core/text_util.h"

#include <cstdio>
#include <iterator>

namespace {

std::u16string Hex2(uint8_t b) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 15]};
}

uint8_t Status(const TrafficRecord& r, int row) {
    return static_cast<uint8_t>(r.Bytes(row)[0]);
}

std::u16string ReplyMeaning(const TrafficRecord& r, int row) {
    const uint8_t status = Status(r, row);
    const std::u16string text = ReplyLogText(status, r.At(row).baudPending);
    return text.empty() ? u"0x" + Hex2(status) + u" 不是状态字节，已忽略" : text;
}

std::u16string Ms(int64_t ms) {
    return Number16(ms) + u" ms";
}

std::u16string Elapsed(const TrafficRecord& r, int row) {
    const TrafficRecord::Entry& e = r.At(row);
    if (e.direction == TrafficRecord::Direction::Received) {
        const int frame = r.Answers(row);
        return frame < 0 ? std::u16string() : Ms(e.timeMs - r.At(frame).timeMs);
    }
    const FrameTimes t = TimesOf(r, row);
    std::u16string text;
    const auto add = [&text](std::u16string part) {
        if (!text.empty())
            text += u"，";
        text += part;
    };
    if (t.acceptMs >= 0)
        add(u"接收 " + Ms(t.acceptMs));
    if (t.idleMs >= 0)
        add(u"播音 " + Ms(t.idleMs));
    if (t.charsPerSecond > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f", t.charsPerSecond);
        add(Utf16FromUtf8(rate) + u" 字/秒");
    }
    return text;
}

} // namespace

const std::vector<std::u16string>& TrafficHeaders() {
    static const std::vector<std::u16string> headers{u"时间", u"方向", u"字节",
                                                     u"含义", u"校验", u"耗时"};
    return headers;
}

const std::vector<std::u16string>& TrafficFieldHeaders() {
    static const std::vector<std::u16string> headers{u"偏移", u"字段", u"值", u"含义"};
    return headers;
}

std::u16string_view TrafficColumnSample(int column) {
    static constexpr std::u16string_view kWidest[] = {
        u"00:00:00.000",
        u"接收",
        u"FD 00 07 01 01 C4 E3 BA C3 A4",
        u"<-0x41  接收成功   波特率已修改成功",
        u"✗ 应为 0xF2；长度字段 15，实有 14",
        u"接收 1000 ms，播音 10000 ms，10.0 字/秒",
    };
    if (column < 0 || column >= int(std::size(kWidest)))
        return {};
    return kWidest[column];
}

std::u16string ClockText(int64_t epochMs, const UtcOffset& offset) {
    const int64_t day = 24 * 3600 * 1000;
    int64_t ms = (epochMs + (offset ? offset(epochMs) : 0)) % day;
    if (ms < 0)
        ms += day;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000 % 60),
                  int(ms / 1000 % 60), int(ms % 1000));
    return Utf16FromUtf8(text);
}

FrameTimes TimesOf(const TrafficRecord& r, int row) {
    FrameTimes t;
    const TrafficRecord::Entry& e = r.At(row);
    if (e.direction != TrafficRecord::Direction::Sent)
        return t;
    const int accepted = r.AcceptedBy(row);
    const int idle = r.IdleAfter(row);
    if (accepted >= 0)
        t.acceptMs = r.At(accepted).timeMs - e.timeMs;
    if (idle >= 0)
        t.idleMs = r.At(idle).timeMs - e.timeMs;
    // The chip speaks from its acceptance to its idle report.
    if (accepted >= 0 && idle > accepted && t.idleMs > t.acceptMs) {
        const FrameDecode d = DecodeFrame(r.Bytes(row));
        if (d.text && d.textCharacters > 0)
            t.charsPerSecond = d.textCharacters * 1000.0 / double(t.idleMs - t.acceptMs);
    }
    return t;
}

std::u16string TrafficCell(const TrafficRecord& r, int row, int column, const UtcOffset& offset) {
    const TrafficRecord::Entry& e = r.At(row);
    const bool sent = e.direction == TrafficRecord::Direction::Sent;
    switch (column) {
    case TrafficColumn::Time:
        return ClockText(e.timeMs, offset);
    case TrafficColumn::Direction:
        return sent ? u"发送" : u"接收";
    case TrafficColumn::Bytes:
        return HexBytes(r.Bytes(row));
    case TrafficColumn::Meaning:
        return sent ? DecodeFrame(r.Bytes(row)).meaning : ReplyMeaning(r, row);
    case TrafficColumn::Check:
        if (sent)
            return DecodeFrame(r.Bytes(row)).check;
        // A status byte has no checksum: right when it is one the chip sends.
        return ReplyLogText(Status(r, row), false).empty() ? u"✗ 不是状态字节" : u"✓";
    case TrafficColumn::Elapsed:
        return Elapsed(r, row);
    default:
        return {};
    }
}

std::vector<FrameFieldRow> TrafficFields(const TrafficRecord& r, int row) {
    if (r.At(row).direction == TrafficRecord::Direction::Sent)
        return DecodeFrame(r.Bytes(row), true).fields;
    return {FrameFieldRow{0, u"状态", Hex2(Status(r, row)), ReplyMeaning(r, row)}};
}

std::u16string CsvField(std::u16string_view text) {
    if (text.find_first_of(u",\"\r\n") == std::u16string_view::npos)
        return std::u16string(text);
    std::u16string quoted = u"\"";
    for (char16_t c : text) {
        quoted += c;
        if (c == u'"')
            quoted += u'"';
    }
    return quoted + u'"';
}

bool WriteCsv(const std::vector<std::u16string>& headers, int rows, int columns,
              const std::function<std::u16string(int row, int column)>& cell,
              const std::function<bool(std::string_view)>& write) {
    const auto line = [](const auto& cells, std::string& out) {
        std::u16string s;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i)
                s += u',';
            s += CsvField(cells[i]);
        }
        s += u"\r\n";
        out += Utf8FromUtf16(s);
    };
    std::string chunk("\xEF\xBB\xBF");
    line(headers, chunk);
    std::vector<std::u16string> cells(static_cast<size_t>(columns));
    for (int row = 0; row < rows; ++row) {
        for (int c = 0; c < columns; ++c)
            cells[size_t(c)] = cell(row, c);
        line(cells, chunk);
        if (chunk.size() > 1 << 20) {
            if (!write(chunk))
                return false;
            chunk.clear();
        }
    }
    return write(chunk);
}

bool WriteTrafficCsv(const TrafficRecord& r, const UtcOffset& offset,
                     const std::function<bool(std::string_view)>& write) {
    return WriteCsv(
        TrafficHeaders(), r.Count(), TrafficColumn::Count,
        [&](int row, int column) { return TrafficCell(r, row, column, offset); }, write);
}

std::u16string AnalysisTitle(int64_t dropped) {
    std::u16string title(kAnalysisTitle);
    if (dropped > 0)
        title += u"（较早的 " + Utf16FromUtf8(std::to_string(dropped)) + u" 条记录未保留）";
    return title;
}
