#include "cli/frame_plan.h"

#include "cli/exit_status.h"
#include "cli/text_input.h"
#include "core/commands.h"
#include "core/frame_builders.h"
#include "core/hex_entry.h"
#include "core/text_cut.h"
#include "qt/qt_text.h"

QList<QByteArray> TextPieces(const QString& text, int music) {
    QList<QByteArray> pieces;
    const std::u16string units = ToU16(text);
    const std::u16string_view all(units);
    qsizetype start = 0;
    while (start < text.size()) {
        const TextCut cut = CutTextForFrame(all, start);
        if (cut.units == 0)
            break; // cannot happen: one character never exceeds a frame
        pieces << ToQBytes(TextFrame(all.substr(std::size_t(start), std::size_t(cut.units)), music));
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
        plan.frames << PlannedFrame{pieces[i], what, Await::AcceptanceThenIdle, 0,
                                    o.confirmIdle && i > 0};
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

// Why typed hex text cannot be sent, or empty when it can. Unlike the window,
// which ignores it, a lone last character is refused unless it is a blank or
// a line break: a digit there has lost its partner, and dropping it in silence
// would send another frame than the one meant.
QString HexTextError(const QString& text, const std::optional<QByteArray>& typed, qsizetype bad) {
    if (!typed && bad < 0)
        return QStringLiteral("longer than %1 characters").arg(kMaxHexEntryLength);
    if (typed) {
        bad = HexLoneTail(ToU16(text));
        if (bad < 0 || text[bad].isSpace())
            return QString();
    } else if (bad >= text.size()) {
        bad = 0; // a single digit
    }
    if (HexDigitValue(text[bad].unicode()) >= 0)
        return QStringLiteral("position %1: %2 is a lone digit at the end (a byte takes two)")
            .arg(bad + 1)
            .arg(Shown(text[bad]));
    return QStringLiteral("position %1: %2 is no hexadecimal digit")
        .arg(bad + 1)
        .arg(Shown(text[bad]));
}

FramePlan PlanHex(const CliOptions& o) {
    std::ptrdiff_t bad = -1;
    std::optional<QByteArray> typed;
    if (auto bytes = ParseHexGroups(ToU16(o.argument), &bad))
        typed = ToQBytes(*bytes);
    const QString error = HexTextError(o.argument, typed, bad);
    if (!error.isEmpty())
        return Failure(ExitStatus::Usage, QStringLiteral("格式不匹配，不是16进制数值\n") + error);
    if (typed->isEmpty())
        return Failure(ExitStatus::Usage, QStringLiteral("hex: the text is empty"));
    const ChecksumMode mode = o.typedChecksum ? ChecksumMode::Typed : ChecksumMode::Automatic;
    const QByteArray frame = ToQBytes(HexFrame(ToStdBytes(*typed), mode));
    FramePlan plan = One(frame, QStringLiteral("the typed frame"));
    plan.frames[0].await = AwaitOfTypedFrame(frame, &plan.frames[0].newRate);
    return plan;
}

} // namespace

Await AwaitOfTypedFrame(const QByteArray& frame, int* newRate) {
    *newRate = 0;
    if (frame.size() <= FrameField::Command ||
        static_cast<uint8_t>(frame[FrameField::Header]) != kFrameHeader)
        return Await::Acceptance;
    switch (static_cast<uint8_t>(frame[FrameField::Command])) {
    case FrameCommand::Synthesize:
        return Await::AcceptanceThenIdle;
    case FrameCommand::Query:
        return Await::Status;
    case FrameCommand::SetRate: {
        const int index = frame.size() > FrameField::Parameter
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

FramePlan PlanFrames(const CliOptions& o) {
    switch (o.command) {
    case CliCommand::Speak:
        return PlanSpeak(o);
    case CliCommand::Stop:
        return One(ToQBytes(ControlFrame(FrameCommand::Stop)), QStringLiteral("the stop frame"));
    case CliCommand::Pause:
        return One(ToQBytes(ControlFrame(FrameCommand::Pause)), QStringLiteral("the pause frame"));
    case CliCommand::Resume:
        return One(ToQBytes(ControlFrame(FrameCommand::Resume)), QStringLiteral("the resume frame"));
    case CliCommand::Sleep:
        return One(ToQBytes(ControlFrame(FrameCommand::Sleep)), QStringLiteral("the sleep frame"));
    case CliCommand::Query:
        return One(ToQBytes(ControlFrame(FrameCommand::Query)), QStringLiteral("the query frame"),
                   Await::Status);
    case CliCommand::Rate: {
        FramePlan plan =
            One(ToQBytes(SetRateFrame(RateIndexOf(o.newRate))),
                QStringLiteral("the set-rate frame (%1 bit/s)").arg(o.newRate), Await::RateChange);
        plan.frames[0].newRate = o.newRate;
        return plan;
    }
    case CliCommand::Mark: {
        const auto frame = MarkFrame(ToU16(o.argument));
        if (!frame)
            return Failure(ExitStatus::Usage,
                           QStringLiteral("mark: '%1' cannot be a control mark: printable ASCII "
                                          "without brackets, 1 to %2 characters")
                               .arg(o.argument)
                               .arg(kMaxTextBytes - 2));
        return One(ToQBytes(*frame), QStringLiteral("the mark frame [%1]").arg(o.argument));
    }
    case CliCommand::Hex:
        return PlanHex(o);
    case CliCommand::Ports:
        break;
    }
    return FramePlan{};
}
