#pragma once

#include "ColumnTable.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QVector>

#include <cstddef>
#include <type_traits>
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

    // Held (its panel cannot be seen), the model reads and announces
    // nothing: refreshes are only noted, and a model's own clock stops.
    // Released, a noted refresh is done at once, before the views paint.
    void setHeld(bool held);
    bool isHeld() const;

public slots:
    // Re-reads now; a refresh waiting for the burst's end is dropped.
    void processRefresh();
    // One refresh kCoalesceMs after the first notification of a burst.
    void scheduleRefresh();

protected:
    explicit CoalescedTableModel(QObject* parent);

    // The model's re-read of its rows: it ends with replaceRows.
    virtual void refreshRows() = 0;
    // For a model's own updates (one row, a clock's repaint): true while
    // held, noting that a refresh is owed, so the update is skipped.
    bool deferWhileHeld();
    // Held or released: a model with a clock of its own stops or starts it.
    virtual void heldChanged(bool held);

    // The rows a refresh read: in place when their number is unchanged, else
    // with a reset. In place, rows that compare (`operator==`) are repainted
    // only where they changed, one range per run of changed rows (a cell's
    // text is laid out again only when it may differ); others, or all rows
    // when `repaintAll` (what every row shows changed), are repainted whole.
    template <typename Rows> void replaceRows(Rows& rows, Rows fresh, bool repaintAll = false)
    {
        using Row = typename Rows::value_type;
        // Nothing before and nothing now (no car followed): nothing to lay out again.
        if (fresh.isEmpty() && rows.isEmpty())
            return;
        if (fresh.size() == rows.size()) {
            if constexpr (IsComparable<Row>::value) {
                if (!repaintAll) {
                    QVector<std::pair<int, int>> runs;
                    for (int r = 0; r < fresh.size(); ++r) {
                        if (fresh.at(r) == rows.at(r))
                            continue;
                        if (!runs.isEmpty() && runs.last().second == r - 1)
                            runs.last().second = r;
                        else
                            runs.append({r, r});
                    }
                    rows = std::move(fresh);
                    for (const auto& run : qAsConst(runs))
                        emit dataChanged(index(run.first, 0), index(run.second, columnCount() - 1));
                    return;
                }
            }
            rows = std::move(fresh);
            ColumnTable::repaintRows(*this);
            return;
        }
        beginResetModel();
        rows = std::move(fresh);
        endResetModel();
    }

private:
    template <typename T, typename = void>
    struct IsComparable : std::false_type {
    };
    template <typename T>
    struct IsComparable<T, std::void_t<decltype(std::declval<const T&>() == std::declval<const T&>())>> : std::true_type {
    };

    QTimer m_refresh;
    bool m_held = false;
    bool m_owed = false;
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
