#include "core/cli_plan.h"

#include "core/commands.h"
#include "core/exit_status.h"
#include "core/text_util.h"

#include <algorithm>

namespace {

FramePlan PlanSpeakOf(const CliOptions& o, const TextFileReader& read) {
    std::u16string text;
    if (o.file) {
        std::string reason;
        const bool standardInput = *o.file == "-";
        const std::string name = standardInput ? "standard input" : *o.file;
        const auto bytes = read(*o.file, &reason);
        if (!bytes)
            return RefusedPlan(ExitStatus::NoInput, name + ": " + reason);
        // Standard input is UTF-8 like the command line; a file may be in
        // any of the encodings the console's texts come in.
        auto decoded = SpokenText(*bytes, standardInput, &reason);
        if (!decoded)
            return RefusedPlan(ExitStatus::DataError, name + ": " + reason);
        text = std::move(*decoded);
    } else {
        std::string joined;
        for (std::size_t i = 0; i < o.words.size(); ++i)
            joined += (i ? " " : "") + o.words[i];
        text = Utf16FromUtf8(joined);
    }
    return PlanSpeak(WithCrLf(text), o.music, o.noWait, o.confirmIdle);
}

} // namespace

FramePlan PlanFrames(const CliOptions& o, const TextFileReader& read) {
    switch (o.command) {
    case CliCommand::Speak:
        return PlanSpeakOf(o, read);
    case CliCommand::Stop:
        return PlanControl(FrameCommand::Stop);
    case CliCommand::Pause:
        return PlanControl(FrameCommand::Pause);
    case CliCommand::Resume:
        return PlanControl(FrameCommand::Resume);
    case CliCommand::Sleep:
        return PlanControl(FrameCommand::Sleep);
    case CliCommand::Query:
        return PlanControl(FrameCommand::Query);
    case CliCommand::Rate:
        return PlanRate(o.newRate);
    case CliCommand::Mark:
        return PlanMark(Utf16FromUtf8(o.argument));
    case CliCommand::Hex:
        return PlanHex(Utf16FromUtf8(o.argument), o.typedChecksum);
    case CliCommand::Ports:
    case CliCommand::Monitor:
    case CliCommand::Replay:
    case CliCommand::Doctor:
        break;
    }
    return FramePlan{};
}

const char* PlanRefusalKind(int status) {
    return status == ExitStatus::NoInput     ? "input"
           : status == ExitStatus::DataError ? "data"
                                             : "usage";
}

bool PlanChangesRate(const FramePlan& plan) {
    return std::any_of(plan.frames.begin(), plan.frames.end(),
                       [](const PlannedFrame& f) { return f.await == Await::RateChange; });
}
