// Text files opened into and saved from the text boxes. Plain code.
#pragma once

#include "core/text_decode.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Text to file bytes, without a byte-order mark. Nothing when a character
// has no code in the encoding (GBK), so that nothing is lost unnoticed.
std::optional<QByteArray> EncodeText(const QString& text, TextEncoding encoding);

// Files larger than this are refused, as the initial text file is.
constexpr qint64 kTextFileMaxBytes = 1024 * 1024;

// Reads a whole text file and decodes it (core/text_decode.h). On failure
// returns nothing and says why in *error (a file over the limit, a missing or
// unreadable file).
std::optional<DecodedText> ReadTextFile(const QString& path, QString* error);

// Writes the text to path (replacing the file only once all is written). On
// failure returns false and says why in *error.
bool WriteTextFile(const QString& path, const QString& text, TextEncoding encoding, QString* error);
