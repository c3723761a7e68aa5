#pragma once

#include "DriveTimeCalculator.h"

#include <QHash>
#include <QString>

#include <functional>

class TeamAlertEngine;

// Turns one car's drive times into team alerts: the driver in the car
// nearing the continuous limit (5 and 1 minutes before), a driver nearing or
// past the maximum total, the schedule ceasing to be feasible, and the next
// driver not yet rested when a stop is due. Each alert has an identity of
// its event, so the engine raises it once however often a car is checked.
class DriveTimeMonitor final
{
    Q_DISABLE_COPY(DriveTimeMonitor)

public:
    // The track's time of day, ms since the epoch, stamped on alerts.
    using Clock = std::function<qint64()>;

    DriveTimeMonitor(TeamAlertEngine* engine, Clock clock);
    ~DriveTimeMonitor();

    void check(const QString& car, const CarDriveTime& times, const DriveFeasibility& feasibility, const DriveTimeLimits& limits,
               qint64 nearMarginMs);
    // A new session: feasibility is judged afresh.
    void clear();

private:
    void raise(const QString& identity, const QString& car, const QString& text, bool critical);

    TeamAlertEngine* m_engine;
    Clock m_clock;
    // Per car: how often its schedule became infeasible, and whether it is now.
    QHash<QString, int> m_infeasibleCount;
    QHash<QString, bool> m_infeasible;
};
