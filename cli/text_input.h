// The text that speak sends: from the command line, a file or standard input.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A file's bytes as text: UTF-8 when they are valid UTF-8 (a byte-order mark
// is dropped), UTF-16 when they start with its byte-order mark, GBK
// otherwise. Nothing when a UTF-16 text is cut in half or holds a broken
// surrogate pair.
std::optional<QString> DecodeTextFile(const QByteArray& bytes);

// UTF-8 only; nothing when bytes are not valid UTF-8.
std::optional<QString> DecodeUtf8(const QByteArray& bytes);

// Every line break as the window's text box holds it: CR LF. A lone CR or LF
// becomes CR LF.
QString WithCrLf(const QString& text);

// The most bytes a text file or standard input may hold.
inline constexpr qint64 kMaxTextFileBytes = 64 * 1024 * 1024;

// Reads a whole file ("-": standard input) up to kMaxTextFileBytes. On
// failure returns nothing and sets *reason.
std::optional<QByteArray> ReadAllOf(const QString& path, QString* reason);
