// Start-up, shut-down and the window's own services: the message box and the
// sleep of the repetition test.
#include "core/form1.h"

#include "core/commands.h"
#include "core/line_rates.h"

Form1::Form1(Form1Services services) : services_(std::move(services)) {
    if (services_.clockMs)
        Traffic.SetClock(services_.clockMs);
    MSComm1 = services_.comm;
}

Form1::~Form1() = default;

void Form1::MsgBox(std::u16string_view text) {
    if (services_.messageBox)
        services_.messageBox(text);
}

void Form1::SleepMs(int32_t ms) {
    if (ms <= 0 || unloaded_)
        return; // (unloaded inside a message box: the repetition test ends)
    if (services_.sleepMs)
        services_.sleepMs(ms);
}

void Form1::Form_Load() {
    // Steps 1-3: the initial text file. A file that can neither be opened nor
    // created, or not be read, keeps the design text.
    const InitialFile file =
        services_.readInitialFile ? services_.readInitialFile() : InitialFile{};
    if (file.outcome == InitialFile::Outcome::Read) {
        const DecodedText text = DecodeTextAs(file.bytes, TextEncoding::Gbk);
        Text3->SetText(text.text);
        if (text.replaced)
            MsgBox(ReplacedNotice(kInitialTextFileName, text));
    } else if (file.outcome == InitialFile::Outcome::TooLarge) {
        MsgBox(kInitialTextTooLargeMessage);
    }

    PlayAllActive = 0;
    BaudChangePending = 0;
    RepeatIntervalMs = 30000;

    Check2->SetValue(1);
    Check3->SetValue(1);

    // Still no attribute frames: selecting Option1 only sets the buttons.
    Option1->SetValue(true);
    Option2->SetValue(false);

    AttributeFramesEnabled = -1;

    // Selections from the program raise no Click: nothing is sent.
    Combo1->SetListIndex(0);
    Combo2->SetListIndex(0);
    Combo5->SetListIndex(0);

    try {
        // The port is still closed: these are only stored.
        MSComm1->SetSettings(kLineRates.front().settings);
        MSComm1->SetInBufferSize(2);
    } catch (const CommError&) {
        // Nothing to report yet; the open below reports a port that fails.
    }

    Combo3->SetListIndex(1);

    FrameHeader = kFrameHeader;
    MaxTextBytes = kMaxTextBytes;
    PortNumber = 1;

    // From here on any serial failure ends start-up with the port-failure
    // message, shown at most once.
    try {
        MSComm1->SetCommPort(PortNumber);
        MSComm1->SetPortOpen(true);
        if (!MSComm1->PortOpen())
            ShowPortFailure();
    } catch (const CommError& e) {
        ShowPortFailure(e.what());
    }
}

void Form1::Form_Unload() {
    unloaded_ = true;
    try {
        if (MSComm1->PortOpen())
            MSComm1->SetPortOpen(false);
    } catch (const CommError&) {
        // Closing is all that is left to do; nothing to report it to.
    }
}

void Form1::Command2_Click() {
    Text4->SetText(u"");
}
