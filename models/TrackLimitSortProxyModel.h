#pragma once

#include <QSortFilterProxyModel>

// Sorts the track limits table by what its cells show, numbers as numbers;
// the affected laps never reorder the rows.
class TrackLimitSortProxyModel final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY(TrackLimitSortProxyModel)

public:
    explicit TrackLimitSortProxyModel(QObject* parent = nullptr);
    ~TrackLimitSortProxyModel() override;

    // Rows numbered from 1 down the table as it is sorted, not by the
    // order the records came in.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};
