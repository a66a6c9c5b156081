// What the bytes of a frame mean: the command as its button is captioned, the
// synthesis parameter, the text with its control marks named, and whether
// header, length field and checksum are right. Plain code, no widgets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One field of a frame, for the field-by-field view.
struct FrameFieldRow {
    int offset = 0;
    std::u16string field; // "帧头", "长度", "命令", "参数", "文本", "控制标记", "校验", ...
    std::u16string value;   // the field's bytes in hex ("FD", "00 0F", "C4 E3")
    std::u16string meaning; // "合成", "你", "前景音量 10", "✓", ...
};

struct FrameDecode {
    std::u16string meaning; // one line: "合成 无背景 GBK “你好”", "停止", ...
    std::u16string check;   // "✓", or "✗ " and what is wrong
    bool ok = false;        // header, length field and checksum are right
    std::optional<uint8_t> rightChecksum; // set when the last byte is not it
    bool text = false;                    // a synthesis frame
    int textCharacters = 0;               // characters spoken (line breaks not counted)
    bool badText = false;                 // a GBK text holds bytes that are no character
    std::vector<FrameFieldRow> fields;    // only when asked for
};

// fields: also fill FrameDecode::fields (the table view only needs the line).
FrameDecode DecodeFrame(std::string_view frame, bool fields = false);

// The name of a control mark's setting ("[v10]" -> "前景音量 10", "[o1]" ->
// "Word-By-Word", "[d]" -> "恢复默认值"); empty for anything else.
std::u16string ControlMarkMeaning(std::string_view mark);

// "FD 00 02 02 FD": upper-case hex, one blank between bytes.
std::u16string HexBytes(std::string_view bytes);
