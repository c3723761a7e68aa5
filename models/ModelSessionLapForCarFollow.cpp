#include "ModelSessionLapForCarFollow.h"

#include "ColumnTable.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>

namespace {

// Laps through the pit lane, as the follow panel's settings name them.
const QColor kInLapBackground(QStringLiteral("#0000BB"));
const QColor kInLapText(QStringLiteral("#EFF0F1"));
const QColor kOutLapBackground(QStringLiteral("#DFDF00"));
const QColor kOutLapText(QStringLiteral("#000000"));

} // namespace

ModelSessionLapForCarFollow::ModelSessionLapForCarFollow(V2DataProvider* provider, const QString& skin, bool carFollowMode, QObject* parent)
    : ModelSessionLap(provider, skin, carFollowMode, parent)
{
}

ModelSessionLapForCarFollow::~ModelSessionLapForCarFollow() = default;

int ModelSessionLapForCarFollow::extraColumnCount() const
{
    return m_loopPairs.size();
}

QString ModelSessionLapForCarFollow::extraHeader(int column) const
{
    const LapAnalysisRecord::LoopPair& pair = m_loopPairs.at(column);
    return QStringLiteral("%1 %2 %3").arg(pair.first, QString(QChar(0x2015)), pair.second);
}

QString ModelSessionLapForCarFollow::extraText(const LapAnalysisRecord& record, int column) const
{
    const auto it = record.loopSegments.constFind(m_loopPairs.at(column));
    return it == record.loopSegments.cend() ? QString() : ColumnTable::timeText(it.value());
}

QVariant ModelSessionLapForCarFollow::lapNumberColour(const LapAnalysisRecord& record, int role) const
{
    if (record.hasPitIn)
        return QBrush(role == Qt::BackgroundRole ? kInLapBackground : kInLapText);
    if (record.hasPitOut)
        return QBrush(role == Qt::BackgroundRole ? kOutLapBackground : kOutLapText);
    return QVariant();
}

void ModelSessionLapForCarFollow::takeExtras()
{
    m_loopPairs = provider()->getLoopSectorPairs();
}
