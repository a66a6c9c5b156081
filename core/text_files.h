// Text files opened into the text to speak and saved from it and from the
// work log, through the context menus of the two big text boxes: the menu
// entries, what each file dialog offers, the encodings and the messages.
// Reading and writing the file itself is the platform's.
#pragma once

#include "core/file_read.h"
#include "core/text_decode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::u16string_view kOpenTextEntry = u"打开文本文件(&O)…";
inline constexpr std::u16string_view kSaveTextAsEntry = u"另存为(&A)…";
inline constexpr std::u16string_view kSaveLogEntry = u"保存工作记录(&S)…";
inline constexpr std::u16string_view kAnalysisEntry = u"通信分析(&I)…";

// "打开文本文件" refuses files larger than this, as the initial text file
// is refused: a text box takes seconds to lay out many megabytes.
constexpr int64_t kOpenTextMaxBytes = 1024 * 1024;

struct TextFileFilter {
    std::u16string_view label;   // "UTF-8 文本 (*.txt)"
    std::u16string_view pattern; // "*.txt"
    TextEncoding encoding;       // what a save with this filter writes
};

// What a file dialog offers: for saving, one filter per encoding offered.
struct TextFileDialog {
    bool save = false;
    std::u16string_view caption;
    std::vector<TextFileFilter> filters;
    int filter = 0;                // chosen when the dialog opens
    std::u16string_view fileName;  // suggested for saving
};

// "打开文本文件": any text file, decoded by its own encoding.
const TextFileDialog& OpenTextDialog();
// "另存为": GBK by default, the initial text file's encoding, or UTF-8.
const TextFileDialog& SaveTextAsDialog();
// "保存工作记录": the log as it stands, UTF-8 by default, or GBK.
const TextFileDialog& SaveLogDialog();
// What the user chose in a file dialog (the front end's own).
struct FileChoice {
    std::string path;    // UTF-8, as the platform's file service takes it; empty: cancelled
    std::u16string name; // the file's name as the system shows it, for messages
    int filter = 0;      // the filter chosen, from 0
};

// The encoding of a save dialog's chosen filter (its first for one out of range).
TextEncoding EncodingOfFilter(const TextFileDialog& dialog, int filter);
// The extension a name typed without one gets in a dialog: its chosen
// filter's ("*.csv" gives u"csv"); none for a pattern such as "*.*".
std::u16string DefaultExtension(const TextFileDialog& dialog);

// Text to file bytes, without a byte-order mark. Nothing when a character
// has no code in the encoding (GBK), so that nothing is lost unnoticed.
std::optional<std::string> EncodeText(std::u16string_view text, TextEncoding encoding);

// The text of what the platform read for "打开文本文件" (fileName: the
// file's name, for messages), or in *error what the window says instead.
std::optional<DecodedText> OpenedText(std::u16string_view fileName, const FileRead& read,
                                      std::u16string* error);

// Reads the file at path (UTF-8) through read and decodes it by its own
// encoding: OpenedText of ReadSource(read, TextSource::OpenedFile, path).
std::optional<DecodedText> OpenTextFile(const FileReader& read, const std::string& path,
                                        std::u16string_view fileName, std::u16string* error);

// What a failed save says: the text has a character GBK lacks, or the file
// could not be written (reason: the system's).
inline constexpr std::u16string_view kUnencodableMessage =
    u"文本中有 GBK 无法表示的字符，未保存；请选择 UTF-8";
std::u16string UnwritableFileMessage(std::u16string_view fileName, std::u16string_view reason);
