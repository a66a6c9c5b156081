// The text that speak sends: from the command line, a file or standard input.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A file's bytes as text, by the console's rule (core/text_decode.h);
// standard input is UTF-8 whatever it holds. A text in which anything would
// become U+FFFD is refused, so that the chip never speaks "?" for what the
// file says: nothing, and *reason says what and where.
std::optional<QString> TextOfFile(const QByteArray& bytes, bool standardInput, QString* reason);

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
