// The traffic record as a table of texts: what the analysis window shows and
// what its CSV export writes. Plain code, no widgets.
#pragma once

#include "core/frame_decode.h"
#include "core/traffic_record.h"

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <vector>

namespace TrafficColumn {
enum : int { Time, Direction, Bytes, Meaning, Check, Elapsed, Count };
}

// "时间", "方向", "字节", "含义", "校验", "耗时".
QStringList TrafficHeaders();

// The text of one cell.
QString TrafficCell(const TrafficRecord& record, int row, int column);

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
QString CsvField(const QString& text);

// Every row, a header row first: UTF-8 with a byte-order mark, CR LF line
// ends. False when the device refused a write.
bool WriteTrafficCsv(const TrafficRecord& record, QIODevice& out);
