// The chip's replies: one status byte each, explained in the work log. They
// also complete a rate change and keep continuous playback going.
#include "core/form1.h"
#include "core/reply_status.h"

#include <algorithm>

namespace {
// One read may return more than the receive buffer promises; only this many
// bytes of it are looked at.
constexpr int kBytesInterpreted = 2;

void CompleteBaudChange(Form1& f, const std::u16string& doneLog);
void ContinuePlayback(Form1& f);
} // namespace

void Form1::MSComm1_OnComm() {
    if (Unloaded())
        return;
    if (MSComm1->CommEvent() != CommEvents::Receive)
        return; // line-state changes and errors: nothing to say
    if (Check1->Value() != 1)
        return; // replies switched off: the bytes stay waiting in the port

    const std::string s = MSComm1->Input();
    const int n = std::min(static_cast<int>(s.size()), kBytesInterpreted);
    for (int i = 0; i < n; ++i) {
        if (Unloaded())
            return; // unloaded inside a message box of the byte before
        const auto status = static_cast<uint8_t>(s[i]);
        const bool ratePending = BaudChangePending == 1;
        const ReplyExplanation reply = ExplainReply(status, ratePending);
        // Only status bytes: a babbling line must not grow the record.
        if (reply.log.empty())
            continue;
        Traffic.RecordReply(status, ratePending);
        switch (reply.rate) {
        case RateChange::Done:
            CompleteBaudChange(*this, reply.log);
            break;
        case RateChange::Refused:
            // The chip keeps its rate, and so does the port.
            BaudChangePending = 0;
            PendingBaudIndex = -1;
            AppendLog(reply.log);
            break;
        case RateChange::None:
            AppendLog(reply.log);
            if (status == ChipStatus::Idle && PlayAllActive == -1)
                ContinuePlayback(*this);
            break;
        }
    }
}

namespace {

// The chip accepted the rate change and listens at the new rate from now on:
// the port follows it, at the rate the set-baud frame asked for, and the PC
// rate list shows that rate.
void CompleteBaudChange(Form1& f, const std::u16string& doneLog) {
    const std::string settings = SettingsForRateIndex(f.PendingBaudIndex);
    bool reopened = false;
    std::string reason;
    try {
        f.MSComm1->SetPortOpen(false);
        if (!settings.empty()) {
            f.MSComm1->SetSettings(settings);
            f.Combo2->SetListIndex(f.PendingBaudIndex);
        }
        f.MSComm1->SetPortOpen(true);
        reopened = f.MSComm1->PortOpen();
    } catch (const CommError& e) {
        reopened = false;
        reason = e.what();
    }
    f.BaudChangePending = 0;
    f.PendingBaudIndex = -1;
    if (reopened) {
        f.AppendLog(doneLog);
        return;
    }
    // The chip did accept the frame, but the port is lost: the log must not
    // say the change succeeded. The next send opens the port at the new rate.
    f.AppendLog(ReplyLogText(ChipStatus::Received, false));
    f.ShowPortFailure(reason);
}

// Continuous playback: the piece just spoken is done; play the next one.
void ContinuePlayback(Form1& f) {
    // A reply handled inside the step's own port-failure message (a nested
    // event loop) must not start a second step over this one.
    if (f.PlaybackStepRunning)
        return;
    f.Text3->SetSelStart(f.Text3->SelStart() + f.Text3->SelLength());
    f.Text3->SetSelLength(f.Text3->Length() - f.Text3->SelStart());
    const int failuresBefore = f.PortFailures();
    f.PlaybackStepRunning = true;
    if (f.Text3->SelLength() != 0)
        f.Command6_Click();
    f.PlaybackStepRunning = false;
    if (f.Unloaded() || f.PortFailures() != failuresBefore) {
        // The piece did not go out: playback ends here (播放全部 starts it
        // again), so that every later idle report does not bring the same
        // message once more.
        f.PlayAllActive = 0;
        return;
    }
    f.PlayAllActive = (f.Text3->SelStart() + f.Text3->SelLength() < f.Text3->Length()) ? -1 : 0;
}

} // namespace
