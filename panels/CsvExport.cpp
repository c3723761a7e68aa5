#include "CsvExport.h"

#include <QHeaderView>
#include <QSaveFile>
#include <QStringList>
#include <QTableView>

QString CsvExport::field(const QString& text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool CsvExport::write(const QTableView& view, const QString& fileName, QString* error)
{
    const QAbstractItemModel* model = view.model();
    const QHeaderView* header = view.horizontalHeader();
    // The columns the user sees, in his order: not hidden, not squeezed to nothing.
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical) && header->sectionSize(logical) > 0)
            columns.append(logical);
    }
    QStringList lines;
    QStringList fields;
    for (int column : qAsConst(columns))
        fields.append(field(model->headerData(column, Qt::Horizontal).toString()));
    lines.append(fields.join(QLatin1Char(';')));
    for (int row = 0; row < model->rowCount(); ++row) {
        fields.clear();
        for (int column : qAsConst(columns))
            fields.append(field(model->index(row, column).data().toString()));
        lines.append(fields.join(QLatin1Char(';')));
    }
    // Written whole or not at all.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    // The byte-order mark tells spreadsheet programs the text is UTF-8
    // ("IM1 \u2015 IM2", accented names).
    file.write("\xEF\xBB\xBF");
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
