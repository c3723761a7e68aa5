#pragma once

#include "DriveTimeCalculator.h"
#include "DriveTimeRules.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class TeamAlertEngine;
class V2DataProvider;

// Turns the followed cars' drive times into team alerts: the driver in the
// car nearing the continuous limit (5 and 1 minutes before), a driver nearing
// or past the maximum total, the schedule ceasing to be feasible, and the
// next driver not yet rested when a stop is due. Each alert has an identity
// of its event, so the engine raises it once however often a car is checked.
// Given a provider, it watches on its own whether or not any panel is open:
// stints, pits, the session's status and the followed cars ask for one
// re-check soon, and a running spell is re-checked every second while
// a followed car is on track.
class DriveTimeMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DriveTimeMonitor)

public:
    // The track's time of day, ms since the epoch, stamped on alerts.
    using Clock = std::function<qint64()>;

    // provider null: checked only through check() (tests hand it the times).
    DriveTimeMonitor(V2DataProvider* provider, TeamAlertEngine* engine, Clock clock, QObject* parent = nullptr);
    ~DriveTimeMonitor() override;

    // The rules in force: read from the settings when first needed, then
    // the ones the rules dialog hands over.
    void setRules(const DriveTimeRules& rules);
    const DriveTimeRules& rules() const;

    // Checks every followed car now.
    void checkFollowed();
    void check(const QString& car, const CarDriveTime& times, const DriveFeasibility& feasibility, const DriveTimeLimits& limits,
               qint64 nearMarginMs);
    // A new session: its alerts are told apart by the session set next.
    void clear();
    // The session the alerts belong to (its start); empty: none known.
    void setSession(const QString& session);
    // Whether running spells are being followed each second.
    bool isChecking() const { return m_running.isActive(); }

private:
    void raise(const QString& identity, const QString& car, const QString& text, bool critical);
    // A stop is likely (left: to the continuous limit): the plan's next
    // driver is rested, and someone who may take over (short of his
    // maximum) is.
    void checkNextRested(const QString& prefix, const QString& car, const CarDriveTime& times, const DriveFeasibility& feasibility,
                         const DriveTimeLimits& limits, qint64 spell, qint64 left);

    V2DataProvider* m_provider;
    TeamAlertEngine* m_engine;
    Clock m_clock;
    // Read lazily: a provider that follows no car never opens the settings.
    mutable DriveTimeRules m_rules;
    mutable bool m_rulesRead = false;
    // Coalesces the notifications of one moment into one check.
    QTimer m_soon;
    // Follows running spells while a followed car is on track.
    QTimer m_running;
    QString m_session;
};
