// The frames one run of vxt4710-cli sends, and what each waits for.
#pragma once

#include "cli/cli_options.h"

#include <QByteArray>
#include <QList>
#include <QString>

enum class Await {
    Nothing,            // ends once written (speak --no-wait)
    Acceptance,         // 0x41
    AcceptanceThenIdle, // 0x41, then the idle reply 0x4F (a piece of text)
    Status,             // query: 0x4F idle or 0x4E speaking
    RateChange,         // 0x41, then the port follows at the new rate
};

struct PlannedFrame {
    QByteArray bytes;
    QString what; // "piece 2 of 5 (199 text bytes)": names the frame in messages
    Await await = Await::Acceptance;
    int newRate = 0; // RateChange: the rate the port follows at
    // Sent only once a query has found the chip idle (speak --confirm-idle).
    bool confirmIdle = false;
};

struct FramePlan {
    QList<PlannedFrame> frames;
    int status = 0; // not 0: the run cannot start (see ExitStatus)
    QString error;  // then: why
};

// The pieces of text, cut exactly as the window cuts them when it plays a
// whole text, each with background music.
QList<QByteArray> TextPieces(const QString& text, int music);

// What a typed frame waits for, as the named command with its code would:
// a query its status, a piece of text the acceptance and the idle reply, a
// rate change (to a rate the chip knows) the acceptance and the new rate.
// Anything else, a frame of no known command included, waits for 0x41 or
// 0x45. newRate: set for a rate change.
Await AwaitOfTypedFrame(const QByteArray& frame, int* newRate);

// Everything to send for options (the commands that talk to the chip). Reads
// the text of speak from its file or standard input.
FramePlan PlanFrames(const CliOptions& options);
