#pragma once

#include "DriveTimeRules.h"

#include <QString>
#include <QVector>

// One stint of a car as the timing reports it, its end resolved: an open
// stint ends now while the car runs, else with the car's last lap.
struct DriveStint {
    int driver = 0;
    bool isPit = false;
    int pitInfo = 0; // 1 penalty, 2 safety car: the driver stays in the car
    qint64 start = 0;
    qint64 end = 0;
};

// A listed driver of the entry, by the number stints use.
struct DriveDriver {
    int driver = 0;
    QString name;
};

// One spell at the wheel: from getting in to getting out, pit stays of the
// same driver included.
struct DriveSpell {
    int driver = 0;
    qint64 start = 0;
    qint64 end = 0;    // when his counted driving ended (the rest starts)
    qint64 drivenMs = 0;
};

enum class DriveState {
    Ok,
    Near,
    Over,
};

struct DriverDriveTime {
    int driver = 0;
    QString name;
    qint64 totalMs = 0;
    qint64 toMinMs = -1;  // 0 once reached; -1 with no minimum
    qint64 toMaxMs = 0;   // negative past it; meaningless with no maximum
    bool hasMax = false;
    bool inCar = false;
    qint64 continuousMs = 0; // the running spell's driving (in the car)
    qint64 restMs = -1;      // since the last spell ended; -1 never drove or in the car
    DriveState state = DriveState::Ok;
    QString reason; // why near or over, for the text cue

    bool operator==(const DriverDriveTime& other) const
    {
        return driver == other.driver && name == other.name && totalMs == other.totalMs && toMinMs == other.toMinMs && toMaxMs == other.toMaxMs
            && hasMax == other.hasMax && inCar == other.inCar && continuousMs == other.continuousMs && restMs == other.restMs
            && state == other.state && reason == other.reason;
    }
};

struct CarDriveTime {
    QVector<DriverDriveTime> drivers; // in the entry's order
    QVector<DriveSpell> spells;
    int currentDriver = 0; // 0 when nobody is in a running car
    QVector<qint64> swapStaysMs; // the pit-lane time of each driver change done
    QVector<qint64> stopStaysMs; // each plain stay without a driver change done
    QVector<qint64> runsToStopMs; // the track time from the stay before to each of those
    qint64 runMs = 0;             // the track time since the last stay that ended a run
};

struct DriveFeasibility {
    enum Verdict {
        Feasible,
        NotFeasible,
        Undecided, // the search stopped at its bound: no plan found, none ruled out; or
                   // the minimums' plan (slack, plan) is not proved to fill the race
        NoEnd,     // the race's end is not known
        NotRace,   // practice or qualifying: the rules judge the race only
    };
    Verdict verdict = NoEnd;
    qint64 slackMs = 0;      // Feasible: slack of the plan found
    qint64 slackBoundMs = 0; // Feasible: no plan has more (the same once proved best)
    qint64 spareMs = -1;     // the most the maxima leave beyond the race (-1: not checked)
    int nextDriver = 0;      // Feasible: who takes the car next in the plan found (0: none needed)
    QString plan;            // Feasible: the plan found, turn by turn
    int driver = 0;          // NotFeasible: the driver short (0: all together)
    qint64 needMs = 0;
    qint64 canMs = 0;
    QString text;
};

// Drive time of one car's drivers over its stints. Pure functions: tests
// write the stints by hand.
namespace DriveTimeCalculator {

// The spells at the wheel. A pit stay with a driver change splits its time
// by the rule, a penalty or safety-car stay included: a change is taken from
// the car leaving the pit with another driver, so such a stay never starts
// another driver's spell while the car is still in; a stay without a change
// keeps the driver in the car.
// stays: when given, its stays and runs are filled in (swapStaysMs,
// stopStaysMs, runsToStopMs, runMs).
QVector<DriveSpell> spells(const QVector<DriveStint>& stints, PitTimeRule rule, CarDriveTime* stays = nullptr);

// Per listed driver, drivers who never drove included (and any driver the
// stints name beyond the list). running: the car is still out, so its last
// spell's driver is in it. raceOver: a minimum not reached is over.
CarDriveTime compute(const QVector<DriveStint>& stints, const QVector<DriveDriver>& drivers, const DriveTimeLimits& limits, PitTimeRule rule,
                     qint64 nearMarginMs, qint64 now, bool running, bool raceOver);

// Whether every driver can still reach the minimum in remainingMs, and the
// slack. remainingMs < 0: no known end. swapMs: what a driver swap takes;
// swapsCostTime: the pit lane counts for nobody, so each swap uses it up,
// and so does each stop without a driver change (learnt from the car's own).
DriveFeasibility feasibility(const CarDriveTime& car, const DriveTimeLimits& limits, qint64 remainingMs, qint64 swapMs, bool swapsCostTime);

// What a driver swap of this car takes: the median lane time of its own
// driver changes once it has made three, else the typed time.
qint64 swapTimeMs(const CarDriveTime& car, qint64 typedMs);

// "1:12" (hours and minutes), minutes rounded down or up.
QString hoursMinutes(qint64 ms, bool roundUp);

} // namespace DriveTimeCalculator
