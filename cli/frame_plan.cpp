#include "cli/frame_plan.h"

#include "cli/text_input.h"
#include "core/commands.h"
#include "core/exit_status.h"
#include "qt/qt_text.h"

namespace {

std::string Utf8(const QString& text) {
    return ToStdBytes(text.toUtf8());
}

FramePlan PlanSpeakOf(const CliOptions& o) {
    QString text;
    if (o.file) {
        QString reason;
        const QString name =
            *o.file == QLatin1String("-") ? QStringLiteral("standard input") : *o.file;
        const auto bytes = ReadAllOf(*o.file, &reason);
        if (!bytes)
            return RefusedPlan(ExitStatus::NoInput, Utf8(name + QStringLiteral(": ") + reason));
        // Standard input is UTF-8 like the command line; a file may be in
        // any of the encodings the console's texts come in.
        const auto decoded = TextOfFile(*bytes, *o.file == QLatin1String("-"), &reason);
        if (!decoded)
            return RefusedPlan(ExitStatus::DataError, Utf8(name + QStringLiteral(": ") + reason));
        text = *decoded;
    } else {
        text = o.words.join(u' ');
    }
    return PlanSpeak(ToU16(WithCrLf(text)), o.music, o.noWait, o.confirmIdle);
}

} // namespace

FramePlan PlanFrames(const CliOptions& o) {
    switch (o.command) {
    case CliCommand::Speak:
        return PlanSpeakOf(o);
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
        return PlanMark(ToU16(o.argument));
    case CliCommand::Hex:
        return PlanHex(ToU16(o.argument), o.typedChecksum);
    case CliCommand::Ports:
        break;
    }
    return FramePlan{};
}
