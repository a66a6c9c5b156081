#include "qt/traffic_table.h"

#include "qt/qt_text.h"

#include <QDateTime>

int64_t QtUtcOffset(int64_t epochMs) {
    return int64_t(QDateTime::fromMSecsSinceEpoch(epochMs).offsetFromUtc()) * 1000;
}

QStringList TrafficHeadersQt() {
    return ToQStringList(TrafficHeaders());
}

QString TrafficCell(const TrafficRecord& record, int row, int column) {
    return ToQString(TrafficCell(record, row, column, QtUtcOffset));
}

QString CsvField(const QString& text) {
    return ToQString(CsvField(ToU16(text)));
}

bool WriteTrafficCsv(const TrafficRecord& record, QIODevice& out) {
    return WriteTrafficCsv(record, QtUtcOffset, [&out](std::string_view bytes) {
        return out.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
    });
}
