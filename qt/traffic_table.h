// The traffic record's table (core/traffic_table.h) in Qt's strings, with
// the time in the system's time zone.
#pragma once

#include "core/traffic_table.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

// The local time's offset from UTC, as Qt knows it.
int64_t QtUtcOffset(int64_t epochMs);

QStringList TrafficHeadersQt();

// The text of one cell, the time in local time.
QString TrafficCell(const TrafficRecord& record, int row, int column);

QString CsvField(const QString& text);

// Every row, a header row first, into out. False when the device refused a write.
bool WriteTrafficCsv(const TrafficRecord& record, QIODevice& out);
