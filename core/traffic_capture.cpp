#include "core/traffic_capture.h"

#include "core/comm_control.h"
#include "core/monitor_view.h"
#include "core/reply_status.h"
#include "core/text_util.h"
#include "core/traffic_table.h"

#include <climits>
#include <cstdlib>

#ifndef VXT4710_VERSION
#define VXT4710_VERSION ""
#endif

CaptureInterface CommCaptureLine(const CommControl& comm) {
    CaptureInterface line;
    line.name = "COM" + std::to_string(comm.CommPort());
    line.rate = std::atoi(comm.Settings().c_str()); // "38400,N,8,1"
    return line;
}

std::string CaptureApplication() {
    const std::string version = VXT4710_VERSION;
    return version.empty() ? "vxt4710" : "vxt4710 " + version;
}

namespace {

// A capture handed to write in pieces of about a megabyte.
bool WriteInPieces(const std::vector<CaptureInterface>& lines,
                   const std::function<bool(std::string_view)>& write,
                   const std::function<void(CaptureWriter&)>& fill) {
    std::string chunk;
    CaptureWriter capture(
        [&](std::string_view bytes) {
            chunk += bytes;
            if (chunk.size() < 1 << 20)
                return true;
            const bool ok = write(chunk);
            chunk.clear();
            return ok;
        },
        lines, CaptureApplication());
    fill(capture);
    return capture.ok() && write(chunk);
}

} // namespace

bool WriteTrafficCapture(const TrafficRecord& record, const CaptureInterface& line,
                         const std::function<bool(std::string_view)>& write) {
    return WriteInPieces({line}, write, [&record](CaptureWriter& capture) {
        CapturePacket packet;
        for (int row = 0; row < record.Count() && capture.ok(); ++row) {
            const bool sent = record.At(row).direction == TrafficRecord::Direction::Sent;
            packet.timeUs = record.TimeUs(row);
            packet.direction = sent ? CaptureDirection::ToChip : CaptureDirection::FromChip;
            packet.bytes = record.Bytes(row);
            // The row's own meaning: a reply's words during a rate change too.
            packet.comment = Utf8FromUtf16(TrafficCell(record, row, TrafficColumn::Meaning, {}));
            capture.add(packet);
        }
    });
}

bool WriteMonitorCapture(const MonitorTable& table, const CaptureInterface& host,
                         const CaptureInterface& chip, int64_t epochStartUs,
                         const std::function<bool(std::string_view)>& write) {
    return WriteInPieces({host, chip}, write, [&](CaptureWriter& capture) {
        for (int row = 0; row < table.rowCount() && capture.ok(); ++row) {
            const TapItem& item = table.item(row);
            const bool toChip = item.side == TapSide::Host;
            capture.add(epochStartUs + item.startUs,
                        toChip ? CaptureDirection::ToChip : CaptureDirection::FromChip, item.bytes,
                        toChip ? 0 : 1);
        }
    });
}

namespace {

// A status byte's comment says whether a rate change waited when it came:
// the words of each byte that has such words of its own, made once.
bool BaudPending(uint8_t status, std::string_view comment) {
    static const std::vector<std::string> pending = [] {
        std::vector<std::string> texts(256);
        for (int b = 0; b < 256; ++b) {
            const std::u16string text = ReplyLogText(uint8_t(b), true);
            if (text != ReplyLogText(uint8_t(b), false))
                texts[size_t(b)] = Utf8FromUtf16(text);
        }
        return texts;
    }();
    return !comment.empty() && comment == pending[status];
}

} // namespace

CaptureRecorded RecordCapture(std::string_view file, TrafficRecord& record) {
    record.SetLimit(INT_MAX);
    CaptureRecorded read;
    CaptureContents contents = ReadCapture(file, [&](const CapturePacketView& p) {
        ++read.packets;
        if (p.bytes.empty())
            return;
        const bool frame =
            p.direction == CaptureDirection::ToChip ||
            (p.direction == CaptureDirection::Unknown && static_cast<uint8_t>(p.bytes[0]) == 0xFD);
        if (frame) {
            record.RecordSentAt(p.timeUs, p.bytes);
            return;
        }
        const bool one = p.bytes.size() == 1;
        for (const char b : p.bytes) {
            const auto status = static_cast<uint8_t>(b);
            record.RecordReplyAt(p.timeUs, status, one && BaudPending(status, p.comment));
        }
    });
    read.problems = std::move(contents.problems);
    return read;
}

std::u16string CaptureWindowTitle(std::u16string_view fileName) {
    return std::u16string(kAnalysisTitle) + u" - " + std::u16string(fileName);
}

std::u16string CaptureProblemsText(std::u16string_view fileName, const CaptureRecorded& read) {
    if (read.problems.empty() && read.packets > 0)
        return {};
    const std::u16string name(fileName);
    if (read.packets == 0 && read.problems.empty())
        return u"抓包文件 " + name + u" 中没有数据包。";
    std::u16string text = read.packets == 0 ? u"无法读取抓包文件 " + name + u"：\n"
                                            : u"抓包文件 " + name + u" 有些内容无法读取：\n";
    for (const std::string& problem : read.problems)
        text += Utf16FromUtf8(problem) + u"\n";
    if (read.packets > 0)
        text += u"能读出的 " + Utf16FromUtf8(std::to_string(read.packets)) + u" 个数据包照常显示。";
    return text;
}
