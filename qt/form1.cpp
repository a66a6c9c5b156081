#include "qt/form1.h"

#include "platform/files.h"
#include "qt/analysis_window.h"
#include "qt/monitor_window.h"
#include "qt/port_doctor_window.h"
#include "qt/qt_text.h"
#include "serial/port_names.h"
#include "serial/serial_comm_control.h"
#include "qt/initial_text.h"

#include <QCloseEvent>
#include <QThread>

const QString kPortFailureMessage = ToQString(kPortFailureText);

Form1Services Form1Window::MakeServices(Form1Deps& deps, Form1Window* window) {
    if (!deps.comm)
        deps.comm = std::make_unique<SerialCommControl>(DefaultPortsFolder());
    Form1Services services;
    services.comm = deps.comm.get();
    services.messageBox = [window, box = deps.messageBox](std::u16string_view text) {
        if (box)
            box(ToQString(text));
        else
            ShowModalMessage(window, ToQString(text));
    };
    services.sleepMs = deps.sleepMs ? deps.sleepMs : [](int32_t ms) {
        QThread::msleep(static_cast<unsigned long>(ms));
    };
    services.readInitialFile = ReadInitialFile;
    services.clockMs = deps.clockMs;
    services.fileDialog = [window](const TextFileDialog& dialog) {
        return window->ChooseFile(dialog);
    };
    services.files = files::Service();
    services.showAnalysis = [window] { window->ShowAnalysis(); };
    return services;
}

Form1Window::Form1Window(Form1Deps deps, QWidget* parent)
    : QWidget(parent), Form1(MakeServices(deps, this)), comm_(std::move(deps.comm)),
      fileDialog_(std::move(deps.fileDialog)) {
    CreateControls();
    ConnectHandlers();
    ConnectMenus();
    RefreshPortTips();
    Form_Load();
}

Form1Window::~Form1Window() {
    MSComm1->SetOnPortFailure({});
    // The analysis window goes first, while the record it shows still exists.
    analysis_.reset();
    monitor_.reset(); // its thread ends with it
    if (!Unloaded())
        Form_Unload();
}

void Form1Window::closeEvent(QCloseEvent* event) {
    // The analysis window would keep the program running on its own.
    if (analysis_)
        analysis_->close();
    if (monitor_)
        monitor_->close();
    Form_Unload();
    event->accept();
}
