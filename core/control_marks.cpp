#include "core/control_marks.h"

namespace {
constexpr char kSynthesize = 0x01;
// Encoding 1 (GBK), background music 0: marks never carry music.
constexpr char kMarkParameter = 0x01;
} // namespace

std::string ControlMark(char letter, std::optional<int> number) {
    std::string mark;
    mark += '[';
    mark += letter;
    if (number)
        mark += std::to_string(*number);
    mark += ']';
    return mark;
}

std::string ScrollBarMark(char letter, int value) {
    return ControlMark(letter, value - 1);
}

std::string ControlMarkFrameBody(uint8_t header, std::string_view mark) {
    std::string frame(mark.size() + 6, '\0');
    frame[0] = static_cast<char>(header);
    frame[1] = 0x00;
    // A mark is a handful of bytes: the length always fits the low byte.
    frame[2] = static_cast<char>(mark.size() + 3);
    frame[3] = kSynthesize;
    frame[4] = kMarkParameter;
    for (std::size_t i = 0; i < mark.size(); ++i)
        frame[5 + i] = mark[i];
    return frame;
}
