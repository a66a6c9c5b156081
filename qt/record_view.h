// The parts both windows of rows (the analysis window, the monitor window)
// are made of: a table of rows that never measures its rows, the table of a
// row's fields, and their widths.
#pragma once

#include "core/frame_decode.h" // FrameFieldRow
#include "qt/file_dialog.h"

#include <QString>
#include <functional>
#include <string_view>
#include <vector>

class QAbstractItemModel;
class QFontMetrics;
class QTableView;
class QTableWidget;
class QWidget;

// The width a column opens with: its widest everyday text and the cell's
// padding on either side, as the item delegate draws it (0: no sample).
int SampleColumnWidth(const QFontMetrics& fm, std::u16string_view sample);

// A table of model's rows, one selected at a time, each column as wide as
// sample(column) wants; *width gets the columns' sum.
QTableView* NewRowTable(QAbstractItemModel* model, const QString& name, int columns,
                        const std::function<std::u16string_view(int)>& sample, int* width);

// The field-by-field table ("偏移", "字段", "值", "含义").
QTableWidget* NewFieldTable();
void ShowFieldRows(QTableWidget* fields, const std::vector<FrameFieldRow>& rows);

// The table follows new rows while its end is in view (a user who scrolled
// up keeps their place); showFields(row) hears the current row (-1: none),
// again when that row changes.
void FollowRows(QTableView* table, const std::function<void(int row)>& showFields);

// A window as wide as its table's columns, the scroll bar and the margins
// (columns: their sum), as far as its screen allows.
void FitToColumns(QWidget* window, const QTableView* table, int columns, int height);

// The file an export asks for through dialog (empty: none chosen or no
// dialog): the save dialog with its caption, one filter and a file name.
QString AskSaveFile(const FileDialogFn& dialog, std::u16string_view caption,
                    std::u16string_view filter, std::u16string_view fileName);
