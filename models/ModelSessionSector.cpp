#include "ModelSessionSector.h"

#include "ColumnTable.h"
#include "V2DataProvider.h"

#include <algorithm>

ModelSessionSector::ModelSessionSector(V2DataProvider* provider, const QString& skin, int sector, QObject* parent)
    : ModelAnalysisTable(provider, skin, parent)
    , m_sector(sector)
{
    connect(provider, &V2DataProvider::analysysLapsUpdateByRowSector, this, &ModelSessionSector::processAnalysisLap);
    connect(provider, &V2DataProvider::analysysSectorUpdateByRowMap, this, &ModelSessionSector::onAnalysysSectorUpdateByRowMap);
    connect(provider, &V2DataProvider::participantDetailsByPnum, this, &ModelSessionSector::processParticipantDetailsUpdate);
}

ModelSessionSector::~ModelSessionSector() = default;

int ModelSessionSector::sector() const
{
    return m_sector;
}

void ModelSessionSector::takeCopies()
{
    m_live.clear();
    if (const auto* rows = provider()->getSectorRows(m_sector))
        m_copy.take(*rows, *provider()->getSectorRowPositions(m_sector));
    else
        m_copy.clear();
}

void ModelSessionSector::clearCopies()
{
    m_live.clear();
    m_copy.clear();
}

int ModelSessionSector::recordCount() const
{
    return m_copy.count() + m_live.size();
}

int ModelSessionSector::liveRow(int liveIndex) const
{
    const quint64 key = m_live.at(liveIndex).dayTime;
    if (!m_copy.positions)
        return liveIndex;
    const auto first = m_copy.positions->cbegin();
    const auto after = std::upper_bound(first, first + m_copy.count(), key);
    return int(after - first) + liveIndex;
}

ModelAnalysisTable::Cell ModelSessionSector::cellAt(int row) const
{
    int before = 0;
    for (int i = 0; i < m_live.size(); ++i) {
        const int at = liveRow(i);
        if (at == row) {
            const SectorRecord& live = m_live.at(i);
            return {live.dayTime, live.pNum, ColumnTable::timeText(live.time), live.isValid};
        }
        if (at < row)
            ++before;
    }
    const SectorRecord* record = m_copy.at(row - before);
    if (!record)
        return Cell();
    return {record->dayTime, record->pNum, ColumnTable::timeText(record->time), record->isValid};
}

void ModelSessionSector::dropLiveRows()
{
    while (!m_live.isEmpty()) {
        const int row = liveRow(m_live.size() - 1);
        beginRemoveRows(QModelIndex(), row, row);
        m_live.removeLast();
        endRemoveRows();
    }
}

void ModelSessionSector::processAnalysisLap(int rowPos, bool isNewRow, int sectorNum, bool removeRow)
{
    if (sectorNum != m_sector)
        return;
    dropLiveRows();
    applyRow(rowPos, isNewRow, removeRow);
}

void ModelSessionSector::onAnalysysSectorUpdateByRowMap(QMap<int, QList<int>> map)
{
    const QList<int> rows = map.value(m_sector);
    if (rows.isEmpty())
        return;
    dropLiveRows();
    applyRowList(rows);
}

void ModelSessionSector::processParticipantDetailsUpdate(QString pNum)
{
    // Only the sector the car has just completed: the others' last times
    // belong to an earlier lap (or are not run yet). In sector 1 the last
    // sector of the track was completed.
    const int current = provider()->getCurrentSector(pNum);
    const int completed = current == 1 ? provider()->getNumberOfSectors() : current - 1;
    if (completed != m_sector)
        return;
    const SectorRecord record = provider()->getLastSectorRecord(pNum, m_sector);
    if (record.dayTime == 0 || record.time == 0 || m_copy.containsKey(record.dayTime))
        return;
    const auto sameKey = [&record](const SectorRecord& live) { return live.dayTime == record.dayTime; };
    if (std::any_of(m_live.cbegin(), m_live.cend(), sameKey))
        return;
    const auto place = std::upper_bound(m_live.cbegin(), m_live.cend(), record.dayTime,
                                        [](quint64 key, const SectorRecord& live) { return key < live.dayTime; });
    const int liveIndex = int(place - m_live.cbegin());
    m_live.insert(liveIndex, record);
    const int row = liveRow(liveIndex);
    // Announced after the fact: the record is in place, the row count follows.
    m_live.removeAt(liveIndex);
    beginInsertRows(QModelIndex(), row, row);
    m_live.insert(liveIndex, record);
    endInsertRows();
}

void ModelSessionSector::processUpdate()
{
    refreshAll();
}
