#pragma once

#include <QString>

// One sector of one lap, filed under the day time at which the sector ended.
struct SectorRecord {
    quint64 dayTime = 0;
    QString pNum;
    quint64 time = 0;
    int rowPosition = -1;
    int lapNumber = 0;
    bool isValid = true;

    quint64 sortKey() const { return dayTime; }
};
