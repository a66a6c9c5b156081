// Small conversions between the core's two string kinds: text is UTF-16
// (std::u16string, counted in units as the window's controls count it),
// bytes and UTF-8 are std::string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// UTF-8 to UTF-16. A byte that starts no valid UTF-8 sequence (overlong
// forms, surrogates and values past U+10FFFF included) becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view utf8);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// Each byte as the character of the same value (ASCII and Latin-1 texts).
std::u16string Latin1ToUtf16(std::string_view bytes);

// A number in decimal, as text.
std::u16string Number16(int64_t value);

// Every occurrence of from in text replaced by to.
std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to);

// The length of the valid UTF-8 sequence at the start of s, 0 when s starts
// with none (or is empty); *codePoint is its value.
std::size_t Utf8SequenceAt(std::string_view s, char32_t* codePoint);

// Bytes from a file, a link or a server as a terminal or a log may show
// them: valid UTF-8 text stays as it is; control characters (escape
// sequences, NUL, C1 controls, DEL) and bytes that are no UTF-8 become \xNN.
// keepTabs leaves a tab as it is.
std::string ShownEscaped(std::string_view bytes, bool keepTabs = false);
