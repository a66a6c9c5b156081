#include "core/traffic_capture.h"

#include "core/comm_control.h"
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

bool WriteTrafficCapture(const TrafficRecord& record, const CaptureInterface& line,
                         const std::function<bool(std::string_view)>& write) {
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
        {line}, CaptureApplication());
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
    return capture.ok() && write(chunk);
}

namespace {

// A status byte's comment says whether a rate change waited when it came.
bool BaudPending(uint8_t status, std::string_view comment) {
    const std::u16string pending = ReplyLogText(status, true);
    return !comment.empty() && pending != ReplyLogText(status, false) &&
           comment == Utf8FromUtf16(pending);
}

} // namespace

void RecordCapture(const std::vector<CapturePacket>& packets, TrafficRecord& record) {
    record.SetLimit(INT_MAX);
    for (const CapturePacket& p : packets) {
        if (p.bytes.empty())
            continue;
        const bool frame = p.direction == CaptureDirection::ToChip ||
                           (p.direction == CaptureDirection::Unknown &&
                            static_cast<uint8_t>(p.bytes[0]) == 0xFD);
        if (frame) {
            record.RecordSentAt(p.timeUs, p.bytes);
            continue;
        }
        const bool one = p.bytes.size() == 1;
        for (const char b : p.bytes) {
            const auto status = static_cast<uint8_t>(b);
            record.RecordReplyAt(p.timeUs, status, one && BaudPending(status, p.comment));
        }
    }
}

std::u16string CaptureWindowTitle(std::u16string_view fileName) {
    return std::u16string(kAnalysisTitle) + u" - " + std::u16string(fileName);
}

std::u16string CaptureProblemsText(std::u16string_view fileName, const CaptureContents& contents) {
    if (contents.problems.empty() && !contents.packets.empty())
        return {};
    const std::u16string name(fileName);
    if (contents.packets.empty() && contents.problems.empty())
        return u"抓包文件 " + name + u" 中没有数据包。";
    std::u16string text = contents.packets.empty()
                              ? u"无法读取抓包文件 " + name + u"：\n"
                              : u"抓包文件 " + name + u" 有些内容无法读取：\n";
    for (const std::string& problem : contents.problems)
        text += Utf16FromUtf8(problem) + u"\n";
    if (!contents.packets.empty())
        text += u"能读出的 " + Utf16FromUtf8(std::to_string(contents.packets.size())) +
                u" 个数据包照常显示。";
    return text;
}
