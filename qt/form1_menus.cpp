// The context menus of the work log and the text box with the core's entries
// (core/form1_events.h), Qt's file dialog, the analysis and monitor windows
// they open, and the hex entry's tooltip. None of it adds a control to the
// window or a line to the work log.
#include "core/form1_events.h"
#include "core/hex_entry_check.h"
#include "core/traffic_capture.h"
#include "qt/analysis_window.h"
#include "qt/form1.h"
#include "qt/monitor_window.h"
#include "qt/port_doctor_window.h"
#include "qt/qt_text.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

namespace {

FileDialogRequest RequestOf(const TextFileDialog& dialog) {
    FileDialogRequest request;
    request.save = dialog.save;
    request.caption = ToQString(dialog.caption);
    for (const TextFileFilter& f : dialog.filters)
        request.filters << ToQString(f.label);
    request.filter = dialog.filter;
    request.fileName = ToQString(dialog.fileName);
    return request;
}

// Qt's own dialog (the same on every desktop), with the file-name field
// focused when it opens.
FileDialogAnswer RunFileDialog(QWidget* parent, const FileDialogRequest& r) {
    QFileDialog dialog(parent, r.caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!r.filters.isEmpty()) {
        QStringList filters = r.filters;
        if (!r.save)
            filters << QStringLiteral("所有文件 (*)");
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(r.filter));
    }
    if (!r.fileName.isEmpty())
        dialog.selectFile(r.fileName);
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setFocus(Qt::OtherFocusReason);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    FileDialogAnswer answer;
    answer.path = dialog.selectedFiles().first();
    answer.filter = std::max(0, int(r.filters.indexOf(dialog.selectedNameFilter())));
    return answer;
}

} // namespace

void Form1Window::ConnectMenus() {
    for (TextBox* box : {Widget(&Form1::Text4), Widget(&Form1::Text3)}) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this, [this, box](const QPoint& pos) {
            QMenu* menu = box == Widget(&Form1::Text4) ? MakeLogMenu(pos) : MakeTextMenu(pos);
            menu->exec(box->viewport()->mapToGlobal(pos));
            delete menu;
        });
    }
    connect(Widget(&Form1::Text5), &QPlainTextEdit::textChanged, this, &Form1Window::UpdateHexTip);
    UpdateHexTip();
}

QMenu* Form1Window::MakeMenu(TextBox* box, const char* control, const QPoint& pos) {
    QMenu* menu = box->createStandardContextMenu(pos);
    menu->addSeparator();
    for (const MenuEntryRow& row : Form1MenuEntries()) {
        if (row.control != control)
            continue;
        QAction* action =
            menu->addAction(ToQString(row.caption), this, [this, a = row.action] { (this->*a)(); });
        action->setObjectName(QStringLiteral("action") +
                              QLatin1String(row.id.data(), qsizetype(row.id.size())));
    }
    return menu;
}

QMenu* Form1Window::MakeLogMenu(const QPoint& pos) {
    QMenu* menu = MakeMenu(Widget(&Form1::Text4), "Text4", pos);
    // The monitor window follows the analysis window's entry.
    const QList<QAction*> actions = menu->actions();
    const qsizetype analysis =
        actions.indexOf(menu->findChild<QAction*>(QStringLiteral("actionTrafficAnalysis")));
    auto* monitor = new QAction(ToQString(kMonitorMenu), menu);
    monitor->setObjectName(QStringLiteral("actionMonitor"));
    connect(monitor, &QAction::triggered, this, &Form1Window::ShowMonitor);
    menu->insertAction(actions.value(analysis + 1), monitor);
    // The port doctor after every other entry.
    auto* doctor = menu->addAction(ToQString(doctor::kDoctorMenu));
    doctor->setObjectName(QStringLiteral("actionPortDoctor"));
    connect(doctor, &QAction::triggered, this, &Form1Window::ShowPortDoctor);
    return menu;
}

QMenu* Form1Window::MakeTextMenu(const QPoint& pos) {
    return MakeMenu(Widget(&Form1::Text3), "Text3", pos);
}

FileDialogAnswer Form1Window::FileDialog(const FileDialogRequest& request) {
    return fileDialog_ ? fileDialog_(request) : RunFileDialog(this, request);
}

FileChoice Form1Window::ChooseFile(const TextFileDialog& dialog) {
    const FileDialogAnswer answer = FileDialog(RequestOf(dialog));
    if (answer.path.isEmpty())
        return {};
    return {ToStdBytes(answer.path.toUtf8()), ToU16(QFileInfo(answer.path).fileName()),
            answer.filter};
}

void Form1Window::ShowAnalysis() {
    if (!analysis_)
        analysis_ = std::make_unique<AnalysisWindow>(
            Traffic, [this](const FileDialogRequest& r) { return FileDialog(r); },
            [this](const QString& text) { MsgBox(text); }, this);
    analysis_->SetCaptureLine(
        [this] { return MSComm1 ? CommCaptureLine(*MSComm1) : CaptureInterface{}; });
    analysis_->show();
    analysis_->raise();
    analysis_->activateWindow();
}

void Form1Window::ShowMonitor() {
    if (!monitor_)
        monitor_ = std::make_unique<MonitorWindow>(
            nullptr, [this](const FileDialogRequest& r) { return FileDialog(r); },
            [this](const QString& text) { MsgBox(text); }, this);
    monitor_->show();
    monitor_->raise();
    monitor_->activateWindow();
}

void Form1Window::ShowPortDoctor() {
    if (!doctor_)
        doctor_ = std::make_unique<PortDoctorWindow>(nullptr, this);
    else
        doctor_->Refresh();
    doctor_->show();
    doctor_->raise();
    doctor_->activateWindow();
}

void Form1Window::UpdateHexTip() {
    TextBox* hex = Widget(&Form1::Text5);
    hex->setToolTip(ToQString(HexEntryTip(ToU16(hex->Text()))));
}
