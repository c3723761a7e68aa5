#include "TrackLimitSortProxyModel.h"

#include "CarNumberOrder.h"
#include "ModelTrackLimits.h"

TrackLimitSortProxyModel::TrackLimitSortProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
    setSortRole(Qt::DisplayRole);
}

TrackLimitSortProxyModel::~TrackLimitSortProxyModel() = default;

QVariant TrackLimitSortProxyModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return QString::number(section + 1);
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

bool TrackLimitSortProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (sortColumn() == ModelTrackLimits::AffectedLaps)
        return false;
    const QString a = left.data(sortRole()).toString();
    const QString b = right.data(sortRole()).toString();
    // Car numbers "9" before "10"; the times and names read the same way.
    if (sortColumn() == ModelTrackLimits::Participant)
        return CarNumberOrder::less(a, b);
    return a < b;
}
