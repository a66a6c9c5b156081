#include "shell/form1.h"

#include "analysis/analysis_window.h"
#include "core/commands.h"
#include "serial/port_names.h"
#include "serial/serial_comm_control.h"
#include "shell/initial_text.h"
#include "shell/text_files.h"

#include <QCloseEvent>
#include <QThread>

const QString kPortFailureMessage =
    QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备");

Form1::Form1(Form1Deps deps, QWidget* parent)
    : QWidget(parent), comm_(std::move(deps.comm)), messageBox_(std::move(deps.messageBox)),
      sleepMs_(std::move(deps.sleepMs)), fileDialog_(std::move(deps.fileDialog)) {
    if (deps.clockMs)
        Traffic.SetClock(std::move(deps.clockMs));
    if (!comm_)
        comm_ = std::make_unique<SerialCommControl>(DefaultPortsFolder());
    MSComm1 = comm_.get();
    CreateControls();
    ConnectHandlers();
    ConnectMenus();
    RefreshPortTips();
    Form_Load();
}

Form1::~Form1() {
    if (!unloaded_)
        Form_Unload();
}

void Form1::MsgBox(const QString& text) {
    if (messageBox_)
        messageBox_(text);
    else
        ShowModalMessage(this, text);
}

void Form1::SleepMs(int32_t ms) {
    if (ms <= 0 || unloaded_)
        return; // (unloaded inside a message box: the repetition test ends)
    if (sleepMs_)
        sleepMs_(ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms));
}

void Form1::closeEvent(QCloseEvent* event) {
    // The analysis window would keep the program running on its own.
    if (analysis_)
        analysis_->close();
    Form_Unload();
    event->accept();
}

void Form1::Form_Load() {
    // Steps 1-3: the initial text file. A file that can neither be opened nor
    // created, or not be read, keeps the design text.
    if (const auto text = LoadInitialText()) {
        Text3->SetText(QString::fromStdU16String(text->text));
        if (text->replaced)
            MsgBox(ReplacedNotice(kInitialTextFileName, *text));
    } else if (InitialTextTooLarge()) {
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
        MSComm1->SetSettings(QString::fromLatin1(kLineRates.front().settings));
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
    } catch (const CommError&) {
        ShowPortFailure();
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
    Text4->SetText(QString());
}
