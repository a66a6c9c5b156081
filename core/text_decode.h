// Text files to text: the one decoder behind the window's "打开文本文件", its
// initial text file and vxt4710-cli. Plain code, no widgets.
//
// Which encoding: UTF-16 when the file starts with a UTF-16 byte-order mark
// (FF FE little-endian, FE FF big-endian); otherwise UTF-8 when all of it is
// valid UTF-8 (a UTF-8 byte-order mark is dropped); otherwise GBK, all of it.
// A UTF-8 sequence cut off at the end is no valid UTF-8: such a file is GBK.
// The initial text file is always GBK, its bytes taken as they are (a
// byte-order mark is decoded like any other bytes).
//
// The rule for what is no text, the same in every encoding: each of these
// becomes one U+FFFD (shown as "�", sent to the chip as "?"), is counted, and
// the first one's place is kept, so that the caller can say so:
//  - a byte or pair that is no GBK character: 0xFF, a lead byte without a
//    trail byte (at the end of the file too), a pair in the user-defined or
//    unassigned areas (the chip has no sound for them);
//  - a broken UTF-8 sequence (only with UTF-8 forced: a file is GBK then);
//  - a lone UTF-16 surrogate, and the half unit at the end of a UTF-16 file
//    of odd length;
//  - a NUL, in every encoding (a text never holds one; a UTF-16 file without
//    its byte-order mark is full of them).
// Nothing else is changed or dropped: line breaks stay as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class TextEncoding { Utf8, Gbk, Utf16 };

struct DecodedText {
    std::u16string text;
    TextEncoding encoding = TextEncoding::Utf8;
    std::ptrdiff_t replaced = 0;       // how many places became U+FFFD
    std::ptrdiff_t firstReplaced = -1; // byte offset of the first of them, from 0
};

// A text file in whichever encoding it is in, by the rule above.
DecodedText DecodeTextFile(std::string_view bytes);

// Bytes in the given encoding, taken as they are: no byte-order mark is
// looked for, except that UTF-8 and UTF-16 drop one at the start (UTF-16 is
// big-endian unless its mark says little-endian).
DecodedText DecodeTextAs(std::string_view bytes, TextEncoding encoding);

// "UTF-8", "GBK" or "UTF-16", for messages.
std::u16string EncodingName(TextEncoding encoding);
