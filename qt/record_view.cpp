#include "qt/record_view.h"

#include "core/traffic_table.h" // TrafficFieldHeaders
#include "qt/qt_text.h"

#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <algorithm>
#include <memory>

int SampleColumnWidth(const QFontMetrics& fm, std::u16string_view sample) {
    if (sample.empty())
        return 0;
    return fm.horizontalAdvance(ToQString(sample)) + 3 * fm.averageCharWidth();
}

QTableView* NewRowTable(QAbstractItemModel* model, const QString& name, int columns,
                        const std::function<std::u16string_view(int)>& sample, int* width) {
    auto* table = new QTableView;
    table->setObjectName(name);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setWordWrap(false);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Fixed row heights: the view never measures a million rows.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->verticalHeader()->hide();
    QHeaderView* h = table->horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    *width = 0;
    for (int c = 0; c < columns; ++c) {
        h->resizeSection(c, SampleColumnWidth(table->fontMetrics(), sample(c)));
        *width += h->sectionSize(c);
    }
    h->setStretchLastSection(true);
    return table;
}

QTableWidget* NewFieldTable() {
    auto* fields = new QTableWidget(0, 4);
    fields->setObjectName(QStringLiteral("fieldTable"));
    fields->setHorizontalHeaderLabels(ToQStringList(TrafficFieldHeaders()));
    fields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fields->verticalHeader()->hide();
    fields->horizontalHeader()->setStretchLastSection(true);
    fields->horizontalHeader()->resizeSection(0, 50);
    fields->horizontalHeader()->resizeSection(1, 80);
    fields->horizontalHeader()->resizeSection(2, 160);
    return fields;
}

void ShowFieldRows(QTableWidget* fields, const std::vector<FrameFieldRow>& rows) {
    fields->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const FrameFieldRow& f = rows[size_t(i)];
        const QString cells[] = {QString::number(f.offset), ToQString(f.field), ToQString(f.value),
                                 ToQString(f.meaning)};
        for (int c = 0; c < 4; ++c)
            fields->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
}

void FitToColumns(QWidget* window, const QTableView* table, int columns, int height) {
    const QMargins m = window->layout()->contentsMargins();
    int width = columns + 2 * table->frameWidth() +
                table->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + m.left() + m.right();
    if (const QScreen* s = window->screen())
        width = std::min(width, s->availableGeometry().width());
    window->resize(std::max(width, 640), height);
}

void FollowRows(QTableView* table, const std::function<void(int row)>& showFields) {
    QAbstractItemModel* model = table->model();
    QObject::connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, table,
                     [showFields](const QModelIndex& current) {
                         showFields(current.isValid() ? current.row() : -1);
                     });
    auto followEnd = std::make_shared<bool>(true);
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeInserted, table, [table, followEnd] {
        const QScrollBar* bar = table->verticalScrollBar();
        *followEnd = bar->value() >= bar->maximum();
    });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, table, [table, followEnd] {
        if (*followEnd)
            table->scrollToBottom();
    });
    QObject::connect(model, &QAbstractItemModel::dataChanged, table,
                     [table, showFields](const QModelIndex& first) {
                         const QModelIndex current = table->currentIndex();
                         if (current.isValid() && current.row() == first.row())
                             showFields(current.row());
                     });
}

QString AskSaveFile(const FileDialogFn& dialog, std::u16string_view caption,
                    std::u16string_view filter, std::u16string_view fileName) {
    FileDialogRequest request;
    request.save = true;
    request.caption = ToQString(caption);
    request.filters = {ToQString(filter)};
    request.fileName = ToQString(fileName);
    return dialog ? dialog(request).path : QString();
}
