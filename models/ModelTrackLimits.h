#pragma once

#include "TrackLimitsRecord.h"

#include <QAbstractTableModel>
#include <QList>

class V2DataProvider;

// The track limits infractions of the session as the provider held them
// when the model was made; its panel makes a new one on each change.
class ModelTrackLimits final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelTrackLimits)

public:
    // Its key count is the column count.
    enum TrackLimitColumns {
        Time,
        Participant,
        TrackLimitName,
        AffectedLaps,
    };
    Q_ENUM(TrackLimitColumns)

    explicit ModelTrackLimits(V2DataProvider* provider, QObject* parent = nullptr);
    ~ModelTrackLimits() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<TrackLimitsRecord> m_records;
};
