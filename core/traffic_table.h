// The traffic record as a table of texts: what the analysis window shows and
// what its CSV export writes, on every platform.
#pragma once

#include "core/frame_decode.h"
#include "core/traffic_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace TrafficColumn {
enum : int { Time, Direction, Bytes, Meaning, Check, Elapsed, Count };
}

// "时间", "方向", "字节", "含义", "校验", "耗时".
const std::vector<std::u16string>& TrafficHeaders();
// "偏移", "字段", "值", "含义": the columns of the field-by-field view.
const std::vector<std::u16string>& TrafficFieldHeaders();

inline constexpr std::u16string_view kAnalysisTitle = u"通信分析";
// The title, which says so once older records were let go:
// "通信分析（较早的 6250 条记录未保留）".
std::u16string AnalysisTitle(int64_t dropped);
inline constexpr std::u16string_view kAnalysisClear = u"清空";
inline constexpr std::u16string_view kAnalysisExport = u"导出CSV(&E)…";
inline constexpr std::u16string_view kAnalysisExportCaption = u"导出CSV";
inline constexpr std::u16string_view kAnalysisCsvFilter = u"CSV 文件 (*.csv)";
inline constexpr std::u16string_view kAnalysisCsvName = u"通信分析.csv";
// The capture files (core/traffic_capture.h) beside the CSV export.
inline constexpr std::u16string_view kAnalysisExportCapture = u"导出抓包文件(&P)…";
inline constexpr std::u16string_view kAnalysisExportCaptureCaption = u"导出抓包文件";
inline constexpr std::u16string_view kAnalysisCaptureFilter = u"抓包文件 (*.pcapng)";
inline constexpr std::u16string_view kAnalysisCaptureName = u"通信分析.pcapng";
inline constexpr std::u16string_view kAnalysisOpenCapture = u"打开抓包文件(&O)…";
inline constexpr std::u16string_view kAnalysisOpenCaptureCaption = u"打开抓包文件";

// What a column holds at its widest in everyday traffic (a short text frame,
// the longest reply line, both checks failing, the times of a text that took
// a while): the width a column opens with. Longer frames are cut; the field
// view shows them.
std::u16string_view TrafficColumnSample(int column);

// The local time's offset from UTC at a moment (ms since the epoch), in ms:
// the platform's time zone. None: UTC.
using UtcOffset = std::function<int64_t(int64_t epochMs)>;

// "hh:mm:ss.zzz" of a moment in local time.
std::u16string ClockText(int64_t epochMs, const UtcOffset& offset);

// The text of one cell.
std::u16string TrafficCell(const TrafficRecord& record, int row, int column,
                           const UtcOffset& offset);

// The fields of one record for the field-by-field view: a frame's fields, or
// the one field of a status byte.
std::vector<FrameFieldRow> TrafficFields(const TrafficRecord& record, int row);

// The times of a sent frame once answered, in ms after it: to its first 0x41
// and to its first 0x4F (-1 while not answered so), and the speaking rate in
// characters per second between the two (0 when it cannot be told).
struct FrameTimes {
    int64_t acceptMs = -1;
    int64_t idleMs = -1;
    double charsPerSecond = 0;
};
FrameTimes TimesOf(const TrafficRecord& record, int row);

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::u16string CsvField(std::u16string_view text);

// A table as CSV: the headers, then each row's cells; UTF-8 with a
// byte-order mark, CR LF line ends, handed to write in pieces of about a
// megabyte. False as soon as a write returns false.
bool WriteCsv(const std::vector<std::u16string>& headers, int rows, int columns,
              const std::function<std::u16string(int row, int column)>& cell,
              const std::function<bool(std::string_view)>& write);

// Every row, a header row first: UTF-8 with a byte-order mark, CR LF line
// ends, handed to write in pieces of about a megabyte. False as soon as a
// write returns false.
bool WriteTrafficCsv(const TrafficRecord& record, const UtcOffset& offset,
                     const std::function<bool(std::string_view)>& write);
