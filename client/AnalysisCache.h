#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QString>

#include <iterator>

// What an update of a cache did: a new row at `position`, or a known row
// changed in place (its former position is queued for the batch end).
struct AnalysisCacheUpdate {
    bool isNew = false;
    int position = -1;
};

// The sorted rows of one kind of lap analysis record, their row positions
// and the index from lap id to the key each record is filed under.
//
// Between batches the rows are in key order and every record's rowPosition
// equals its row. During a batch a known record may move to another key;
// positions are then put right once, by finishBatch().
template <typename Record>
class AnalysisCache final
{
public:
    using Rows = QMultiMap<quint64, Record>;
    using RowPositions = QMap<int, quint64>;

    const Rows& rows() const { return m_rows; }
    Rows& rows() { return m_rows; }
    const RowPositions& rowPositions() const { return m_rowPositions; }
    bool isKnown(const QString& id) const { return m_lapIndex.contains(id); }

    void clear()
    {
        m_rows.clear();
        m_rowPositions.clear();
        m_lapIndex.clear();
        m_moved.clear();
        m_dirty = false;
    }

    // Files a record without renumbering (full rebuilds renumber once at the end).
    void file(const QString& id, const Record& record)
    {
        m_rows.insert(record.sortKey(), record);
        m_lapIndex.insert(id, record.sortKey());
    }

    void renumber()
    {
        renumberFrom(m_rows.begin(), 0);
        m_dirty = false;
    }

    // Files a new record or replaces the known record of this lap.
    AnalysisCacheUpdate update(const QString& id, Record record)
    {
        const auto indexed = m_lapIndex.constFind(id);
        if (indexed != m_lapIndex.cend()) {
            const auto it = find(indexed.value(), record.pNum, record.lapNumber);
            if (it != m_rows.end()) {
                const int before = it->rowPosition;
                // The row keeps its position until the batch end renumbers.
                record.rowPosition = before;
                if (it.key() == record.sortKey()) {
                    // Same key: replaced where it is, so equal-key neighbours keep their rows.
                    *it = record;
                } else {
                    m_rows.erase(it);
                    m_rows.insert(record.sortKey(), record);
                    m_lapIndex.insert(id, record.sortKey());
                    m_moved.append({id, record.pNum, record.lapNumber});
                    m_dirty = true;
                }
                m_pending.append(before);
                return {false, before};
            }
        }
        const auto inserted = m_rows.insert(record.sortKey(), record);
        m_lapIndex.insert(id, record.sortKey());
        if (m_dirty) {
            renumber();
        } else {
            // Rows before the new one keep their positions.
            const int position = inserted == m_rows.begin() ? 0 : std::prev(inserted)->rowPosition + 1;
            renumberFrom(inserted, position);
        }
        return {true, inserted->rowPosition};
    }

    // Removes the record of this lap; returns the row it held, -1 when unknown.
    int remove(const QString& id, const QString& pNum, int lapNumber)
    {
        const auto indexed = m_lapIndex.constFind(id);
        if (indexed == m_lapIndex.cend())
            return -1;
        const auto it = find(indexed.value(), pNum, lapNumber);
        m_lapIndex.erase(indexed);
        if (it == m_rows.end())
            return -1;
        const int position = it->rowPosition;
        m_rowPositions.remove(position);
        const auto next = m_rows.erase(it);
        if (m_dirty || position < 0)
            renumber();
        else
            renumberFrom(next, position);
        return position;
    }

    // Ends a batch: renumbers when rows moved and queues the rows the moved
    // records now hold, so that a refreshed range covers every shifted row.
    // Returns the rows changed during the batch and forgets them.
    QList<int> finishBatch()
    {
        if (m_dirty)
            renumber();
        for (const Moved& moved : qAsConst(m_moved)) {
            const auto indexed = m_lapIndex.constFind(moved.id);
            if (indexed == m_lapIndex.cend())
                continue;
            for (auto it = m_rows.constFind(indexed.value()); it != m_rows.cend() && it.key() == indexed.value(); ++it) {
                if (it->pNum == moved.pNum && it->lapNumber == moved.lapNumber) {
                    m_pending.append(it->rowPosition);
                    break;
                }
            }
        }
        m_moved.clear();
        QList<int> pending;
        pending.swap(m_pending);
        return pending;
    }

    // The record shown in a row, or null.
    static const Record* recordAt(const Rows& rows, const RowPositions& positions, int row)
    {
        const auto key = positions.constFind(row);
        if (key == positions.cend())
            return nullptr;
        const Record* first = nullptr;
        for (auto it = rows.constFind(key.value()); it != rows.cend() && it.key() == key.value(); ++it) {
            if (it->rowPosition == row)
                return &it.value();
            if (!first)
                first = &it.value();
        }
        return first;
    }

private:
    struct Moved {
        QString id;
        QString pNum;
        int lapNumber;
    };

    typename Rows::iterator find(quint64 key, const QString& pNum, int lapNumber)
    {
        for (auto it = m_rows.find(key); it != m_rows.end() && it.key() == key; ++it) {
            if (it->pNum == pNum && it->lapNumber == lapNumber)
                return it;
        }
        return m_rows.end();
    }

    // Gives the rows from `it` on the positions `position`, `position` + 1, …
    void renumberFrom(typename Rows::iterator it, int position)
    {
        auto slot = m_rowPositions.lowerBound(position);
        for (; it != m_rows.end(); ++it, ++position) {
            it->rowPosition = position;
            if (slot != m_rowPositions.end() && slot.key() == position) {
                slot.value() = it.key();
                ++slot;
            } else {
                slot = std::next(m_rowPositions.insert(slot, position, it.key()));
            }
        }
        while (slot != m_rowPositions.end())
            slot = m_rowPositions.erase(slot);
    }

    Rows m_rows;
    RowPositions m_rowPositions;
    QHash<QString, quint64> m_lapIndex;
    QList<int> m_pending;
    QList<Moved> m_moved;
    bool m_dirty = false;
};
