#include "core/initial_text.h"

#include "core/text_read.h"
#include "core/text_util.h"

InitialFile LoadInitialFile(const FileReader& read) {
    FileRead file = ReadSource(read, TextSource::InitialFile, Utf8FromUtf16(kInitialTextFileName));
    InitialFile result;
    if (file.outcome == FileRead::Outcome::Read) {
        result.outcome = InitialFile::Outcome::Read;
        result.bytes = std::move(file.bytes);
    } else if (file.outcome == FileRead::Outcome::TooLarge) {
        result.outcome = InitialFile::Outcome::TooLarge;
    }
    return result;
}

std::u16string ReplacedNotice(std::u16string_view fileName, const DecodedText& text) {
    if (text.replaced == 0)
        return {};
    std::u16string notice(fileName);
    notice += u" 按 ";
    notice += EncodingName(text.encoding);
    notice += u" 读取，有 ";
    notice += Number16(text.replaced);
    notice += u" 处字节不成文字（第一处在第 ";
    notice += Number16(text.firstReplaced + 1);
    notice += u" 字节），已换成 �，发送时为 ?（文件未作任何改动）";
    return notice;
}
