#include "core/text_files.h"

#include "core/gbk.h"
#include "core/text_read.h"
#include "core/text_util.h"

namespace {
constexpr TextFileFilter kTextFilter{u"文本文件 (*.txt)", u"*.txt", TextEncoding::Utf8};
constexpr TextFileFilter kUtf8Filter{u"UTF-8 文本 (*.txt)", u"*.txt", TextEncoding::Utf8};
constexpr TextFileFilter kGbkFilter{u"GBK 文本 (*.txt)", u"*.txt", TextEncoding::Gbk};

std::u16string Join(std::initializer_list<std::u16string_view> parts) {
    std::u16string s;
    for (std::u16string_view p : parts)
        s += p;
    return s;
}
} // namespace

const TextFileDialog& OpenTextDialog() {
    static const TextFileDialog dialog{false, u"打开文本文件", {kTextFilter}, 0, {}};
    return dialog;
}

const TextFileDialog& SaveTextAsDialog() {
    static const TextFileDialog dialog{true, u"另存为", {kGbkFilter, kUtf8Filter}, 0, u"文本.txt"};
    return dialog;
}

const TextFileDialog& SaveLogDialog() {
    static const TextFileDialog dialog{
        true, u"保存工作记录", {kUtf8Filter, kGbkFilter}, 0, u"工作记录.txt"};
    return dialog;
}

TextEncoding EncodingOfFilter(const TextFileDialog& dialog, int filter) {
    if (filter < 0 || size_t(filter) >= dialog.filters.size())
        filter = 0;
    return dialog.filters.empty() ? TextEncoding::Utf8 : dialog.filters[size_t(filter)].encoding;
}

std::u16string DefaultExtension(const TextFileDialog& dialog) {
    if (dialog.filters.empty())
        return {};
    const size_t chosen = dialog.filter < 0 || size_t(dialog.filter) >= dialog.filters.size()
                              ? 0
                              : size_t(dialog.filter);
    std::u16string_view pattern = dialog.filters[chosen].pattern;
    pattern = pattern.substr(0, pattern.find(u';')); // "*.txt;*.log": the first
    if (pattern.substr(0, 2) != u"*.")
        return {};
    pattern.remove_prefix(2);
    if (pattern.empty() || pattern.find_first_of(u"*?.") != std::u16string_view::npos)
        return {};
    return std::u16string(pattern);
}

std::optional<std::string> EncodeText(std::u16string_view text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return Utf8FromUtf16(text);
    case TextEncoding::Utf16: {
        std::string bytes;
        bytes.reserve(text.size() * 2);
        for (char16_t unit : text) {
            bytes.push_back(char(unit & 0xFF));
            bytes.push_back(char(unit >> 8));
        }
        return bytes;
    }
    case TextEncoding::Gbk: {
        std::string bytes;
        bytes.reserve(text.size() * 2);
        for (char16_t unit : text) {
            const GbkCode code = GbkCodeOf(unit);
            // '?' stands for every character GBK lacks (and surrogates).
            if (code.size == 1 && code.bytes[0] == '?' && unit != u'?')
                return std::nullopt;
            bytes.append(reinterpret_cast<const char*>(code.bytes), code.size);
        }
        return bytes;
    }
    }
    return std::nullopt;
}

std::optional<DecodedText> OpenedText(std::u16string_view fileName, const FileRead& read,
                                      std::u16string* error) {
    switch (read.outcome) {
    case FileRead::Outcome::Missing:
    case FileRead::Outcome::NotAFile:
        *error = Join({fileName, u" 不存在或不是文件，未载入"});
        return std::nullopt;
    case FileRead::Outcome::Unreadable:
        *error = Join({fileName, u" 无法读取，未载入：", Utf16FromUtf8(read.reason)});
        return std::nullopt;
    case FileRead::Outcome::TooLarge:
    case FileRead::Outcome::Read:
        break;
    }
    if (read.outcome == FileRead::Outcome::TooLarge ||
        int64_t(read.bytes.size()) > kOpenTextMaxBytes) {
        *error = Join({fileName, u" 超过1MB，未载入（文件未作任何改动）"});
        return std::nullopt;
    }
    return DecodeTextFile(read.bytes);
}

std::optional<DecodedText> OpenTextFile(const FileReader& read, const std::string& path,
                                        std::u16string_view fileName, std::u16string* error) {
    return OpenedText(fileName, ReadSource(read, TextSource::OpenedFile, path), error);
}

std::u16string UnwritableFileMessage(std::u16string_view fileName, std::u16string_view reason) {
    return Join({u"无法写入 ", fileName, u"：", reason});
}
