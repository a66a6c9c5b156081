#include "core/frame_plan.h"

#include "core/commands.h"
#include "core/exit_status.h"
#include "core/frame_builders.h"
#include "core/hex_entry.h"
#include "core/line_rates.h"
#include "core/text_cut.h"
#include "core/text_util.h"

FramePlan RefusedPlan(int status, std::string error) {
    FramePlan plan;
    plan.status = status;
    plan.error = std::move(error);
    return plan;
}

std::vector<std::string> TextPieces(std::u16string_view text, int music) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const TextCut cut = CutTextForFrame(text, static_cast<std::ptrdiff_t>(start));
        if (cut.units == 0)
            break; // cannot happen: one character never exceeds a frame
        pieces.push_back(TextFrame(text.substr(start, std::size_t(cut.units)), music));
        start += std::size_t(cut.units);
    }
    return pieces;
}

namespace {

FramePlan One(std::string bytes, std::string what, Await await = Await::Acceptance) {
    FramePlan plan;
    plan.frames.push_back(PlannedFrame{std::move(bytes), std::move(what), await});
    return plan;
}

// Unicode's blanks beyond ASCII (the ASCII ones are control characters or
// U+0020 and caught before).
bool IsWideSpace(char16_t c) {
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool IsSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || IsWideSpace(c);
}

// A character as a message shows it: quoted, or its code when it is a blank,
// a control character or half of a surrogate pair.
std::string Shown(char16_t c) {
    if (c <= 0x20 || c == 0x7F || IsWideSpace(c) || (c >= 0xD800 && c <= 0xDFFF)) {
        static const char kDigits[] = "0123456789ABCDEF";
        std::string code = "U+";
        for (int shift = 12; shift >= 0; shift -= 4)
            code += kDigits[(c >> shift) & 0xF];
        return code;
    }
    // Appended, not "'" + ...: GCC 12 warns wrongly of that (-Wrestrict).
    std::string shown(1, '\'');
    shown += Utf8FromUtf16(std::u16string_view(&c, 1));
    shown += '\'';
    return shown;
}

// Why typed hex text cannot be sent, or empty when it can. Unlike the window,
// which ignores it, a lone last character is refused unless it is a blank or
// a line break: a digit there has lost its partner, and dropping it in silence
// would send another frame than the one meant.
std::string HexTextError(std::u16string_view text, bool parsed, std::ptrdiff_t bad) {
    if (!parsed && bad < 0)
        return "longer than " + std::to_string(kMaxHexEntryLength) + " characters";
    if (parsed) {
        bad = HexLoneTail(text);
        if (bad < 0 || IsSpace(text[std::size_t(bad)]))
            return {};
    } else if (bad >= static_cast<std::ptrdiff_t>(text.size())) {
        bad = 0; // a single digit
    }
    const char16_t c = text[std::size_t(bad)];
    const std::string where = "position " + std::to_string(bad + 1) + ": " + Shown(c);
    if (HexDigitValue(c) >= 0)
        return where + " is a lone digit at the end (a byte takes two)";
    return where + " is no hexadecimal digit";
}

const char* ControlFrameName(uint8_t command) {
    switch (command) {
    case FrameCommand::Stop:
        return "the stop frame";
    case FrameCommand::Pause:
        return "the pause frame";
    case FrameCommand::Resume:
        return "the resume frame";
    case FrameCommand::Sleep:
        return "the sleep frame";
    case FrameCommand::Query:
        return "the query frame";
    default:
        return "the frame";
    }
}

} // namespace

Await AwaitOfTypedFrame(std::string_view frame, int* newRate) {
    *newRate = 0;
    if (frame.size() <= std::size_t(FrameField::Command) ||
        static_cast<uint8_t>(frame[FrameField::Header]) != kFrameHeader)
        return Await::Acceptance;
    switch (static_cast<uint8_t>(frame[FrameField::Command])) {
    case FrameCommand::Synthesize:
        return Await::AcceptanceThenIdle;
    case FrameCommand::Query:
        return Await::Status;
    case FrameCommand::SetRate: {
        const int index = frame.size() > std::size_t(FrameField::Parameter)
                              ? static_cast<uint8_t>(frame[FrameField::Parameter])
                              : -1;
        // A parameter the chip knows no rate for changes nothing here.
        if (!IsRateIndex(index))
            return Await::Acceptance;
        *newRate = RateOfIndex(index);
        return Await::RateChange;
    }
    default:
        return Await::Acceptance;
    }
}

FramePlan PlanSpeak(std::u16string_view text, int music, bool noWait, bool confirmIdle) {
    if (text.empty())
        return RefusedPlan(ExitStatus::Usage, "the text is empty: nothing to speak");
    const std::vector<std::string> pieces = TextPieces(text, music);
    FramePlan plan;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::string what = "piece " + std::to_string(i + 1) + " of " +
                           std::to_string(pieces.size()) + " (" +
                           std::to_string(pieces[i].size() - 6) + " text bytes)";
        plan.frames.push_back(PlannedFrame{pieces[i], std::move(what), Await::AcceptanceThenIdle, 0,
                                           confirmIdle && i > 0});
        if (noWait) {
            plan.frames.back().await = Await::Nothing;
            break;
        }
    }
    return plan;
}

FramePlan PlanControl(uint8_t command) {
    return One(ControlFrame(command), ControlFrameName(command),
               command == FrameCommand::Query ? Await::Status : Await::Acceptance);
}

FramePlan PlanRate(int bitsPerSecond) {
    FramePlan plan =
        One(SetRateFrame(RateIndexOf(bitsPerSecond)),
            "the set-rate frame (" + std::to_string(bitsPerSecond) + " bit/s)", Await::RateChange);
    plan.frames[0].newRate = bitsPerSecond;
    return plan;
}

FramePlan PlanMark(std::u16string_view name) {
    auto frame = MarkFrame(name);
    const std::string shown = Utf8FromUtf16(name);
    if (!frame)
        return RefusedPlan(ExitStatus::Usage,
                           "mark: '" + shown +
                               "' cannot be a control mark: printable ASCII without brackets, 1 "
                               "to " +
                               std::to_string(kMaxTextBytes - 2) + " characters");
    return One(std::move(*frame), "the mark frame [" + shown + "]");
}

FramePlan PlanHex(std::u16string_view typed, bool typedChecksum) {
    std::ptrdiff_t bad = -1;
    const std::optional<std::string> bytes = ParseHexGroups(typed, &bad);
    const std::string error = HexTextError(typed, bytes.has_value(), bad);
    if (!error.empty())
        return RefusedPlan(ExitStatus::Usage, "格式不匹配，不是16进制数值\n" + error);
    if (bytes->empty())
        return RefusedPlan(ExitStatus::Usage, "hex: the text is empty");
    std::string frame =
        HexFrame(*bytes, typedChecksum ? ChecksumMode::Typed : ChecksumMode::Automatic);
    FramePlan plan = One(frame, "the typed frame");
    plan.frames[0].await = AwaitOfTypedFrame(frame, &plan.frames[0].newRate);
    return plan;
}
