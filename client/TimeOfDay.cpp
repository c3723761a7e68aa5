#include "TimeOfDay.h"

#include "AppSettings.h"
#include "SessionClock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSettings>

#include <ctime>

namespace TimeOfDay {

const QString kZoneKey = QStringLiteral("timesOfDayIn");

namespace {

const QString kTrack = QStringLiteral("track");
const QString kComputer = QStringLiteral("computer");

Zone g_zone = ComputerTime;

// How often the computer's zone is read again: a clock moved to another zone
// shows within a minute.
constexpr qint64 kZoneReadMs = 60000;

// The computer's offset from UTC at a moment, in ms. The toolkit's local
// time reads the zone again on every conversion (a file looked up each
// time), and the tables convert every time of day they paint: here the
// zone is read once a minute, and each conversion is the C library's own.
qint64 localOffsetMs(qint64 utcMs)
{
    thread_local QElapsedTimer read;
    if (!read.isValid() || read.elapsed() >= kZoneReadMs) {
        tzset();
        read.start();
    }
    const std::time_t seconds = std::time_t(utcMs >= 0 ? utcMs / 1000 : -((-utcMs + 999) / 1000));
    std::tm local {};
    if (!localtime_r(&seconds, &local))
        return 0;
    return qint64(local.tm_gmtoff) * 1000;
}

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
    return QDateTime::fromMSecsSinceEpoch(shown + localOffsetMs(shown), Qt::UTC).toString(format);
}

} // namespace TimeOfDay
