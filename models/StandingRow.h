#pragma once

#include <QString>

#include <algorithm>

// What one row of the standings shows, copied from the data provider when
// the row is built so that painting needs no tree lookups.
struct StandingRow {
    QString participant;
    QString driverName;
    QString className;
    QString team;
    int laps = 0;
    double gapFirstTime = -1.0;
    int gapFirstLaps = 0;
    double gapPreviousTime = -1.0;
    int gapPreviousLaps = 0;
    int currentSector = -1;
    int pitStops = 0;
    int lastPitInLap = 0;
    quint64 pitInTime = 0;
    quint64 pitOutTime = 0;
    quint64 lastSector[4] = {0, 0, 0, 0};
    quint64 bestSector[4] = {0, 0, 0, 0};
    bool sectorTrackLimits[4] = {false, false, false, false};
    QString standingStatus;
    QString participantStatus;
    quint64 lastLapTime = 0;
    quint64 bestLapTime = 0;
    int bestLapNumber = 0;
    bool lastLapValid = true;
    bool lastSectorValid[4] = {true, true, true, true};
    int trackLimitsInfractions = 0;

    bool operator==(const StandingRow& other) const
    {
        return participant == other.participant && driverName == other.driverName && className == other.className && team == other.team
            && laps == other.laps && gapFirstTime == other.gapFirstTime && gapFirstLaps == other.gapFirstLaps
            && gapPreviousTime == other.gapPreviousTime && gapPreviousLaps == other.gapPreviousLaps && currentSector == other.currentSector
            && pitStops == other.pitStops && lastPitInLap == other.lastPitInLap && pitInTime == other.pitInTime && pitOutTime == other.pitOutTime
            && std::equal(lastSector, lastSector + 4, other.lastSector) && std::equal(bestSector, bestSector + 4, other.bestSector)
            && std::equal(sectorTrackLimits, sectorTrackLimits + 4, other.sectorTrackLimits) && standingStatus == other.standingStatus
            && participantStatus == other.participantStatus && lastLapTime == other.lastLapTime && bestLapTime == other.bestLapTime
            && bestLapNumber == other.bestLapNumber && lastLapValid == other.lastLapValid
            && std::equal(lastSectorValid, lastSectorValid + 4, other.lastSectorValid) && trackLimitsInfractions == other.trackLimitsInfractions;
    }
};
