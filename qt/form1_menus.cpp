// The context menus of the work log and the text box, the analysis window
// they open, the files they read and write, and the hex entry's tooltip.
// None of it adds a control to the window or a line to the work log.
#include "qt/analysis_window.h"
#include "qt/qt_text.h"
#include "core/hex_entry_check.h"
#include "qt/form1.h"
#include "qt/text_files.h"

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
    Text4->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Text4, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = MakeLogMenu(pos);
        menu->exec(Text4->viewport()->mapToGlobal(pos));
        delete menu;
    });
    Text3->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Text3, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = MakeTextMenu(pos);
        menu->exec(Text3->viewport()->mapToGlobal(pos));
        delete menu;
    });
    connect(Text5, &QPlainTextEdit::textChanged, this, &Form1Window::UpdateHexTip);
    UpdateHexTip();
}

QMenu* Form1Window::MakeLogMenu(const QPoint& pos) {
    QMenu* menu = Text4->createStandardContextMenu(pos);
    menu->addSeparator();
    QAction* analysis =
        menu->addAction(ToQString(kAnalysisEntry), this, &Form1Window::OpenAnalysis);
    analysis->setObjectName(QStringLiteral("actionTrafficAnalysis"));
    QAction* save = menu->addAction(ToQString(kSaveLogEntry), this, &Form1Window::SaveLog);
    save->setObjectName(QStringLiteral("actionSaveLog"));
    return menu;
}

QMenu* Form1Window::MakeTextMenu(const QPoint& pos) {
    QMenu* menu = Text3->createStandardContextMenu(pos);
    menu->addSeparator();
    QAction* open =
        menu->addAction(ToQString(kOpenTextEntry), this, &Form1Window::OpenTextFile);
    open->setObjectName(QStringLiteral("actionOpenText"));
    QAction* save = menu->addAction(ToQString(kSaveTextAsEntry), this, &Form1Window::SaveTextAs);
    save->setObjectName(QStringLiteral("actionSaveTextAs"));
    return menu;
}

FileDialogAnswer Form1Window::FileDialog(const FileDialogRequest& request) {
    return fileDialog_ ? fileDialog_(request) : RunFileDialog(this, request);
}

void Form1Window::OpenAnalysis() {
    if (!analysis_)
        analysis_ = std::make_unique<AnalysisWindow>(
            Traffic, [this](const FileDialogRequest& r) { return FileDialog(r); },
            [this](const QString& text) { MsgBox(text); }, this);
    analysis_->show();
    analysis_->raise();
    analysis_->activateWindow();
}

// The log exactly as it stands (its line breaks are CR LF), UTF-8 unless GBK
// is chosen.
void Form1Window::SaveLog() {
    const FileDialogAnswer answer = FileDialog(RequestOf(SaveLogDialog()));
    if (answer.path.isEmpty())
        return;
    QString error;
    const TextEncoding encoding = EncodingOfFilter(SaveLogDialog(), answer.filter);
    if (!WriteTextFile(answer.path, Text4->Text(), encoding, &error))
        MsgBox(error);
}

// Replaces the text as the demo buttons do: nothing sent, logged or selected.
void Form1Window::OpenTextFile() {
    const FileDialogAnswer answer = FileDialog(RequestOf(OpenTextDialog()));
    if (answer.path.isEmpty())
        return;
    QString error;
    const std::optional<DecodedText> text = ReadTextFile(answer.path, &error);
    if (!text) {
        MsgBox(error);
        return;
    }
    Text3->SetText(ToQString(text->text));
    Text3->SetSelStart(0);
    // Shown over the text, so that the replaced places can be found in it.
    if (text->replaced)
        MsgBox(ToQString(ReplacedNotice(ToU16(QFileInfo(answer.path).fileName()), *text)));
}

// GBK by default, the initial text file's encoding.
void Form1Window::SaveTextAs() {
    const FileDialogAnswer answer = FileDialog(RequestOf(SaveTextAsDialog()));
    if (answer.path.isEmpty())
        return;
    QString error;
    const TextEncoding encoding = EncodingOfFilter(SaveTextAsDialog(), answer.filter);
    if (!WriteTextFile(answer.path, Text3->Text(), encoding, &error))
        MsgBox(error);
}

void Form1Window::UpdateHexTip() {
    Text5->setToolTip(ToQString(HexEntryTip(ToU16(Text5->Text()))));
}
