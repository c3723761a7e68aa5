#pragma once

#include <QString>

// How the tables and their exports write a time of day: on this computer's
// clock (the default) or on the track's, the clock the day-time panel shows
// (the computer's local time shifted by the session's utc offset), so that
// an engineer away from the track can read every time as the track does.
namespace TimeOfDay {

enum Zone {
    ComputerTime = 0,
    TrackTime = 1,
};

// Settings key of the choice ("computer" or "track").
extern const QString kZoneKey;

Zone zone();
// Also stored in the settings.
void setZone(Zone zone);
// Reads the stored choice (at start).
void load();

// A day time (ms since the epoch) in the chosen zone, in a QDateTime format;
// empty for zero.
QString text(qint64 dayTimeMs, const QString& format);

} // namespace TimeOfDay
