#pragma once

#include <QList>
#include <QString>

// One track limits decision: the car, the laps it concerns and where.
struct TrackLimitsRecord {
    QList<int> affectedLaps;
    QString participant;
    quint64 time = 0;
    QString trackLimitsName;
};
