// What vxt4710-cli prints on standard output: the window's work-log text for
// the traffic (LF line ends), or one JSON object per line.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <cstdio>

// A JSON string literal (quotes included) for text.
QByteArray JsonString(const QString& text);

class TrafficReport {
  public:
    // out: where lines go (standard output); clock: started at process start.
    TrafficReport(bool json, FILE* out, const QElapsedTimer& clock);

    // A frame that is about to be written.
    void frameOut(const QByteArray& frame);
    // One byte read; log is its explanation, empty for a byte that is no
    // status byte (shown under --json only).
    void byteIn(uint8_t byte, const QString& log);
    // A plain line of its own (the ports list): printed as it is, or under
    // --json as the given object.
    void line(const QString& text, const QList<QPair<QString, QVariant>>& jsonFields);
    // The final object under --json; nothing otherwise. result: "ok",
    // "rejected", "timeout", "port", ...; fields follow it in order.
    void result(const QString& result, int status,
                const QList<QPair<QString, QVariant>>& fields = {});
    // A status byte the run did not expect at that point (under --json only):
    // awaiting names what it waited for, frame counts from 1.
    void unexpected(uint8_t byte, const QString& awaiting, int frame);

    // A write to out failed (a closed pipe): nothing more is written, the
    // reason is kept.
    bool failed() const { return failed_; }
    QString failure() const { return failure_; }

  private:
    void put(const QByteArray& line);
    void emitBytes(const QByteArray& bytes);
    QByteArray object(const QList<QPair<QString, QVariant>>& fields) const;

    bool json_;
    FILE* out_;
    const QElapsedTimer& clock_;
    bool failed_ = false;
    QString failure_;
};
