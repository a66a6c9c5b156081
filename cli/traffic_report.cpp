#include "cli/traffic_report.h"

#include "core/frame_codec.h"
#include "qt/qt_text.h"

#include <cerrno>
#include <cstring>

QByteArray JsonString(const QString& text) {
    static const char kHex[] = "0123456789abcdef";
    QByteArray out("\"");
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        switch (u) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

namespace {

QByteArray JsonValue(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return "null";
    case QMetaType::Bool:
        return v.toBool() ? "true" : "false";
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QByteArray::number(v.toLongLong());
    case QMetaType::Double:
        return QByteArray::number(v.toDouble(), 'g', 12);
    default:
        return JsonString(v.toString());
    }
}

// "FD 00 02 21 DE"
QString SpacedHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The log text without its CR: standard output has LF line ends.
QString WithLf(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

TrafficReport::TrafficReport(bool json, FILE* out, const QElapsedTimer& clock)
    : json_(json), out_(out), clock_(clock) {}

QByteArray TrafficReport::object(const QList<QPair<QString, QVariant>>& fields) const {
    QByteArray o("{");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            o += ", ";
        o += JsonString(fields[i].first) + ": " + JsonValue(fields[i].second);
    }
    return o + "}";
}

void TrafficReport::emitBytes(const QByteArray& bytes) {
    if (failed_)
        return;
    errno = 0;
    const size_t n = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out_);
    // A script reading a pipe sees each line as it happens.
    if (std::fflush(out_) != 0 || n != static_cast<size_t>(bytes.size())) {
        failed_ = true;
        failure_ = QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO));
        // What the stream still holds would only fail again at exit.
        std::clearerr(out_);
    }
}

void TrafficReport::put(const QByteArray& line) {
    emitBytes(line + '\n');
}

void TrafficReport::frameOut(const QByteArray& frame) {
    const QString log = WithLf(ToQString(FrameLogText(ToStdBytes(frame))));
    if (!json_) {
        emitBytes(log.toUtf8());
        return;
    }
    put(object({{QStringLiteral("t_ms"), clock_.elapsed()},
                {QStringLiteral("dir"), QStringLiteral("out")},
                {QStringLiteral("hex"), SpacedHex(frame)},
                {QStringLiteral("log"), log.chopped(1)}}));
}

void TrafficReport::byteIn(uint8_t byte, const QString& log) {
    if (!json_) {
        if (!log.isEmpty())
            put(log.toUtf8());
        return;
    }
    put(object({{QStringLiteral("t_ms"), clock_.elapsed()},
                {QStringLiteral("dir"), QStringLiteral("in")},
                {QStringLiteral("hex"), SpacedHex(QByteArray(1, static_cast<char>(byte)))},
                {QStringLiteral("log"), log.isEmpty() ? QVariant() : QVariant(log)}}));
}

void TrafficReport::line(const QString& text, const QList<QPair<QString, QVariant>>& jsonFields) {
    put(json_ ? object(jsonFields) : text.toUtf8());
}

void TrafficReport::result(const QString& result, int status,
                           const QList<QPair<QString, QVariant>>& fields) {
    if (!json_)
        return;
    QList<QPair<QString, QVariant>> all{{QStringLiteral("result"), result},
                                        {QStringLiteral("status"), status}};
    all += fields;
    put(object(all));
}

void TrafficReport::unexpected(uint8_t byte, const QString& awaiting, int frame) {
    if (!json_)
        return;
    put(object({{QStringLiteral("t_ms"), clock_.elapsed()},
                {QStringLiteral("unexpected"), SpacedHex(QByteArray(1, static_cast<char>(byte)))},
                {QStringLiteral("awaiting"), awaiting},
                {QStringLiteral("frame"), frame}}));
}
