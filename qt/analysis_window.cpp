#include "qt/analysis_window.h"
#include "qt/qt_text.h"
#include "qt/record_view.h"

#include "core/traffic_capture.h"
#include "qt/traffic_table.h"

#include <QFile>
#include <QFileInfo>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

int TrafficColumnWidth(const QFontMetrics& fm, int column) {
    return SampleColumnWidth(fm, TrafficColumnSample(column));
}

AnalysisWindow::AnalysisWindow(TrafficRecord& record, FileDialogFn fileDialog,
                               std::function<void(const QString&)> message, QWidget* parent)
    : QWidget(parent, Qt::Window), record_(record), fileDialog_(std::move(fileDialog)),
      message_(std::move(message)) {
    setObjectName(QStringLiteral("AnalysisWindow"));
    model_ = new TrafficModel(record, this);
    // Once older records were let go, the title says how many.
    connect(model_, &TrafficModel::dropped, this, &AnalysisWindow::Retitle);
    connect(model_, &QAbstractItemModel::modelReset, this, &AnalysisWindow::Retitle);
    Retitle();
    int columns = 0;
    table_ = NewRowTable(model_, QStringLiteral("trafficTable"), TrafficColumn::Count,
                         [](int c) { return TrafficColumnSample(c); }, &columns);

    fields_ = NewFieldTable();

    clear_ = new QPushButton(ToQString(kAnalysisClear));
    clear_->setObjectName(QStringLiteral("clearButton"));
    export_ = new QPushButton(ToQString(kAnalysisExport));
    export_->setObjectName(QStringLiteral("exportButton"));
    exportCapture_ = new QPushButton(ToQString(kAnalysisExportCapture));
    exportCapture_->setObjectName(QStringLiteral("exportCaptureButton"));
    openCapture_ = new QPushButton(ToQString(kAnalysisOpenCapture));
    openCapture_->setObjectName(QStringLiteral("openCaptureButton"));

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(table_);
    split->addWidget(fields_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear_);
    buttons->addWidget(export_);
    buttons->addWidget(exportCapture_);
    buttons->addWidget(openCapture_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    layout->addLayout(buttons);

    connect(clear_, &QPushButton::clicked, this, [this] {
        record_.Clear();
        ShowFields(-1);
    });
    connect(export_, &QPushButton::clicked, this, &AnalysisWindow::ExportCsv);
    connect(exportCapture_, &QPushButton::clicked, this, &AnalysisWindow::ExportCapture);
    connect(openCapture_, &QPushButton::clicked, this, &AnalysisWindow::OpenCapture);
    FollowRows(table_, [this](int row) { ShowFields(row); });
    table_->scrollToBottom();

    // Wide enough for every column and the vertical scroll bar beside them.
    FitToColumns(this, table_, columns, 640);
}

void AnalysisWindow::Retitle() {
    // A capture's window names its file; the live one says when older
    // records were let go.
    setWindowTitle(ToQString(fileName_.isEmpty() ? AnalysisTitle(record_.Dropped())
                                                 : CaptureWindowTitle(ToU16(fileName_))));
}

void AnalysisWindow::ShowFields(int row) {
    fields_->setRowCount(0);
    if (row < 0 || row >= record_.Count())
        return;
    const std::vector<FrameFieldRow> rows = TrafficFields(record_, row);
    ShowFieldRows(fields_, rows);
}

void AnalysisWindow::ExportCsv() {
    const QString path = AskSaveFile(fileDialog_, kAnalysisExportCaption, kAnalysisCsvFilter, kAnalysisCsvName);
    if (path.isEmpty())
        return;
    WriteCsv(path);
}

AnalysisWindow::~AnalysisWindow() {
    delete model_; // it listens to the record, which may be this window's own
}

bool AnalysisWindow::WriteCsv(const QString& path) {
    return WriteFile(path, [this](QIODevice& out) { return WriteTrafficCsv(record_, out); });
}

// The file is replaced only once all of it is written.
bool AnalysisWindow::WriteFile(const QString& path, const std::function<bool(QIODevice&)>& write) {
    model_->Sync();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && write(file) && file.commit())
        return true;
    if (message_)
        message_(QStringLiteral("无法写入 %1：%2").arg(path, file.errorString()));
    return false;
}

void AnalysisWindow::ExportCapture() {
    const QString path = AskSaveFile(fileDialog_, kAnalysisExportCaptureCaption, kAnalysisCaptureFilter, kAnalysisCaptureName);
    if (!path.isEmpty())
        WriteCapture(path);
}

bool AnalysisWindow::WriteCapture(const QString& path) {
    const CaptureInterface line = line_ ? line_() : CaptureInterface{};
    return WriteFile(path, [&](QIODevice& out) {
        return WriteTrafficCapture(record_, line, [&out](std::string_view bytes) {
            return out.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
        });
    });
}

void AnalysisWindow::OpenCapture() {
    FileDialogRequest request;
    request.caption = ToQString(kAnalysisOpenCaptureCaption);
    request.filters = {ToQString(kAnalysisCaptureFilter)};
    const FileDialogAnswer answer = fileDialog_ ? fileDialog_(request) : FileDialogAnswer{};
    if (answer.path.isEmpty())
        return;
    if (AnalysisWindow* shown = ShowCapture(answer.path)) {
        shown->show();
        shown->raise();
        shown->activateWindow();
    }
}

AnalysisWindow* AnalysisWindow::ShowCapture(const QString& path) {
    const auto tell = [this](const QString& text) {
        if (message_)
            message_(text);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tell(QStringLiteral("无法读取 %1：%2").arg(path, file.errorString()));
        return nullptr;
    }
    if (file.size() > kMaxCaptureFileBytes) {
        tell(QStringLiteral("无法读取 %1：文件大于 %2 MB")
                 .arg(path)
                 .arg(kMaxCaptureFileBytes >> 20));
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    const QString name = QFileInfo(path).fileName();
    auto record = std::make_unique<TrafficRecord>();
    const CaptureRecorded read =
        RecordCapture(std::string_view(bytes.constData(), size_t(bytes.size())), *record);
    const QString problems = ToQString(CaptureProblemsText(ToU16(name), read));
    AnalysisWindow* shown = nullptr;
    if (record->Count() > 0) {
        shown = new AnalysisWindow(*record, fileDialog_, message_, this);
        shown->owned_ = std::move(record);
        shown->line_ = line_;
        shown->setAttribute(Qt::WA_DeleteOnClose);
        shown->fileName_ = name;
        shown->Retitle();
    }
    if (!problems.isEmpty())
        tell(problems);
    return shown;
}
