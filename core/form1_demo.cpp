// Continuous playback, the repetition test and the demonstration texts.
#include "core/demo_texts.h"
#include "core/interval.h"
#include "core/form1.h"

#include <algorithm>
#include <limits>

namespace {
// A wait never goes below 0 ms, however small or negative the interval is.
int32_t NonNegativeMs(int64_t ms) {
    return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int32_t>::max()));
}
} // namespace

void Form1::Command3_Click() {
    // Always from the start of the text, whatever the user had selected; the
    // reply handler plays the rest piece by piece on each idle reply.
    Text3->SetSelStart(0);
    Command6_Click();
    PlayAllActive = -1;
}

void Form1::Command4_Click() {
    // Runs to its end inside this one click: the sleeps block the window's
    // thread, so no reply is read until the test returns.
    const auto waitInterval = [this] { SleepMs(NonNegativeMs(RepeatIntervalMs)); };

    HScroll1->SetValue(4);
    HScroll1_Change();
    SleepMs(1000);

    for (int32_t cycle = 1; cycle <= RepeatCycles; ++cycle) {
        if (Unloaded())
            return; // a termination signal closed the window inside a message box
        Option1_Click();
        SleepMs(1000);
        Command3_Click();
        waitInterval();

        Option2_Click();
        SleepMs(1000);
        Command3_Click();
        waitInterval();

        Combo1->SetListIndex(1);
        Command3_Click();
        waitInterval();

        Option1_Click();
        SleepMs(1000);
        Command3_Click();
        waitInterval();

        Combo1->SetListIndex(0);
        HScroll2->SetValue(1);
        HScroll2_Change();
        SleepMs(1000);
        Command3_Click();
        waitInterval();

        Command3_Click();
        SleepMs(2000);
        Command8_Click();
        SleepMs(2000);
        Command9_Click();
        SleepMs(2000);
        Command7_Click();
        SleepMs(2000);
        // The four waits above already took 6 s of the interval.
        SleepMs(NonNegativeMs(int64_t(RepeatIntervalMs) - 6000));

        HScroll2->SetValue(5);
        HScroll2_Change();
        SleepMs(1000);
    }
}

void Form1::Text1_Change() {
    // While the user retypes the value (empty or half-typed text) the last
    // good interval stays.
    if (const auto ms = IntervalMsFromText(Text1->Text()))
        RepeatIntervalMs = *ms;
}

void Form1::Command1_Click() {
    Text3->SetText(ShowcaseText());
    Text3->SetSelStart(0);
}

void Form1::Command31_Click() {
    Text3->SetText(ChipIntroText());
    Text3->SetSelStart(0);
}

void Form1::Command32_Click() {
    Text3->SetText(PromptToneText());
    Text3->SetSelStart(0);
}
