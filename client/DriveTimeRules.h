#pragma once

#include <QMap>
#include <QString>

// The limits one class of an event's entries drives under. Times in
// milliseconds; 0 means no limit.
struct DriveTimeLimits {
    qint64 minTotalMs = 0;      // every listed driver must drive at least this
    qint64 maxTotalMs = 0;      // no driver may drive more
    qint64 maxContinuousMs = 0; // no spell at the wheel may be longer
    qint64 minRestMs = 0;       // between two spells of one driver

    bool operator==(const DriveTimeLimits& other) const;
};

// A class's own values over the event's; a negative field keeps the event's.
struct DriveTimeOverride {
    qint64 minTotalMs = -1;
    qint64 maxTotalMs = -1;
    qint64 maxContinuousMs = -1;
    qint64 minRestMs = -1;

    bool operator==(const DriveTimeOverride& other) const;
};

// How the time of a pit stay counts. Series differ: some count the pit lane
// as driving, and then a driver swap splits the stay one way or another.
enum class PitTimeRule {
    NotDriving, // the pit lane counts for nobody
    Outgoing,   // the driver who came in drives until the car leaves
    Incoming,   // the driver who takes over drives from the pit entry
    Split,      // half each
};

// The drive-time rules of an event: the limits, their per-class overrides,
// how the pit lane counts, the margin within which a value is "near", and
// the race's end when the session gives none. Kept in the settings store
// and exchanged as a small JSON file.
class DriveTimeRules final
{
public:
    DriveTimeLimits limits;
    QMap<QString, DriveTimeOverride> classOverrides; // by class key
    PitTimeRule pitTime = PitTimeRule::NotDriving;
    qint64 nearMarginMs = 10 * 60 * 1000;
    // What a driver swap takes, pit lane and the change: another driver is
    // in the car between two spells of one, and when the pit lane counts
    // for nobody each swap uses this up of the race. Never 0.
    qint64 swapTimeMs = 2 * 60 * 1000;
    // Typed by the user (ms since the epoch, UTC: the dialog shows it in
    // track time); 0 when none.
    qint64 scheduledEndMs = 0;

    // The event's limits with the class's overrides applied.
    DriveTimeLimits limitsFor(const QString& classKey) const;

    // Why these rules would be refused as a file (a time out of range, a
    // minimum above its maximum, no swap time), else empty: the dialog
    // keeps nothing the settings could not read back.
    QString problem() const;

    QByteArray toJson() const;
    // Reads a rules file; on any fault returns false with the reason in
    // error and leaves rules untouched.
    static bool fromJson(const QByteArray& json, DriveTimeRules* rules, QString* error);

    // The rules in the settings store (defaults when none or unreadable).
    static DriveTimeRules load();
    void save() const;

    bool operator==(const DriveTimeRules& other) const;
    bool operator!=(const DriveTimeRules& other) const { return !(*this == other); }

    static QString pitTimeName(PitTimeRule rule);
};
