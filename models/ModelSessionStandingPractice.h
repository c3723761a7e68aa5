#pragma once

#include "ModelSessionStanding.h"

// The practice and qualifying standings: best lap number and time, laps,
// gaps, sectors and pit times. The pit time column follows the clock, one
// row a second.
class ModelSessionStandingPractice final : public ModelSessionStanding
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionStandingPractice)

public:
    enum SessionStandingPracticeBySectorColumnType {
        Position,
        Number,
        Name,
        Class,
        Team,
        Lap,
        Time,
        Laps,
        Gap,
        Interval,
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

    ModelSessionStandingPractice(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSessionStandingPractice() override;
};
