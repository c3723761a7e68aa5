#pragma once

#include "ColumnTable.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QVector>

#include <cstddef>
#include <utility>

// The base of a table model that re-reads all its rows when the provider
// announces a change: a burst of notifications becomes one refresh a moment
// after the first (`scheduleRefresh`), and a refresh that keeps the number of
// rows repaints them instead of resetting the model, so that the views keep
// their scroll position and an open editor.
class CoalescedTableModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(CoalescedTableModel)

public:
    // How long a burst may last.
    static constexpr int kCoalesceMs = 40;

    ~CoalescedTableModel() override;

public slots:
    // Re-reads now; a refresh waiting for the burst's end is dropped.
    void processRefresh();
    // One refresh kCoalesceMs after the first notification of a burst.
    void scheduleRefresh();

protected:
    explicit CoalescedTableModel(QObject* parent);

    // The model's re-read of its rows: it ends with replaceRows.
    virtual void refreshRows() = 0;

    // The rows a refresh read: in place with one repaint of every row when
    // their number is unchanged, else with a reset.
    template <typename Rows> void replaceRows(Rows& rows, Rows fresh)
    {
        if (fresh.size() == rows.size() && !fresh.isEmpty()) {
            rows = std::move(fresh);
            ColumnTable::repaintRows(*this);
            return;
        }
        beginResetModel();
        rows = std::move(fresh);
        endResetModel();
    }

private:
    QTimer m_refresh;
};

// A coalesced model of one vector of rows and one `ColumnSpec` table over
// them: row and column counts, headers, texts and alignment come from those;
// the model reads its rows in `refreshRows` and hands them to `setRows`.
template <typename Row> class RowTableModel : public CoalescedTableModel
{
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_rows.size(); }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_columnCount; }

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override
    {
        if (orientation == Qt::Vertical)
            return role == Qt::DisplayRole ? QVariant(QString::number(section + 1)) : QVariant();
        if (section < 0 || section >= m_columnCount)
            return QVariant();
        if (role == Qt::DisplayRole)
            return QCoreApplication::translate(m_context, m_columns[section].header);
        return role == ColumnTable::DefaultWidthRole ? QVariant(m_columns[section].width) : QVariant();
    }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= m_columnCount)
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_columns[index.column()].text(m_rows.at(index.row()));
        return role == Qt::TextAlignmentRole ? QVariant(m_columns[index.column()].alignment) : QVariant();
    }

    const QVector<Row>& rows() const { return m_rows; }

protected:
    // context: the model's class name, the translation context of the headers.
    template <std::size_t N>
    RowTableModel(const ColumnSpec<Row> (&columns)[N], const char* context, QObject* parent)
        : CoalescedTableModel(parent)
        , m_columns(columns)
        , m_columnCount(int(N))
        , m_context(context)
    {
        static_assert(N > 0, "a table has columns");
    }

    void setRows(QVector<Row> rows) { replaceRows(m_rows, std::move(rows)); }

private:
    const ColumnSpec<Row>* m_columns;
    int m_columnCount;
    const char* m_context;
    QVector<Row> m_rows;
};
