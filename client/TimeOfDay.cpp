#include "TimeOfDay.h"

#include "AppSettings.h"
#include "SessionClock.h"

#include <QDateTime>
#include <QSettings>

namespace TimeOfDay {

const QString kZoneKey = QStringLiteral("timesOfDayIn");

namespace {

const QString kTrack = QStringLiteral("track");
const QString kComputer = QStringLiteral("computer");

Zone g_zone = ComputerTime;

} // namespace

Zone zone()
{
    return g_zone;
}

void setZone(Zone zone)
{
    g_zone = zone;
    AppSettings::open()->setValue(kZoneKey, zone == TrackTime ? kTrack : kComputer);
}

void load()
{
    g_zone = AppSettings::open()->value(kZoneKey).toString() == kTrack ? TrackTime : ComputerTime;
}

QString text(qint64 dayTimeMs, const QString& format)
{
    if (dayTimeMs == 0)
        return QString();
    // The day-time panel's reckoning: the local clock moved by the utc offset.
    const qint64 shown = g_zone == TrackTime ? dayTimeMs + SessionClock::utcOffset() : dayTimeMs;
    return QDateTime::fromMSecsSinceEpoch(shown).toString(format);
}

} // namespace TimeOfDay
