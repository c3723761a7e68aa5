#include "ModelSectionTimeAcc.h"

#include "ColumnTable.h"
#include "V2DataProvider.h"

ModelSectionTimeAcc::ModelSectionTimeAcc(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelAnalysisTable(provider, skin, parent)
{
    connect(provider, &V2DataProvider::analysysLapsUpdateByRowSectionAcc, this, &ModelSectionTimeAcc::processAnalysisLap);
    connect(provider, &V2DataProvider::analysysAccUpdateByRowList, this, &ModelSectionTimeAcc::onAnalysysAccUpdateByRowList);
}

ModelSectionTimeAcc::~ModelSectionTimeAcc() = default;

void ModelSectionTimeAcc::takeCopies()
{
    m_copy.take(provider()->getAccSectionRows(), provider()->getAccSectionRowPositions());
}

void ModelSectionTimeAcc::clearCopies()
{
    m_copy.clear();
}

int ModelSectionTimeAcc::recordCount() const
{
    return m_copy.count();
}

ModelAnalysisTable::Cell ModelSectionTimeAcc::cellAt(int row) const
{
    const AccSectionRecord* record = m_copy.at(row);
    if (!record)
        return Cell();
    return {record->dayTime, record->pNum, ColumnTable::timeText(record->time), record->isValid};
}

void ModelSectionTimeAcc::processAnalysisLap(int rowPos, bool isNewRow, bool removeRow)
{
    applyRow(rowPos, isNewRow, removeRow);
}

void ModelSectionTimeAcc::onAnalysysAccUpdateByRowList(QList<int> list)
{
    applyRowList(list);
}
