#pragma once

#include "ModelSessionStanding.h"

// The race standings: laps, current sector, gaps, pit stops, sectors, last
// lap and pit times. The pit columns follow the clock every 300 ms.
class ModelSessionStandingBySector final : public ModelSessionStanding
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionStandingBySector)

public:
    enum SessionStandingBySectorColumnType {
        Position,
        Number,
        Name,
        Class,
        Team,
        Laps,
        S,
        Gap,
        Interval,
        Pit,
        S1,
        S2,
        S3,
        S4,
        LastLap,
        PitInTime,
        PitOutTime,
        LastPitInLap,
        PitTime,
        FastestLap,
        TrackLimitsInfractions,
        ColumnCount,
    };

    ModelSessionStandingBySector(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSessionStandingBySector() override;

public slots:
    // Refresh when the standings changed for this model's class (empty: overall).
    void processSessionStandingUpdated();
    void processSessionStandingUpdated(QString classType);
};
