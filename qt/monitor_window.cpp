// Before any Qt header: the command line's headers name a parameter
// "signals", which Qt defines as a word of its own.
#include "cli/cli_run.h"
#include "platform/monitor_thread.h"

#include "qt/monitor_window.h"

#include "core/line_rates.h"
#include "core/text_files.h"    // UnwritableFileMessage
#include "core/text_util.h"     // Utf16FromUtf8
#include "core/traffic_capture.h"
#include "core/traffic_table.h" // TrafficFieldHeaders, the export's captions
#include "platform/files.h"
#include "qt/qt_text.h"
#include "qt/record_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

namespace {

// The ports offered; any other name can be typed.
constexpr int kOfferedPorts = 20;
// How often the window takes what the thread read.
constexpr int kPollMs = 50;

QComboBox* PortBox(const char* name, int chosen) {
    auto* box = new QComboBox;
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= kOfferedPorts; ++n)
        box->addItem(QStringLiteral("COM%1").arg(n));
    box->setCurrentIndex(chosen - 1);
    box->setMinimumContentsLength(16);
    return box;
}

} // namespace

MonitorWindow::MonitorWindow(MakeSystem makeSystem, FileDialogFn fileDialog,
                             std::function<void(const QString&)> message, QWidget* parent)
    : QWidget(parent, Qt::Window), makeSystem_(std::move(makeSystem)),
      fileDialog_(std::move(fileDialog)), message_(std::move(message)) {
    if (!makeSystem_)
        makeSystem_ = [] { return std::make_unique<LinuxCliSystem>(); };
    setObjectName(QStringLiteral("MonitorWindow"));
    setWindowTitle(ToQString(kMonitorTitle));
    model_ = new MonitorModel(this);

    hostPort_ = PortBox("hostPort", 2);
    chipPort_ = PortBox("chipPort", 3);
    rate_ = new QComboBox;
    rate_->setObjectName(QStringLiteral("rate"));
    for (const LineRate& rate : kLineRates)
        rate_->addItem(QString::number(rate.bitsPerSecond));
    start_ = new QPushButton(ToQString(kMonitorStart));
    start_->setObjectName(QStringLiteral("startButton"));
    stop_ = new QPushButton(ToQString(kMonitorStop));
    stop_->setObjectName(QStringLiteral("stopButton"));
    stop_->setEnabled(false);

    int columns = 0;
    table_ = NewRowTable(model_, QStringLiteral("monitorTable"), MonitorColumn::Count,
                         [](int c) { return MonitorColumnSample(c); }, &columns);

    fields_ = NewFieldTable();

    counts_ = new QLabel(ToQString(model_->table().countsText()));
    counts_->setObjectName(QStringLiteral("countsLabel"));
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("statusLabel"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    export_ = new QPushButton(ToQString(kAnalysisExport));
    export_->setObjectName(QStringLiteral("exportButton"));
    exportCapture_ = new QPushButton(ToQString(kAnalysisExportCapture));
    exportCapture_->setObjectName(QStringLiteral("exportCaptureButton"));

    auto* ports = new QHBoxLayout;
    ports->addWidget(new QLabel(ToQString(kMonitorHostLabel)));
    ports->addWidget(hostPort_);
    ports->addWidget(new QLabel(ToQString(kMonitorChipLabel)));
    ports->addWidget(chipPort_);
    ports->addWidget(new QLabel(ToQString(kMonitorRateLabel)));
    ports->addWidget(rate_);
    ports->addWidget(start_);
    ports->addWidget(stop_);
    ports->addStretch();
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(table_);
    split->addWidget(fields_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(counts_);
    bottom->addStretch();
    bottom->addWidget(export_);
    bottom->addWidget(exportCapture_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ports);
    layout->addWidget(split);
    layout->addLayout(bottom);
    layout->addWidget(status_);

    connect(start_, &QPushButton::clicked, this, &MonitorWindow::Start);
    connect(stop_, &QPushButton::clicked, this, &MonitorWindow::Stop);
    connect(export_, &QPushButton::clicked, this, &MonitorWindow::ExportCsv);
    connect(exportCapture_, &QPushButton::clicked, this, &MonitorWindow::ExportCapture);
    connect(&timer_, &QTimer::timeout, this, &MonitorWindow::Poll);
    FollowRows(table_, [this](int row) { ShowFields(row); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        ShowFields(-1);
        table_->scrollToBottom();
    });

    // Wide enough for every column and the vertical scroll bar beside them.
    FitToColumns(this, table_, columns, 640);
}

MonitorWindow::~MonitorWindow() {
    EndWatch();
}

void MonitorWindow::SetWatching(bool watching) {
    start_->setEnabled(!watching);
    stop_->setEnabled(watching);
    hostPort_->setEnabled(!watching);
    chipPort_->setEnabled(!watching);
    rate_->setEnabled(!watching);
    if (watching)
        timer_.start(kPollMs);
    else
        timer_.stop();
}

void MonitorWindow::Start() {
    if (thread_)
        return;
    EndWatch();
    model_->Clear(); // the row numbers of a new watch start again
    host_ = hostPort_->currentText().trimmed();
    chip_ = chipPort_->currentText().trimmed();
    TapMonitor::Options options;
    options.rateIndex = std::max(0, rate_->currentIndex());
    failed_ = false;
    // The wall clock at the steady clock's zero: a capture's times.
    epochZeroUs_ = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count() -
                   clock_.nowUs();
    watchRate_ = RateOfIndex(options.rateIndex);
    watch_ = std::make_unique<WindowWatch>(clock_, options);
    thread_ = std::make_unique<MonitorThread>(makeSystem_, host_.toStdString(), chip_.toStdString(),
                                              RateOfIndex(options.rateIndex), *watch_);
    status_->setText(ToQString(MonitorStatusText(true, ToU16(host_), ToU16(chip_), options.rateIndex)));
    counts_->setText(ToQString(model_->table().countsText()));
    SetWatching(true);
}

void MonitorWindow::Stop() {
    if (!thread_)
        return;
    thread_->stop();
    // The next turn of the timer sees the watch end; the window never waits.
    stop_->setEnabled(false);
}

void MonitorWindow::Poll() {
    if (!watch_)
        return;
    const MonitorUpdate update = watch_->take();
    watchStartUs_ = watch_->startedAtUs();
    model_->Apply(update);
    counts_->setText(ToQString(model_->table().countsText()));
    if (!update.failure.empty()) {
        status_->setText(QString::fromStdString(update.failure));
        failed_ = true;
    }
    if (update.ended) {
        thread_.reset(); // the watch ended: the thread is done or about to be
        watch_.reset();
        SetWatching(false);
        if (!failed_)
            status_->setText(ToQString(MonitorStatusText(false, {}, {}, 0)));
    } else if (!failed_) {
        status_->setText(ToQString(
            MonitorStatusText(true, ToU16(host_), ToU16(chip_), model_->table().rateIndex())));
    }
}

void MonitorWindow::EndWatch() {
    if (!watch_)
        return;
    thread_.reset(); // stops the watch and waits for the thread
    Poll();          // the watch has ended: its last rows come in
    thread_.reset();
    watch_.reset();
    SetWatching(false);
}

void MonitorWindow::closeEvent(QCloseEvent* event) {
    EndWatch();
    event->accept();
}

void MonitorWindow::ShowFields(int row) {
    fields_->setRowCount(0);
    if (row < 0 || row >= model_->table().rowCount())
        return;
    const std::vector<FrameFieldRow> rows = model_->table().fields(row);
    ShowFieldRows(fields_, rows);
}

void MonitorWindow::ExportCsv() {
    const QString path = AskSaveFile(fileDialog_, kAnalysisExportCaption, kAnalysisCsvFilter, kMonitorCsvName);
    if (path.isEmpty())
        return;
    Poll(); // the rows read until now
    const std::string reason =
        files::Save(ToStdBytes(path.toUtf8()), [this](const files::ByteSink& write) {
            return model_->table().writeCsv(write);
        });
    if (!reason.empty() && message_)
        message_(ToQString(UnwritableFileMessage(ToU16(QFileInfo(path).fileName()),
                                                 Utf16FromUtf8(reason))));
}

void MonitorWindow::ExportCapture() {
    const QString path = AskSaveFile(fileDialog_, kAnalysisExportCaptureCaption, kAnalysisCaptureFilter, kMonitorCaptureName);
    if (!path.isEmpty())
        WriteCapture(path);
}

bool MonitorWindow::WriteCapture(const QString& path) {
    Poll(); // the rows read until now
    const std::string reason =
        files::Save(ToStdBytes(path.toUtf8()), [this](const files::ByteSink& write) {
            return WriteMonitorCapture(model_->table(), {host_.toStdString(), watchRate_},
                                       {chip_.toStdString(), watchRate_},
                                       epochZeroUs_ + watchStartUs_, write);
        });
    if (reason.empty())
        return true;
    if (message_)
        message_(ToQString(
            UnwritableFileMessage(ToU16(QFileInfo(path).fileName()), Utf16FromUtf8(reason))));
    return false;
}
