#pragma once

#include <QString>

// The top speed of one lap, filed under the day time at which the lap ended.
struct SpeedRecord {
    quint64 dayTime = 0;
    QString pNum;
    double topSpeed = 0.0;
    int rowPosition = -1;
    int lapNumber = 0;

    quint64 sortKey() const { return dayTime; }
};
