// The frames one run of the command-line program sends, and what each waits
// for. Texts of messages are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Await {
    Nothing,            // ends once written (speak --no-wait)
    Acceptance,         // 0x41
    AcceptanceThenIdle, // 0x41, then the idle reply 0x4F (a piece of text)
    Status,             // query: 0x4F idle or 0x4E speaking
    RateChange,         // 0x41, then the port follows at the new rate
};

struct PlannedFrame {
    std::string bytes;
    std::string what; // "piece 2 of 5 (199 text bytes)": names the frame in messages
    Await await = Await::Acceptance;
    int newRate = 0; // RateChange: the rate the port follows at
    // Sent only once a query has found the chip idle (speak --confirm-idle).
    bool confirmIdle = false;
};

struct FramePlan {
    std::vector<PlannedFrame> frames;
    int status = 0;    // not 0: the run cannot start (see ExitStatus)
    std::string error; // then: why
};

// A plan that cannot start: status and why.
FramePlan RefusedPlan(int status, std::string error);

// The pieces of text, cut exactly as the window cuts them when it plays a
// whole text, each with background music.
std::vector<std::string> TextPieces(std::u16string_view text, int music);

// What a typed frame waits for, as the named command with its code would:
// a query its status, a piece of text the acceptance and the idle reply, a
// rate change (to a rate the chip knows) the acceptance and the new rate.
// Anything else, a frame of no known command included, waits for 0x41 or
// 0x45. newRate: set for a rate change.
Await AwaitOfTypedFrame(std::string_view frame, int* newRate);

// speak: text with its line breaks as CR LF. Each later piece goes on the
// idle reply to the one before, or with confirmIdle once a query found the
// chip idle; noWait sends the first piece only.
FramePlan PlanSpeak(std::u16string_view text, int music, bool noWait, bool confirmIdle);
// stop, pause, resume, sleep or query (FrameCommand): the frame without
// parameter; a query waits for the status.
FramePlan PlanControl(uint8_t command);
// rate: the set-rate frame for 9600, 19200 or 38400 bit/s.
FramePlan PlanRate(int bitsPerSecond);
// mark: "[" name "]", or refused when it cannot be a control mark.
FramePlan PlanMark(std::u16string_view name);
// hex: a frame typed in hexadecimal, refused with the place of the first
// character that cannot be sent.
FramePlan PlanHex(std::u16string_view typed, bool typedChecksum);
