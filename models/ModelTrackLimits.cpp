#include "ModelTrackLimits.h"

#include "ColumnTable.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QDateTime>
#include <QMetaEnum>

#include <iterator>

namespace {

using namespace ColumnTable;
using TrackLimitColumn = ColumnSpec<TrackLimitsRecord>;

constexpr TrackLimitColumn kColumns[] = {
    {ModelTrackLimits::Time, QT_TR_NOOP("Time"), 150, Right,
     [](const TrackLimitsRecord& r) {
         return TimeOfDay::text(static_cast<qint64>(r.time), QStringLiteral("yyyy/MM/dd HH:mm:ss.zzz"));
     }},
    {ModelTrackLimits::Participant, QT_TR_NOOP("Participant"), 70, Right, [](const TrackLimitsRecord& r) { return r.participant; }},
    {ModelTrackLimits::TrackLimitName, QT_TR_NOOP("Track Limit"), 120, Left, [](const TrackLimitsRecord& r) { return r.trackLimitsName; }},
    {ModelTrackLimits::AffectedLaps, QT_TR_NOOP("Affected Laps"), 120, Left,
     [](const TrackLimitsRecord& r) {
         QStringList laps;
         for (int lap : r.affectedLaps)
             laps.append(QString::number(lap));
         return laps.join(QStringLiteral(", "));
     }},
};
static_assert(inIdOrder(kColumns), "columns in id order");

} // namespace

ModelTrackLimits::ModelTrackLimits(V2DataProvider* provider, QObject* parent)
    : QAbstractTableModel(parent)
    , m_records(provider->getTrackLimits())
{
    Q_ASSERT(QMetaEnum::fromType<TrackLimitColumns>().keyCount() == int(std::size(kColumns)));
}

ModelTrackLimits::~ModelTrackLimits() = default;

int ModelTrackLimits::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_records.size();
}

int ModelTrackLimits::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : QMetaEnum::fromType<TrackLimitColumns>().keyCount();
}

QVariant ModelTrackLimits::headerData(int section, Qt::Orientation orientation, int role) const
{
    return ColumnTable::headerData(kColumns, staticMetaObject.className(), section, orientation, role);
}

QVariant ModelTrackLimits::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_records.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return kColumns[index.column()].text(m_records.at(index.row()));
    if (role == Qt::TextAlignmentRole)
        return kColumns[index.column()].alignment;
    return QVariant();
}
