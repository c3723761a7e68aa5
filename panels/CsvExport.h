#pragma once

#include <QString>

class QTableView;

// Writes what a table view shows as CSV: the visible columns' headers, then
// each row's visible cells, separated by ";", in UTF-8. A field holding ";",
// a quote or a line break is quoted with its quotes doubled, so that
// spreadsheet programs read it back into the same cell.
class CsvExport final
{
public:
    // False with the reason in error when the file cannot be written.
    static bool write(const QTableView& view, const QString& fileName, QString* error);
    static QString field(const QString& text);
};
