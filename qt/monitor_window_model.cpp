#include "qt/monitor_window.h"

#include "qt/qt_text.h"

#include <QBrush>
#include <QColor>

namespace {

// The background of a row with a finding.
const QColor kMarkedRow(255, 221, 221);

} // namespace

MonitorModel::MonitorModel(QObject* parent) : QAbstractTableModel(parent) {}

void MonitorModel::Clear() {
    beginResetModel();
    table_.clear();
    rows_ = 0;
    endResetModel();
}

void MonitorModel::Apply(const MonitorUpdate& update) {
    std::vector<int> changed;
    if (table_.apply(update, &changed)) {
        // Rows went away at the front: everything moved.
        beginResetModel();
        rows_ = table_.rowCount();
        endResetModel();
        return;
    }
    const int last = MonitorColumn::Count - 1;
    for (const int row : changed) {
        if (row >= 0 && row < rows_)
            emit dataChanged(index(row, 0), index(row, last));
    }
    if (table_.rowCount() > rows_) {
        beginInsertRows(QModelIndex(), rows_, table_.rowCount() - 1);
        rows_ = table_.rowCount();
        endInsertRows();
    }
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : MonitorColumn::Count;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.row() >= table_.rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return ToQString(table_.cell(index.row(), index.column()));
    if (role == Qt::BackgroundRole && table_.marked(index.row()))
        return QBrush(kMarkedRow);
    return {};
}

QVariant MonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < MonitorColumn::Count
                   ? ToQString(MonitorHeaders()[size_t(section)])
                   : QVariant();
    return section + 1;
}
