#include "qt/analysis_window.h"

#include "qt/traffic_table.h"

#include <QTimer>
#include <algorithm>

TrafficModel::TrafficModel(const TrafficRecord& record, QObject* parent)
    : QAbstractTableModel(parent), record_(record), rows_(record.Count()) {
    record_.AddListener(this);
}

TrafficModel::~TrafficModel() {
    record_.RemoveListener(this);
}

void TrafficModel::Appended(int) {
    Schedule();
}

void TrafficModel::Changed(int row) {
    if (row < rows_)
        emit dataChanged(index(row, TrafficColumn::Elapsed), index(row, TrafficColumn::Elapsed));
}

void TrafficModel::Cleared() {
    beginResetModel();
    rows_ = 0;
    endResetModel();
}

void TrafficModel::DroppedFront(int count) {
    // Rows not yet taken in are the newest: the oldest shown ones go.
    const int gone = std::min(count, rows_);
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, gone - 1);
        rows_ -= gone;
        endRemoveRows();
    }
    Schedule();
    emit dropped();
}

void TrafficModel::Schedule() {
    if (scheduled_)
        return;
    scheduled_ = true;
    QTimer::singleShot(0, this, &TrafficModel::Sync);
}

void TrafficModel::Sync() {
    scheduled_ = false;
    const int count = record_.Count();
    if (count < rows_) { // cleared and refilled meanwhile
        beginResetModel();
        rows_ = count;
        endResetModel();
        return;
    }
    if (count == rows_)
        return;
    beginInsertRows(QModelIndex(), rows_, count - 1);
    rows_ = count;
    endInsertRows();
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TrafficColumn::Count;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.row() >= record_.Count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return TrafficCell(record_, index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() == TrafficColumn::Check)
        return int(Qt::AlignCenter);
    return {};
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return TrafficHeadersQt().value(section);
    return section + 1;
}
