#include "qt/traffic_table.h"

#include "core/reply_status.h"
#include "qt/qt_text.h"

#include <QDateTime>

namespace {

QString Hex2(uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

uint8_t Status(const TrafficRecord& r, int row) {
    return static_cast<uint8_t>(r.Bytes(row)[0]);
}

QString ReplyMeaning(const TrafficRecord& r, int row) {
    const uint8_t status = Status(r, row);
    const QString text = ToQString(ReplyLogText(status, r.At(row).baudPending));
    return text.isEmpty() ? QStringLiteral("0x%1 不是状态字节，已忽略").arg(Hex2(status)) : text;
}

QString Elapsed(const TrafficRecord& r, int row) {
    const TrafficRecord::Entry& e = r.At(row);
    if (e.direction == TrafficRecord::Direction::Received) {
        const int frame = r.Answers(row);
        if (frame < 0)
            return QString();
        return QStringLiteral("%1 ms").arg(e.timeMs - r.At(frame).timeMs);
    }
    const FrameTimes t = TimesOf(r, row);
    QStringList parts;
    if (t.acceptMs >= 0)
        parts << QStringLiteral("接收 %1 ms").arg(t.acceptMs);
    if (t.idleMs >= 0)
        parts << QStringLiteral("播音 %1 ms").arg(t.idleMs);
    if (t.charsPerSecond > 0)
        parts << QStringLiteral("%1 字/秒").arg(t.charsPerSecond, 0, 'f', 1);
    return parts.join(QStringLiteral("，"));
}

} // namespace

QStringList TrafficHeaders() {
    return {QStringLiteral("时间"), QStringLiteral("方向"), QStringLiteral("字节"),
            QStringLiteral("含义"), QStringLiteral("校验"), QStringLiteral("耗时")};
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

QString TrafficCell(const TrafficRecord& r, int row, int column) {
    const TrafficRecord::Entry& e = r.At(row);
    const bool sent = e.direction == TrafficRecord::Direction::Sent;
    switch (column) {
    case TrafficColumn::Time:
        return QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    case TrafficColumn::Direction:
        return sent ? QStringLiteral("发送") : QStringLiteral("接收");
    case TrafficColumn::Bytes:
        return ToQString(HexBytes(r.Bytes(row)));
    case TrafficColumn::Meaning:
        return sent ? ToQString(DecodeFrame(r.Bytes(row)).meaning) : ReplyMeaning(r, row);
    case TrafficColumn::Check:
        if (sent)
            return ToQString(DecodeFrame(r.Bytes(row)).check);
        // A status byte has no checksum: right when it is one the chip sends.
        return ReplyLogText(Status(r, row), false).empty() ? QStringLiteral("✗ 不是状态字节")
                                                             : QStringLiteral("✓");
    case TrafficColumn::Elapsed:
        return Elapsed(r, row);
    default:
        return QString();
    }
}

std::vector<FrameFieldRow> TrafficFields(const TrafficRecord& r, int row) {
    if (r.At(row).direction == TrafficRecord::Direction::Sent)
        return DecodeFrame(r.Bytes(row), true).fields;
    return {
        FrameFieldRow{0, u"状态", ToU16(Hex2(Status(r, row))), ToU16(ReplyMeaning(r, row))}};
}

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool WriteTrafficCsv(const TrafficRecord& r, QIODevice& out) {
    const auto line = [](const QStringList& cells) {
        QString s;
        for (int i = 0; i < cells.size(); ++i) {
            if (i)
                s += QLatin1Char(',');
            s += CsvField(cells[i]);
        }
        s += QLatin1String("\r\n");
        return s.toUtf8();
    };
    QByteArray chunk("\xEF\xBB\xBF");
    chunk += line(TrafficHeaders());
    for (int row = 0; row < r.Count(); ++row) {
        QStringList cells;
        for (int c = 0; c < TrafficColumn::Count; ++c)
            cells << TrafficCell(r, row, c);
        chunk += line(cells);
        if (chunk.size() > 1 << 20) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size();
}
