#include "TimeOfDay.h"

#include "AppSettings.h"
#include "SessionClock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QSettings>

namespace TimeOfDay {

const QString kZoneKey = QStringLiteral("timesOfDayIn");

namespace {

const QString kTrack = QStringLiteral("track");
const QString kComputer = QStringLiteral("computer");

Zone g_zone = ComputerTime;

// How long the computer's offsets are kept: a clock moved to another zone
// shows within a minute.
constexpr qint64 kZoneReadMs = 60000;
// Every zone's offset, and every change of it, falls on a quarter hour of
// UTC: within one such slot the offset is one.
constexpr qint64 kSlotMs = 15 * 60 * 1000;
constexpr int kMaxSlots = 4096;

// The computer's offset from UTC at a moment, in ms. The toolkit's local
// time reads the zone again on every conversion (a file looked up each
// time), and the tables convert every time of day they paint: here one
// conversion serves a quarter hour, for a minute, or until the zone named
// in the environment changes.
qint64 localOffsetMs(qint64 utcMs)
{
    struct Offsets {
        QByteArray zone;
        QElapsedTimer age;
        QHash<qint64, qint64> bySlot;
    };
    thread_local Offsets kept;
    const QByteArray zone = qgetenv("TZ");
    if (!kept.age.isValid() || kept.age.elapsed() >= kZoneReadMs || zone != kept.zone || kept.bySlot.size() >= kMaxSlots) {
        kept.bySlot.clear();
        kept.zone = zone;
        kept.age.start();
    }
    const qint64 slot = utcMs >= 0 ? utcMs / kSlotMs : -((-utcMs + kSlotMs - 1) / kSlotMs);
    const auto found = kept.bySlot.constFind(slot);
    if (found != kept.bySlot.cend())
        return *found;
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(slot * kSlotMs).offsetFromUtc()) * 1000;
    kept.bySlot.insert(slot, offset);
    return offset;
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
