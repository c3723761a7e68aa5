#include "ModelSessionLapForCarFollow.h"

#include "CarFlash.h"
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
const QColor kFlashText(22, 22, 22);

} // namespace

ModelSessionLapForCarFollow::ModelSessionLapForCarFollow(V2DataProvider* provider, const QString& skin, bool carFollowMode, QObject* parent)
    : ModelSessionLap(provider, skin, carFollowMode, parent)
{
    connect(provider->carFlash(), &CarFlash::changed, this, &ModelSessionLapForCarFollow::repaintFlash);
}

ModelSessionLapForCarFollow::~ModelSessionLapForCarFollow() = default;

QVariant ModelSessionLapForCarFollow::data(const QModelIndex& index, int role) const
{
    if (role != Qt::BackgroundRole && role != Qt::ForegroundRole && role != ColumnTable::FlashRole)
        return ModelSessionLap::data(index, role);
    const LapAnalysisRecord* record = index.isValid() ? recordAt(index.row()) : nullptr;
    const CarFlash& flash = *provider()->carFlash();
    if (role == ColumnTable::FlashRole)
        return record && flash.isFlashing(record->pNum);
    if (record && flash.isLit(record->pNum))
        return QBrush(role == Qt::BackgroundRole ? ColumnTable::flashColour() : kFlashText);
    return ModelSessionLap::data(index, role);
}

void ModelSessionLapForCarFollow::repaintFlash(const QString& car)
{
    // The model holds the session's laps and the block's filter shows one
    // car's: only that car's rows are announced, one range per run of them,
    // so a blink costs the proxy a look at those rows, not at every lap.
    if (car != followedParticipant())
        return;
    const QVector<int> roles{Qt::BackgroundRole, Qt::ForegroundRole, ColumnTable::FlashRole};
    const int count = rowCount();
    const int lastColumn = columnCount() - 1;
    int first = -1;
    for (int row = 0; row <= count; ++row) {
        const LapAnalysisRecord* record = row < count ? recordAt(row) : nullptr;
        const bool ours = record && record->pNum == car;
        if (ours && first < 0)
            first = row;
        else if (!ours && first >= 0) {
            emit dataChanged(index(first, 0), index(row - 1, lastColumn), roles);
            first = -1;
        }
    }
}

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
