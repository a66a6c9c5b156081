// "通信分析": the traffic record as a live table, one row per frame or status
// byte, and the selected row field by field below it. A window of its own,
// not modal.
#pragma once

#include "core/capture_file.h"
#include "core/traffic_record.h"
#include "qt/file_dialog.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>
#include <memory>

class QFontMetrics;
class QIODevice;
class QPushButton;
class QTableView;
class QTableWidget;

// The record as a table model. It holds nothing per row: every cell is made
// from the record when the view asks for it, so a million rows cost the
// record's own memory only. New records join at the next turn of the event
// loop, many at once.
class TrafficModel : public QAbstractTableModel, private TrafficRecord::Listener {
    Q_OBJECT
  public:
    explicit TrafficModel(const TrafficRecord& record, QObject* parent = nullptr);
    ~TrafficModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes in what the record gained since the last call.
    void Sync();

  signals:
    // The record let its oldest records go.
    void dropped();

  private:
    void Appended(int row) override;
    void Changed(int row) override;
    void Cleared() override;
    void DroppedFront(int count) override;
    void Schedule();
    const TrafficRecord& record_;
    int rows_ = 0;
    bool scheduled_ = false;
};

// The width a column of the table opens with: its widest everyday text.
int TrafficColumnWidth(const QFontMetrics& fm, int column);

class AnalysisWindow : public QWidget {
    Q_OBJECT
  public:
    AnalysisWindow(TrafficRecord& record, FileDialogFn fileDialog,
                   std::function<void(const QString&)> message, QWidget* parent = nullptr);
    ~AnalysisWindow() override;

    // The line a capture export names (its port and rate); none: unnamed.
    void SetCaptureLine(std::function<CaptureInterface()> line) { line_ = std::move(line); }

    TrafficModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QTableWidget* fields() const { return fields_; }

    // "导出CSV": asks for a file and writes every row to it.
    void ExportCsv();
    // Writes the CSV to path; false, with the message shown, on failure.
    bool WriteCsv(const QString& path);
    // Shows the fields of a row (-1: none).
    void ShowFields(int row);

    // "导出抓包文件": asks for a file and writes every row to it as a capture.
    void ExportCapture();
    bool WriteCapture(const QString& path);
    // "打开抓包文件": asks for a capture and shows it in a window of its own
    // (this window's rows stay as they are).
    void OpenCapture();
    // The window showing the capture at path, its problems told; none when
    // nothing could be read (told why).
    AnalysisWindow* ShowCapture(const QString& path);

  private:
    bool WriteFile(const QString& path, const std::function<bool(QIODevice&)>& write);
    void Retitle();

    TrafficRecord& record_;
    std::unique_ptr<TrafficRecord> owned_; // a capture's record, shown by this window
    std::function<CaptureInterface()> line_;
    QString fileName_; // the capture shown; empty: the live record
    FileDialogFn fileDialog_;
    std::function<void(const QString&)> message_;
    TrafficModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QTableWidget* fields_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* exportCapture_ = nullptr;
    QPushButton* openCapture_ = nullptr;
};
