// "通信分析": the traffic record as a live table, one row per frame or status
// byte, and the selected row field by field below it. A window of its own,
// not modal.
#pragma once

#include "core/traffic_record.h"
#include "qt/file_dialog.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>

class QFontMetrics;
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

    TrafficModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QTableWidget* fields() const { return fields_; }

    // "导出CSV": asks for a file and writes every row to it.
    void ExportCsv();
    // Writes the CSV to path; false, with the message shown, on failure.
    bool WriteCsv(const QString& path);
    // Shows the fields of a row (-1: none).
    void ShowFields(int row);

  private:
    TrafficRecord& record_;
    FileDialogFn fileDialog_;
    std::function<void(const QString&)> message_;
    TrafficModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QTableWidget* fields_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* export_ = nullptr;
};
