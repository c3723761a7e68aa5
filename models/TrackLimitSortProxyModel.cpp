#include "TrackLimitSortProxyModel.h"

#include "ModelTrackLimits.h"

TrackLimitSortProxyModel::TrackLimitSortProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
    setSortRole(Qt::DisplayRole);
}

TrackLimitSortProxyModel::~TrackLimitSortProxyModel() = default;

bool TrackLimitSortProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (sortColumn() == ModelTrackLimits::AffectedLaps)
        return false;
    const QString a = left.data(sortRole()).toString();
    const QString b = right.data(sortRole()).toString();
    // Car numbers: "9" before "10".
    bool aNumber = false;
    bool bNumber = false;
    const double x = a.toDouble(&aNumber);
    const double y = b.toDouble(&bNumber);
    if (aNumber && bNumber)
        return x < y;
    return a < b;
}
