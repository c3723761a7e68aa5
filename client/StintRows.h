#pragma once

#include "DriveTimeCalculator.h"
#include "DriveTimeRules.h"

#include <QString>
#include <QVector>

class V2DataProvider;

// One stint of a car as the stint table shows it, with the running totals
// a team watches for driving-time rules and fuel planning.
struct StintRow {
    // Pit stays that do not end a fuel stint.
    enum PitInfo {
        NoPitInfo = 0,
        Penalty = 1,
        SafetyCar = 2,
    };

    QString participant;
    QString driverName;
    int driver = 0;
    QString type;
    quint64 start = 0;
    quint64 finish = 0; // 0 while the stint runs
    // Where its time stops counting: the finish, else now while the car
    // runs, else the end of its last lap.
    quint64 end = 0;
    quint64 accumulated = 0;
    quint64 accumulatedOnTrack = 0;
    quint64 sessionAccumulated = 0;
    quint64 sessionAccumulatedOnTrack = 0;
    int openLap = 0;
    int closeLap = 0;
    bool isPit = false;
    bool running = false;
    quint64 singleStintTime = 0;
    int pitInfo = NoPitInfo;

    bool operator==(const StintRow& other) const
    {
        return participant == other.participant && driverName == other.driverName && driver == other.driver && type == other.type
            && start == other.start && finish == other.finish && end == other.end && accumulated == other.accumulated
            && accumulatedOnTrack == other.accumulatedOnTrack && sessionAccumulated == other.sessionAccumulated
            && sessionAccumulatedOnTrack == other.sessionAccumulatedOnTrack && openLap == other.openLap && closeLap == other.closeLap
            && isPit == other.isPit && running == other.running && singleStintTime == other.singleStintTime && pitInfo == other.pitInfo;
    }
};

// A car's drive times against the rules, read now.
struct CarDriveCheck {
    DriveTimeLimits limits;
    CarDriveTime times;
    DriveFeasibility feasibility;
};

// A car's stints read from the provider's getters, shared by the stint
// table, the drive-time panel and the drive-time alerts so that all three
// count alike (the final stint of a finished car included).
namespace StintRows {

QVector<StintRow> read(const V2DataProvider& provider, const QString& pNum);

// The race time left: from the session when it ends by time (a race by
// laps, even with a maximum time, does not), else from the end typed in
// the rules; -1 when unknown.
qint64 remainingMs(const DriveTimeRules& rules);

// Each listed driver's times of a car, and whether every minimum can still
// be reached in remainingMs.
CarDriveCheck driveTime(const V2DataProvider& provider, const QString& pNum, const DriveTimeRules& rules, qint64 remainingMs);

} // namespace StintRows
