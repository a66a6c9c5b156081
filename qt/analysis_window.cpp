#include "qt/analysis_window.h"
#include "qt/qt_text.h"
#include "qt/record_view.h"

#include "qt/traffic_table.h"

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
    const auto retitle = [this] { setWindowTitle(ToQString(AnalysisTitle(record_.Dropped()))); };
    connect(model_, &TrafficModel::dropped, this, retitle);
    connect(model_, &QAbstractItemModel::modelReset, this, retitle);
    retitle();
    int columns = 0;
    table_ = NewRowTable(model_, QStringLiteral("trafficTable"), TrafficColumn::Count,
                         [](int c) { return TrafficColumnSample(c); }, &columns);

    fields_ = NewFieldTable();

    clear_ = new QPushButton(ToQString(kAnalysisClear));
    clear_->setObjectName(QStringLiteral("clearButton"));
    export_ = new QPushButton(ToQString(kAnalysisExport));
    export_->setObjectName(QStringLiteral("exportButton"));

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(table_);
    split->addWidget(fields_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear_);
    buttons->addWidget(export_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    layout->addLayout(buttons);

    connect(clear_, &QPushButton::clicked, this, [this] {
        record_.Clear();
        ShowFields(-1);
    });
    connect(export_, &QPushButton::clicked, this, &AnalysisWindow::ExportCsv);
    FollowRows(table_, [this](int row) { ShowFields(row); });
    table_->scrollToBottom();

    // Wide enough for every column and the vertical scroll bar beside them.
    FitToColumns(this, table_, columns, 640);
}

void AnalysisWindow::ShowFields(int row) {
    fields_->setRowCount(0);
    if (row < 0 || row >= record_.Count())
        return;
    const std::vector<FrameFieldRow> rows = TrafficFields(record_, row);
    ShowFieldRows(fields_, rows);
}

void AnalysisWindow::ExportCsv() {
    FileDialogRequest request;
    request.save = true;
    request.caption = ToQString(kAnalysisExportCaption);
    request.filters = {ToQString(kAnalysisCsvFilter)};
    request.fileName = ToQString(kAnalysisCsvName);
    const FileDialogAnswer answer = fileDialog_ ? fileDialog_(request) : FileDialogAnswer{};
    if (answer.path.isEmpty())
        return;
    WriteCsv(answer.path);
}

bool AnalysisWindow::WriteCsv(const QString& path) {
    model_->Sync();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && WriteTrafficCsv(record_, file) && file.commit())
        return true;
    if (message_)
        message_(QStringLiteral("无法写入 %1：%2").arg(path, file.errorString()));
    return false;
}
