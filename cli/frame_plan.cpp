#include "cli/frame_plan.h"

#include "cli/exit_status.h"
#include "cli/text_input.h"
#include "frames/frame_builders.h"
#include "frames/hex_entry.h"
#include "frames/text_cut.h"

QList<QByteArray> TextPieces(const QString& text, int music) {
    QList<QByteArray> pieces;
    qsizetype start = 0;
    while (start < text.size()) {
        const TextCut cut = CutTextForFrame(text, start);
        if (cut.units == 0)
            break; // cannot happen: one character never exceeds a frame
        pieces << TextFrame(QStringView(text).mid(start, cut.units), music);
        start += cut.units;
    }
    return pieces;
}

namespace {

FramePlan Failure(int status, const QString& error) {
    FramePlan plan;
    plan.status = status;
    plan.error = error;
    return plan;
}

FramePlan One(const QByteArray& bytes, const QString& what, Await await = Await::Acceptance) {
    FramePlan plan;
    plan.frames << PlannedFrame{bytes, what, await};
    return plan;
}

FramePlan PlanSpeak(const CliOptions& o) {
    QString text;
    if (o.file) {
        QString reason;
        const QString name =
            *o.file == QLatin1String("-") ? QStringLiteral("standard input") : *o.file;
        const auto bytes = ReadAllOf(*o.file, &reason);
        if (!bytes)
            return Failure(ExitStatus::NoInput, QStringLiteral("%1: %2").arg(name, reason));
        // Standard input is UTF-8 like the command line; a file may be in
        // any of the encodings the console's texts come in.
        const auto decoded = TextOfFile(*bytes, *o.file == QLatin1String("-"), &reason);
        if (!decoded)
            return Failure(ExitStatus::DataError, QStringLiteral("%1: %2").arg(name, reason));
        text = *decoded;
    } else {
        text = o.words.join(u' ');
    }
    text = WithCrLf(text);
    if (text.isEmpty())
        return Failure(ExitStatus::Usage, QStringLiteral("the text is empty: nothing to speak"));

    const QList<QByteArray> pieces = TextPieces(text, o.music);
    FramePlan plan;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString what = QStringLiteral("piece %1 of %2 (%3 text bytes)")
                                 .arg(i + 1)
                                 .arg(pieces.size())
                                 .arg(pieces[i].size() - 6);
        plan.frames << PlannedFrame{pieces[i], what, Await::AcceptanceThenIdle};
        if (o.noWait) {
            plan.frames.back().await = Await::Nothing;
            break;
        }
    }
    return plan;
}

// A character as a message shows it: quoted, or its code when it is a blank
// or a control character.
QString Shown(QChar c) {
    if (c.unicode() <= 0x20 || c.unicode() == 0x7F || c.isSpace() || c.isSurrogate())
        return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("'%1'").arg(c);
}

FramePlan PlanHex(const CliOptions& o) {
    qsizetype bad = -1;
    const std::optional<QByteArray> typed = ParseHexGroups(o.argument, &bad);
    if (!typed) {
        QString where;
        if (bad < 0)
            where = QStringLiteral("longer than %1 characters").arg(kMaxHexEntryLength);
        else if (bad >= o.argument.size())
            where =
                QStringLiteral("position %1: the text ends inside a pair of digits").arg(bad + 1);
        else
            where = QStringLiteral("position %1: %2 is no hexadecimal digit")
                        .arg(bad + 1)
                        .arg(Shown(o.argument[bad]));
        return Failure(ExitStatus::Usage, QStringLiteral("格式不匹配，不是16进制数值\n") + where);
    }
    if (typed->isEmpty())
        return Failure(ExitStatus::Usage, QStringLiteral("hex: the text is empty"));
    const ChecksumMode mode = o.typedChecksum ? ChecksumMode::Typed : ChecksumMode::Automatic;
    return One(HexFrame(*typed, mode), QStringLiteral("the typed frame"));
}

} // namespace

FramePlan PlanFrames(const CliOptions& o) {
    switch (o.command) {
    case CliCommand::Speak:
        return PlanSpeak(o);
    case CliCommand::Stop:
        return One(ControlFrame(FrameCommand::Stop), QStringLiteral("the stop frame"));
    case CliCommand::Pause:
        return One(ControlFrame(FrameCommand::Pause), QStringLiteral("the pause frame"));
    case CliCommand::Resume:
        return One(ControlFrame(FrameCommand::Resume), QStringLiteral("the resume frame"));
    case CliCommand::Sleep:
        return One(ControlFrame(FrameCommand::Sleep), QStringLiteral("the sleep frame"));
    case CliCommand::Query:
        return One(ControlFrame(FrameCommand::Query), QStringLiteral("the query frame"),
                   Await::Status);
    case CliCommand::Rate:
        return One(SetRateFrame(RateIndexOf(o.newRate)),
                   QStringLiteral("the set-rate frame (%1 bit/s)").arg(o.newRate),
                   Await::RateChange);
    case CliCommand::Mark: {
        const auto frame = MarkFrame(o.argument);
        if (!frame)
            return Failure(ExitStatus::Usage,
                           QStringLiteral("mark: '%1' cannot be a control mark: printable ASCII "
                                          "without brackets, 1 to %2 characters")
                               .arg(o.argument)
                               .arg(kMaxTextBytes - 2));
        return One(*frame, QStringLiteral("the mark frame [%1]").arg(o.argument));
    }
    case CliCommand::Hex:
        return PlanHex(o);
    case CliCommand::Ports:
        break;
    }
    return FramePlan{};
}
