// Text files opened into and saved from the text boxes, for the Qt window:
// the core's reader and rules (core/text_files.h) on the platform's file
// service (platform/files.h).
#pragma once

#include "core/text_files.h"

#include <QString>
#include <optional>

// Reads a whole text file and decodes it. On failure returns nothing and
// says why in *error (a file over the limit, a missing or unreadable file).
std::optional<DecodedText> ReadTextFile(const QString& path, QString* error);

// Writes the text to path (replacing the file only once all is written). On
// failure returns false and says why in *error.
bool WriteTextFile(const QString& path, const QString& text, TextEncoding encoding, QString* error);
