#include "ModelSessionSpeed.h"

#include "V2DataProvider.h"

ModelSessionSpeed::ModelSessionSpeed(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelAnalysisTable(provider, skin, parent)
{
    connect(provider, &V2DataProvider::analysysLapsUpdateByRowSectionSpeed, this, &ModelSessionSpeed::processAnalysisLap);
    connect(provider, &V2DataProvider::analysysSpeedUpdateByRowList, this, &ModelSessionSpeed::onAnalysysSpeedUpdateByRowList);
    connect(provider, &V2DataProvider::speedUnitsChanged, this, &ModelSessionSpeed::setUsaUnits);
    m_usaUnits = provider->usaUnits();
}

ModelSessionSpeed::~ModelSessionSpeed() = default;

void ModelSessionSpeed::takeCopies()
{
    m_copy.take(provider()->getSpeedRows(), provider()->getSpeedRowPositions());
}

void ModelSessionSpeed::clearCopies()
{
    m_copy.clear();
}

int ModelSessionSpeed::recordCount() const
{
    return m_copy.count();
}

QString ModelSessionSpeed::valueHeader() const
{
    return m_usaUnits ? tr("Speed (mph)") : tr("Speed (km/h)");
}

ModelAnalysisTable::Cell ModelSessionSpeed::cellAt(int row) const
{
    const SpeedRecord* record = m_copy.at(row);
    if (!record)
        return Cell();
    return {record->dayTime, record->pNum, record->topSpeed > 0 ? QString::number(record->topSpeed, 'f', 1) : QString(), true};
}

void ModelSessionSpeed::processAnalysisLap(int rowPos, bool isNewRow, bool removeRow)
{
    applyRow(rowPos, isNewRow, removeRow);
}

void ModelSessionSpeed::onAnalysysSpeedUpdateByRowList(QList<int> list)
{
    applyRowList(list);
}

void ModelSessionSpeed::setUsaUnits(bool checked)
{
    if (checked == m_usaUnits)
        return;
    m_usaUnits = checked;
    // The provider converts its stored speeds in place. Reading them may
    // run a rebuild that was waiting, with another number of rows: views
    // are told of those with a reset, of the same rows with a repaint.
    if (provider()->getSpeedRowPositions().size() != m_copy.count()) {
        processAnalysis();
    } else {
        m_copy.take(provider()->getSpeedRows(), provider()->getSpeedRowPositions());
        refreshAll();
    }
    emit headerDataChanged(Qt::Horizontal, ColumnCount - 1, ColumnCount - 1);
}

void ModelSessionSpeed::processUpdate()
{
    refreshAll();
}
