#include "ModelSectionTime.h"

#include "ColumnTable.h"
#include "V2DataProvider.h"

namespace {

const QString kPorsche = QStringLiteral("Porsche");
const QString kFord = QStringLiteral("Ford");

} // namespace

ModelSectionTime::ModelSectionTime(V2DataProvider* provider, const QString& skin, const QString& sectionName, QObject* parent)
    : ModelAnalysisTable(provider, skin, parent)
    , m_porsche(sectionName.contains(kPorsche, Qt::CaseInsensitive))
{
    connect(provider, &V2DataProvider::analysysLapsUpdateByRowSection, this, &ModelSectionTime::processAnalysisLap);
    connect(provider, &V2DataProvider::analysysSectionUpdateByRowList, this, &ModelSectionTime::onAnalysisSectionUpdate);
}

ModelSectionTime::~ModelSectionTime() = default;

bool ModelSectionTime::isMine(const QString& sectionName) const
{
    return sectionName.contains(m_porsche ? kPorsche : kFord, Qt::CaseInsensitive);
}

void ModelSectionTime::takeCopies()
{
    if (m_porsche)
        m_copy.take(provider()->getPorscheSectionRows(), provider()->getPorscheSectionRowPositions());
    else
        m_copy.take(provider()->getFordSectionRows(), provider()->getFordSectionRowPositions());
}

void ModelSectionTime::clearCopies()
{
    m_copy.clear();
}

int ModelSectionTime::recordCount() const
{
    return m_copy.count();
}

ModelAnalysisTable::Cell ModelSectionTime::cellAt(int row) const
{
    const SectionRecord* record = m_copy.at(row);
    if (!record)
        return Cell();
    return {record->dayTime, record->pNum, ColumnTable::timeText(record->time), record->isValid};
}

void ModelSectionTime::processAnalysisLap(int rowPos, bool isNewRow, QString sectionName, bool removeRow)
{
    if (isMine(sectionName))
        applyRow(rowPos, isNewRow, removeRow);
}

void ModelSectionTime::onAnalysisSectionUpdate(QList<int> list, QString sectionName)
{
    if (isMine(sectionName))
        applyRowList(list);
}
