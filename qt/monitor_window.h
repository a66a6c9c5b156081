// "监听两条线路": what a user's controller sends and the chip answers, read
// on two tap ports by a thread of its own (platform/monitor_thread.h) and
// taken on a timer into the core's table (core/monitor_view.h), which this
// window only shows. A window of its own, not modal.
#pragma once

#include "core/monitor_view.h"
#include "core/session_io.h"
#include "qt/file_dialog.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class CliSystem;
class MonitorThread;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;

// The core's MonitorTable as a table model: rows that came are inserted,
// rows that changed redrawn, rows with a finding marked.
class MonitorModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit MonitorModel(QObject* parent = nullptr);

    const MonitorTable& table() const { return table_; }
    void Clear();
    // Takes an update of the watch in.
    void Apply(const MonitorUpdate& update);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    MonitorTable table_;
    int rows_ = 0; // the rows the view knows of
};

class MonitorWindow : public QWidget {
    Q_OBJECT
  public:
    // The system's services that open the taps (platform/monitor_thread.h);
    // none: Linux's (LinuxCliSystem).
    using MakeSystem = std::function<std::unique_ptr<CliSystem>()>;
    MonitorWindow(MakeSystem makeSystem, FileDialogFn fileDialog,
                  std::function<void(const QString&)> message, QWidget* parent = nullptr);
    ~MonitorWindow() override;

    MonitorModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QTableWidget* fields() const { return fields_; }
    bool Watching() const { return thread_ != nullptr; }

    // Opens both taps (the names and rate chosen above) and watches them.
    void Start();
    // Asks the watch to end; the rows stay.
    void Stop();
    // Takes what the watch has gathered since the last turn.
    void Poll();
    // "导出CSV": asks for a file and writes every row to it.
    void ExportCsv();
    // "导出抓包文件": every row as a capture, one interface per tap, as
    // vxt4710-cli --capture monitor writes one.
    void ExportCapture();
    bool WriteCapture(const QString& path);
    // Shows the fields of a row (-1: none).
    void ShowFields(int row);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Ends the thread (waiting for it) and takes what it left.
    void EndWatch();
    void SetWatching(bool watching);

    MakeSystem makeSystem_;
    FileDialogFn fileDialog_;
    std::function<void(const QString&)> message_;
    SteadyClock clock_;
    // The thread goes first: it feeds the watch.
    std::unique_ptr<WindowWatch> watch_;
    std::unique_ptr<MonitorThread> thread_;
    QTimer timer_;
    QString host_, chip_;      // the names of the watch running
    int watchRate_ = 0;        // its rate at the start, bit/s
    int64_t epochZeroUs_ = 0;  // the wall clock at clock_'s zero
    int64_t watchStartUs_ = 0; // clock_ at the watch's t = 0
    bool failed_ = false;      // its failure is in the status line
    MonitorModel* model_ = nullptr;
    QComboBox* hostPort_ = nullptr;
    QComboBox* chipPort_ = nullptr;
    QComboBox* rate_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QTableView* table_ = nullptr;
    QTableWidget* fields_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* exportCapture_ = nullptr;
};
