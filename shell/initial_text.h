// The initial text file, read once at start-up.
#pragma once

#include "core/text_decode.h"

#include <QString>
#include <optional>

extern const QString kInitialTextFileName; // "初始默认文本.txt"

// Opens the file in the current working directory, creating it empty when it
// does not exist, and returns its content decoded from GBK, bytes as they are
// (core/text_decode.h: what is no text becomes U+FFFD and is counted).
// Returns nothing when the file can neither be opened nor created, is no
// regular file (a directory, a pipe), or cannot be read.
std::optional<DecodedText> LoadInitialText();

// Files larger than this are not loaded: a text box takes seconds to lay out
// many megabytes, and a frame carries 200 bytes of it anyway. The window then
// keeps its design text and says why.
constexpr qint64 kInitialTextMaxBytes = 1024 * 1024;
extern const QString kInitialTextTooLargeMessage;

// Whether the initial text file exists and is a regular file larger than
// kInitialTextMaxBytes (LoadInitialText then returns nothing).
bool InitialTextTooLarge();
