// The initial text file, read once at start-up, and what the window says of
// a text file that held bytes that are no text.
#pragma once

#include "core/file_read.h"
#include "core/text_decode.h"

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::u16string_view kInitialTextFileName = u"初始默认文本.txt";

// What a first start from the Start menu or the menu entry finds in a new
// initial text file (GBK there), so that the first press of play speaks.
inline constexpr std::u16string_view kFirstStartGreeting = u"欢迎使用VXT4710中文语音合成芯片。";

// Files larger than this are not loaded: a text box takes seconds to lay out
// many megabytes, and a frame carries 200 bytes of it anyway. The window then
// keeps its design text and says why.
constexpr int64_t kInitialTextMaxBytes = 1024 * 1024;
inline constexpr std::u16string_view kInitialTextTooLargeMessage =
    u"初始默认文本.txt 超过1MB，未载入（文件未作任何改动）";

// What the window takes from the working directory.
struct InitialFile {
    enum class Outcome {
        Read,        // bytes holds the whole file (an absent file is created empty)
        TooLarge,    // a regular file over kInitialTextMaxBytes, left alone
        Unavailable, // could neither be opened nor created, no regular file, or unreadable
    };
    Outcome outcome = Outcome::Unavailable;
    std::string bytes;
};

// The file in the working directory, through read: created empty when it
// does not exist, left alone when it is over the limit; one that can neither
// be opened nor created, is no file on disk (a folder, a pipe) or cannot be
// read is unavailable.
InitialFile LoadInitialFile(const FileReader& read);

// What the window says of a file in which text.replaced places became U+FFFD
// (nothing when none did).
std::u16string ReplacedNotice(std::u16string_view fileName, const DecodedText& text);
