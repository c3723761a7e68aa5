#pragma once

#include "TimingConstants.h"

#include <QMap>
#include <QPair>
#include <QString>

// One lap of one participant as the lap analysis tables show it, filed
// under the day time at which the lap ended.
struct LapAnalysisRecord {
    using LoopPair = QPair<QString, QString>;

    quint64 startTime = 0;
    quint64 lapEndTime = 0;
    QString pNum;
    int driver = 0;
    QString driverName;
    quint64 sectorTime[4] = {0, 0, 0, 0};
    quint64 bestSectorTime[4] = {0, 0, 0, 0};
    bool sectorTrackLimits[4] = {false, false, false, false};
    quint64 sectionTime[4] = {0, 0, 0, 0};
    quint64 sectionDayTime[4] = {0, 0, 0, 0};
    quint64 lapTime = 0;
    quint64 bestLapTime = 0;
    double topSpeed = 0.0;
    double bestTopSpeed = 0.0;
    int position = 0;
    int lapNumber = 0;
    int rowPosition = -1;
    bool isValid = true;
    bool sectorValid[4] = {true, true, true, true};
    bool hasPitIn = false;
    quint64 pitInTime = 0;
    bool hasPitOut = false;
    QMap<LoopPair, quint64> loopSegments;

    quint64 sortKey() const { return lapEndTime; }
};
