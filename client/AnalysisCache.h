#pragma once

#include <QList>
#include <QMultiMap>
#include <QPair>
#include <QString>
#include <QVector>

#include <algorithm>
#include <iterator>

// What an update of a cache did: a new row at `position`, or a known row
// changed (its rows are queued for the batch end).
struct AnalysisCacheUpdate {
    bool isNew = false;
    int position = -1;
};

// The sorted rows of one kind of lap analysis record and their row
// positions. The caller keeps the key each lap's record is filed under. Among
// equal keys the most recently filed record comes first. Every record's
// rowPosition equals its row at all times; only the rows that actually
// shift are renumbered.
template <typename Record>
class AnalysisCache final
{
public:
    using Rows = QMultiMap<quint64, Record>;
    // Row position → sort key of the record in that row.
    using RowPositions = QVector<quint64>;

    const Rows& rows() const { return m_rows; }
    Rows& rows() { return m_rows; }
    const RowPositions& rowPositions() const { return m_rowPositions; }

    void clear()
    {
        m_rows.clear();
        m_rowPositions.clear();
    }

    // Replaces everything with these records, given in filing order.
    void rebuild(const QVector<Record>& records)
    {
        clear();
        QVector<QPair<quint64, int>> order(records.size());
        for (int i = 0; i < records.size(); ++i)
            order[i] = {records.at(i).sortKey(), i};
        std::sort(order.begin(), order.end());
        // Filed at the end in key order; a later record of an equal key is
        // filed in front of the earlier ones by the plain insertion.
        for (const auto& entry : qAsConst(order))
            m_rows.insert(m_rows.cend(), entry.first, records.at(entry.second));
        renumberFrom(m_rows.begin(), 0);
    }

    // Files a new record, or replaces the record of the same lap filed
    // under knownKey (when known).
    AnalysisCacheUpdate update(bool known, quint64 knownKey, const Record& record)
    {
        if (known) {
            const auto it = find(knownKey, record.pNum, record.lapNumber);
            if (it != m_rows.end())
                return replace(it, record);
        }
        const auto inserted = m_rows.insert(record.sortKey(), record);
        // Rows before the new one keep their positions.
        renumberFrom(inserted, inserted == m_rows.begin() ? 0 : std::prev(inserted)->rowPosition + 1);
        const int position = inserted->rowPosition;
        shiftChanged([position](int row) { return row >= position ? row + 1 : row; });
        return {true, position};
    }

    // Removes the record of this lap filed under key; returns the row it
    // held, -1 when there is none.
    int remove(quint64 key, const QString& pNum, int lapNumber)
    {
        const auto it = find(key, pNum, lapNumber);
        if (it == m_rows.end())
            return -1;
        const int position = it->rowPosition;
        renumberFrom(m_rows.erase(it), position);
        m_changed.removeAll(position);
        shiftChanged([position](int row) { return row > position ? row - 1 : row; });
        return position;
    }

    // The rows changed since the last batch end, forgotten as they are returned.
    QList<int> takeChangedRows()
    {
        QList<int> changed;
        changed.swap(m_changed);
        return changed;
    }

    // The record shown in a row, or null.
    static const Record* recordAt(const Rows& rows, const RowPositions& positions, int row)
    {
        if (row < 0 || row >= positions.size())
            return nullptr;
        const quint64 key = positions.at(row);
        for (auto it = rows.constFind(key); it != rows.cend() && it.key() == key; ++it) {
            if (it->rowPosition == row)
                return &it.value();
        }
        return nullptr;
    }

private:
    typename Rows::iterator find(quint64 key, const QString& pNum, int lapNumber)
    {
        for (auto it = m_rows.find(key); it != m_rows.end() && it.key() == key; ++it) {
            if (it->pNum == pNum && it->lapNumber == lapNumber)
                return it;
        }
        return m_rows.end();
    }

    AnalysisCacheUpdate replace(typename Rows::iterator it, Record record)
    {
        const int before = it->rowPosition;
        record.rowPosition = before;
        if (it.key() == record.sortKey()) {
            // Same key: replaced where it is, so equal-key neighbours keep their rows.
            *it = record;
            m_changed.append(before);
            return {false, before};
        }
        // Another key: only the rows between the old and the new place shift.
        const auto next = m_rows.erase(it);
        const quint64 key = record.sortKey();
        const auto inserted = m_rows.insert(key, record);
        if (next == m_rows.end() || key <= next.key()) {
            // Moved towards the start (or stayed in its place).
            auto from = inserted;
            int position = from == m_rows.begin() ? 0 : std::prev(from)->rowPosition + 1;
            for (; from != next; ++from)
                setPosition(from, position++);
        } else {
            // Moved towards the end: the rows it passed move up by one.
            int position = before;
            for (auto from = next;; ++from) {
                setPosition(from, position++);
                if (from == inserted)
                    break;
            }
        }
        // Rows queued earlier in this batch follow the rows that moved.
        const int after = inserted->rowPosition;
        shiftChanged([before, after](int row) {
            if (row == before)
                return after;
            if (after < before && row >= after && row < before)
                return row + 1;
            if (after > before && row > before && row <= after)
                return row - 1;
            return row;
        });
        // Its old and its new row, so that a refreshed range covers every shifted row.
        m_changed.append(before);
        if (after != before)
            m_changed.append(after);
        return {false, before};
    }

    // Maps every row queued for the batch end to where its record is now.
    template <typename Map>
    void shiftChanged(Map map)
    {
        for (int& row : m_changed)
            row = map(row);
    }

    void setPosition(typename Rows::iterator it, int position)
    {
        it->rowPosition = position;
        m_rowPositions[position] = it.key();
    }

    // Gives the rows from `it` on the positions `position`, `position` + 1, …
    void renumberFrom(typename Rows::iterator it, int position)
    {
        m_rowPositions.resize(m_rows.size());
        quint64* keys = m_rowPositions.data();
        for (; it != m_rows.end(); ++it, ++position) {
            it->rowPosition = position;
            keys[position] = it.key();
        }
    }

    Rows m_rows;
    RowPositions m_rowPositions;
    QList<int> m_changed;
};
